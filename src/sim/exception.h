// What the simulated processor does when an instruction cannot complete, or
// an interrupt comes between two.
#pragma once

#include <cstdint>

namespace r3k::sim {

// Each value corresponds to one R3000 exception code (exc_code); fetch and
// data errors are kept apart (the processor folds a misaligned fetch into the
// load code) because a reader wants to know which of the two went wrong.
enum class Cause : uint8_t {
  AddressErrorFetch,    // pc not word aligned, or a kernel address in user mode
  AddressErrorLoad,     // misaligned lw, lh, lhu
  AddressErrorStore,    // misaligned sw, sh
  BusErrorFetch,        // pc outside the boot ROM and RAM
  BusErrorLoad,         // unmapped address, or a board register that cannot be read that way
  BusErrorStore,        // unmapped address, the boot ROM, or a board register that cannot be written that way
  Syscall,
  Breakpoint,
  ReservedInstruction,  // an encoding that is no MIPS-I instruction this processor has
  ArithmeticOverflow,   // add, addi, sub with a signed overflow
  Interrupt,            // a software interrupt (IP1..IP0) enabled by IM and IEc
  CoprocessorUnusable,  // an instruction of a coprocessor whose CU bit is clear (CE: which)
};

// The R3000's ExcCode field values.
namespace exc {
inline constexpr uint8_t kInt = 0, kAdEL = 4, kAdES = 5, kIBE = 6, kDBE = 7, kSys = 8, kBp = 9, kRI = 10,
                         kCpU = 11, kOv = 12;
}  // namespace exc

constexpr uint8_t exc_code(Cause cause) {
  switch (cause) {
    case Cause::AddressErrorFetch:
    case Cause::AddressErrorLoad: return exc::kAdEL;
    case Cause::AddressErrorStore: return exc::kAdES;
    case Cause::BusErrorFetch: return exc::kIBE;
    case Cause::BusErrorLoad:
    case Cause::BusErrorStore: return exc::kDBE;
    case Cause::Syscall: return exc::kSys;
    case Cause::Breakpoint: return exc::kBp;
    case Cause::ReservedInstruction: return exc::kRI;
    case Cause::ArithmeticOverflow: return exc::kOv;
    case Cause::Interrupt: return exc::kInt;
    case Cause::CoprocessorUnusable: return exc::kCpU;
  }
  return exc::kRI;
}

// Whether the cause comes from a load or store whose address is worth
// showing; a fetch's bad address is its pc.
inline bool has_bad_address(Cause cause) {
  return cause == Cause::AddressErrorLoad || cause == Cause::AddressErrorStore || cause == Cause::BusErrorLoad ||
         cause == Cause::BusErrorStore;
}
// The causes that load BadVAddr.
inline bool is_address_error(Cause cause) {
  return cause == Cause::AddressErrorFetch || cause == Cause::AddressErrorLoad || cause == Cause::AddressErrorStore;
}

// The exception as the processor would leave it for a handler.
struct ExceptionRecord {
  Cause cause = Cause::ReservedInstruction;
  uint32_t pc = 0;           // the faulting instruction itself, even in a delay slot; for an
                             // interrupt, the instruction it comes before
  uint32_t bad_address = 0;  // the address of a failed fetch, load or store; 0 otherwise
  uint32_t epc = 0;          // where a handler returns to: pc, or the branch when pc is its delay slot
  bool in_delay_slot = false;
  uint8_t coprocessor = 0;   // CoprocessorUnusable: the unit
  // Taken once the instruction before `pc` completed (an interrupt, or the
  // fetch after a switch to user mode) rather than raised by `pc` or its fetch.
  bool after_instruction = false;
  bool handled = false;      // entered a handler at the vector (not the end of the run)
};

}  // namespace r3k::sim
