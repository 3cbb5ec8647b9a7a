// Coprocessor 0 of the R3000 as this board has it: Status, Cause, EPC,
// BadVAddr and PRId, with no TLB and no interrupt lines (software interrupts
// only).
//
// Status: CU3..CU0 (31..28), BEV (22), IM7..IM0 (15..8) and the KU/IE stack
//   KUo IEo KUp IEp KUc IEc (5..0) are read and written. RE, TS, PE, CM, PZ,
//   SwC and IsC (the reverse-endian, TLB, parity and cache-isolation bits)
//   read 0 and writes to them are dropped: the board has no cache to isolate
//   and no TLB to shut down. Reset: BEV = 1, everything else 0 (kernel mode,
//   interrupts disabled, no coprocessor usable but 0 in kernel mode).
// Cause: BD (31), CE (29..28), IP7..IP0 (15..8), ExcCode (6..2). Only IP1..IP0
//   are written by mtc0; IP7..IP2 read 0 (no interrupt lines). CE is written
//   by a coprocessor-unusable exception and left alone by the others.
// EPC, BadVAddr: written by exception entry only; mtc0 to them is dropped.
// PRId: kPrid, the R3000A's implementation 2, revision 3.0.
// Registers 0..7, 9..11 and 16..31 read 0 and drop writes.
//
// User mode (KUc = 1) may touch only addresses below 0x80000000, and this
// board has nothing there: every word it can fetch lies in kseg0 or kseg1. So
// the first fetch after a switch to user mode fails (AdEL at a kernel address,
// a bus error below it) and no instruction ever runs in user mode; the
// reference takes that fetch exception as part of the mtc0 or rfe that
// switched, and the run loop never checks the mode.
#pragma once

#include <cstdint>

#include "isa/isa.h"
#include "sim/exception.h"

namespace r3k::sim {

namespace status {
inline constexpr uint32_t kIEc = 1u << 0, kKUc = 1u << 1;
inline constexpr uint32_t kStack = 0x3F;  // KUo IEo KUp IEp KUc IEc
inline constexpr uint32_t kIM = 0xFFu << 8;
inline constexpr uint32_t kBEV = 1u << 22;
inline constexpr unsigned kCUShift = 28;
inline constexpr uint32_t kWritable = 0xFu << kCUShift | kBEV | kIM | kStack;
inline constexpr uint32_t kReset = kBEV;
}  // namespace status

namespace cause {
inline constexpr uint32_t kBD = 1u << 31;
inline constexpr unsigned kCEShift = 28;
inline constexpr uint32_t kCE = 3u << kCEShift;
inline constexpr uint32_t kIP = 0xFFu << 8;
inline constexpr uint32_t kSoftwareIP = 3u << 8;  // IP1..IP0, the only ones mtc0 sets
inline constexpr unsigned kExcCodeShift = 2;
inline constexpr uint32_t kExcCode = 0x1Fu << kExcCodeShift;
}  // namespace cause

inline constexpr uint32_t kPrid = 0x00000230;
inline constexpr uint32_t kBootVector = 0xBFC00180;  // BEV = 1
inline constexpr uint32_t kRamVector = 0x80000080;   // BEV = 0
inline constexpr uint32_t kKernelBase = 0x80000000;  // user mode reaches only below

struct Cop0 {
  uint32_t status = status::kReset;
  uint32_t cause = 0;
  uint32_t epc = 0;
  uint32_t bad_vaddr = 0;
  // The register the last mtc0 or rfe changed and its value then, for the trace.
  uint8_t written_reg = 0;
  uint32_t written_value = 0;

  uint32_t read(unsigned reg) const {
    switch (reg) {
      case isa::kBadVAddr: return bad_vaddr;
      case isa::kStatus: return status;
      case isa::kCause: return cause;
      case isa::kEpc: return epc;
      case isa::kPrid: return kPrid;
      default: return 0;
    }
  }
  // True when the register keeps (part of) what was written.
  bool write(unsigned reg, uint32_t value) {
    if (reg == isa::kStatus) status = value & status::kWritable;
    else if (reg == isa::kCause) cause = (cause & ~cause::kSoftwareIP) | (value & cause::kSoftwareIP);
    else return false;
    written_reg = static_cast<uint8_t>(reg), written_value = read(reg);
    return true;
  }
  // rfe: the KU/IE stack pops; KUo and IEo stay.
  void return_from_exception() {
    status = (status & ~0xFu) | ((status >> 2) & 0xFu);
    written_reg = isa::kStatus, written_value = status;
  }

  bool user_mode() const { return status & status::kKUc; }
  // Coprocessor 0 is usable in kernel mode whatever CU0 says.
  bool usable(unsigned unit) const { return (status >> (status::kCUShift + unit) & 1) || (unit == 0 && !user_mode()); }
  bool interrupt_pending() const { return (status & status::kIEc) && (cause & status & cause::kIP); }
  uint32_t vector() const { return status & status::kBEV ? kBootVector : kRamVector; }

  // Exception entry: the stack pushes (KUc = IEc = 0: kernel mode, interrupts
  // off), Cause gets the code, BD and (CpU) CE, EPC the restart address,
  // BadVAddr the address of an address error.
  void enter(const ExceptionRecord& e) {
    status = (status & ~status::kStack) | ((status << 2) & 0x3C);
    uint32_t c = (cause & (cause::kIP | cause::kCE)) | exc_code(e.cause) << cause::kExcCodeShift;
    if (e.cause == Cause::CoprocessorUnusable) c = (c & ~cause::kCE) | uint32_t{e.coprocessor} << cause::kCEShift;
    if (e.in_delay_slot) c |= cause::kBD;
    cause = c;
    epc = e.epc;
    if (is_address_error(e.cause)) bad_vaddr = e.bad_address;
  }
};

}  // namespace r3k::sim
