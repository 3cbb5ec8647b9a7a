// What the simulated processor does when an instruction cannot complete.
#pragma once

#include <cstdint>

namespace r3k::sim {

// Each value corresponds to one MIPS-I exception code; fetch and data errors
// are kept apart (the processor folds a misaligned fetch into the load code)
// because a reader wants to know which of the two went wrong.
enum class Cause : uint8_t {
  AddressErrorFetch,    // pc not word aligned
  AddressErrorLoad,     // misaligned lw, lh, lhu
  AddressErrorStore,    // misaligned sw, sh
  BusErrorFetch,        // pc outside the boot ROM and RAM
  BusErrorLoad,         // unmapped address, or a board register that cannot be read that way
  BusErrorStore,        // unmapped address, the boot ROM, or a board register that cannot be written that way
  Syscall,
  Breakpoint,
  ReservedInstruction,  // an encoding that is no MIPS-I integer instruction
  ArithmeticOverflow,   // add, addi, sub with a signed overflow
};

// Whether the cause comes from a load or store whose address is worth
// showing; a fetch's bad address is its pc.
inline bool has_bad_address(Cause cause) {
  return cause == Cause::AddressErrorLoad || cause == Cause::AddressErrorStore || cause == Cause::BusErrorLoad ||
         cause == Cause::BusErrorStore;
}

// The exception as the processor would leave it for a handler.
struct ExceptionRecord {
  Cause cause = Cause::ReservedInstruction;
  uint32_t pc = 0;           // the faulting instruction itself, even in a delay slot
  uint32_t bad_address = 0;  // the address of a failed fetch, load or store; 0 otherwise
};

}  // namespace r3k::sim
