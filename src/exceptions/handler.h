// The exceptions image's handler and what a routine writes around a case
// that may trap. The handler keeps what coprocessor 0 says about each
// exception in a record in RAM and returns where the case told it to, so a
// case checks the record in ordinary code after the fact, and an exception
// nobody expected lands in the failure exit of the routine it happened in.
#pragma once

#include <cstdint>

#include "asm/assembler.h"
#include "routine/routine.h"
#include "isa/isa.h"

namespace r3k::exceptions {

// The record: words of RAM below the BEV = 0 vector (0x80000080), reached as
// offsets from 0x80000000.
namespace slot {
inline constexpr int16_t kCount = 0x40;     // exceptions since the case armed the handler
inline constexpr int16_t kCause = 0x44;     // as the handler read them, last exception
inline constexpr int16_t kEpc = 0x48;
inline constexpr int16_t kBadVAddr = 0x4C;
inline constexpr int16_t kStatus = 0x50;
inline constexpr int16_t kResume = 0x54;    // where the next exception returns to
inline constexpr int16_t kFallback = 0x58;  // what kResume becomes once used: the routine's failure exit
inline constexpr int16_t kNoRfe = 0x5C;     // nonzero: return once without rfe (the stack stays pushed)
inline constexpr int16_t kTarget = 0x60;    // the handler's own scratch
inline constexpr int16_t kVector = 0x64;    // low half of the vector that was entered
}  // namespace slot
inline constexpr uint16_t kRecordHigh = 0x8000;

// Status as the routines leave it: BEV = 1, everything else 0.
inline constexpr uint32_t kBootStatus = 0x00400000;
// Cause's BD and ExcCode: what a case compares (CE only where it names a unit).
inline constexpr uint32_t kCauseCodeMask = 0x8000007C;
inline constexpr uint32_t kCauseCodeAndUnitMask = 0xB000007C;

// The handler both vectors jump to, with $k1 the vector's low half.
void emit_handler(assembly::Assembler& as);

// A routine of the exceptions image: the constructor writes its prologue
// (ra kept in $s5, the handler's fallback set to a failure path that also
// puts Status and Cause back), and each check branches to that path.
class TrapRoutine {
 public:
  explicit TrapRoutine(RoutineContext& routine);

  RoutineContext& routine;
  assembly::Assembler& as;

  // The next exception returns to `resume`; the count restarts at 0.
  void arm(assembly::Label resume, bool without_rfe = false);
  void expect_count(uint32_t count);
  void expect_slot(int16_t slot, uint32_t value, uint32_t mask = 0xFFFFFFFF);
  void expect_slot_at(int16_t slot, assembly::Label label, int32_t addend = 0);
  // One exception with this ExcCode at `epc` (BD as given), BadVAddr aside.
  void expect_exception(uint8_t exc_code, assembly::Label epc, bool in_delay_slot = false);
  void expect_reg(isa::Reg reg, uint32_t value);
  void expect_reg_at(isa::Reg reg, assembly::Label label, int32_t addend = 0);
  void expect_word(uint32_t address, uint32_t value);  // a word of RAM
  void store_word(uint32_t address, uint32_t value);
  void set_status(uint32_t value);
  void set_cause(uint32_t value);
  void restore_ra() { as.addu(isa::ra, isa::s5, isa::zero); }
  void fail_unless(isa::Reg reg, isa::Reg expected);

 private:
  assembly::Label fail_;
};

void mtc0(assembly::Assembler& as, isa::Reg rt, uint8_t reg);  // and the nop after it
void mfc0(assembly::Assembler& as, isa::Reg rt, uint8_t reg);  // and the nop after it

}  // namespace r3k::exceptions
