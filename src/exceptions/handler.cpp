#include "exceptions/handler.h"

namespace r3k::exceptions {

using namespace isa;  // register names
using assembly::Assembler;
using assembly::Label;

void mtc0(Assembler& as, Reg rt, uint8_t reg) {
  as.emit(Op::mtc0, {.rt = rt, .rd = reg});
  as.nop();
}

void mfc0(Assembler& as, Reg rt, uint8_t reg) {
  as.emit(Op::mfc0, {.rt = rt, .rd = reg});
  as.nop();
}

namespace {

// A label's address plus a byte offset that may not be a word's: the label
// first, then the offset, so an assembly source can name the label.
void load_address(Assembler& as, Reg reg, Label label, int32_t addend) {
  as.la(reg, label);
  if (addend) as.addiu(reg, reg, static_cast<int16_t>(addend));
}

void record(Assembler& as, uint8_t reg, int16_t at) {
  mfc0(as, k1, reg);
  as.sw(k1, at, k0);
}

}  // namespace

// Only $k0 and $k1 change. The return is the usual jr with rfe in its slot,
// unless the case asked for one without rfe (an interrupt still pending, a
// return to user mode that would fault again, a nested exception).
void emit_handler(Assembler& as) {
  Label plain = as.make_label();
  as.lui(k0, kRecordHigh);
  as.sw(k1, slot::kVector, k0);
  record(as, kCause, slot::kCause);
  record(as, kEpc, slot::kEpc);
  record(as, kBadVAddr, slot::kBadVAddr);
  record(as, kStatus, slot::kStatus);
  as.lw(k1, slot::kCount, k0);
  as.nop();
  as.addiu(k1, k1, 1);
  as.sw(k1, slot::kCount, k0);
  as.lw(k1, slot::kResume, k0);
  as.nop();
  as.sw(k1, slot::kTarget, k0);
  as.lw(k1, slot::kFallback, k0);
  as.nop();
  as.sw(k1, slot::kResume, k0);
  as.lw(k1, slot::kNoRfe, k0);
  as.nop();
  as.bnez(k1, plain);
  as.sw(zero, slot::kNoRfe, k0);
  as.lw(k0, slot::kTarget, k0);
  as.nop();
  as.jr(k0);
  as.emit(Op::rfe, {});
  as.bind(plain);
  as.lw(k0, slot::kTarget, k0);
  as.nop();
  as.jr(k0);
  as.nop();
}

TrapRoutine::TrapRoutine(RoutineContext& context) : routine(context), as(context.as), fail_(as.make_label()) {
  Label body = as.make_label();
  as.addu(s5, ra, zero);
  as.lui(t1, kRecordHigh);
  as.la(t0, fail_);
  as.sw(t0, slot::kFallback, t1);
  as.sw(t0, slot::kResume, t1);
  as.b(body);
  as.nop();
  as.bind(fail_);
  restore_ra();
  as.lui(t0, kBootStatus >> 16);
  mtc0(as, t0, kStatus);
  mtc0(as, zero, kCause);
  as.b(routine.inst_error);
  as.nop();
  as.bind(body);
}

void TrapRoutine::arm(Label resume, bool without_rfe) {
  as.lui(t1, kRecordHigh);
  as.la(t0, resume);
  as.sw(zero, slot::kCount, t1);
  as.sw(t0, slot::kResume, t1);
  if (without_rfe) {
    as.addiu(t2, zero, 1);
    as.sw(t2, slot::kNoRfe, t1);
  }
}

void TrapRoutine::fail_unless(Reg reg, Reg expected) {
  as.bne(reg, expected, fail_);
  as.nop();
}

void TrapRoutine::expect_slot(int16_t at, uint32_t value, uint32_t mask) {
  as.lui(t1, kRecordHigh);
  as.lw(t2, at, t1);
  as.li(t3, value & mask);
  if (mask != 0xFFFFFFFF) {
    as.li(t4, mask);
    as.alu(Op::and_, t2, t2, t4);
  }
  fail_unless(t2, t3);
}

void TrapRoutine::expect_count(uint32_t count) { expect_slot(slot::kCount, count); }

void TrapRoutine::expect_slot_at(int16_t at, Label label, int32_t addend) {
  as.lui(t1, kRecordHigh);
  as.lw(t2, at, t1);
  load_address(as, t3, label, addend);
  fail_unless(t2, t3);
}

void TrapRoutine::expect_exception(uint8_t exc_code, Label epc, bool in_delay_slot) {
  expect_count(1);
  expect_slot(slot::kCause, (in_delay_slot ? 0x80000000u : 0u) | uint32_t{exc_code} << 2, kCauseCodeMask);
  expect_slot_at(slot::kEpc, epc);
}

void TrapRoutine::expect_reg(Reg reg, uint32_t value) {
  as.li(t3, value);
  fail_unless(reg, t3);
}

void TrapRoutine::expect_reg_at(Reg reg, Label label, int32_t addend) {
  load_address(as, t3, label, addend);
  fail_unless(reg, t3);
}

void TrapRoutine::expect_word(uint32_t address, uint32_t value) {
  as.li(t1, address);
  as.lw(t2, 0, t1);
  as.li(t3, value);
  fail_unless(t2, t3);
}

void TrapRoutine::store_word(uint32_t address, uint32_t value) {
  as.li(t1, address);
  as.li(t2, value);
  as.sw(t2, 0, t1);
}

void TrapRoutine::set_status(uint32_t value) {
  as.li(t0, value);
  mtc0(as, t0, kStatus);
}

void TrapRoutine::set_cause(uint32_t value) {
  as.li(t0, value);
  mtc0(as, t0, kCause);
}

}  // namespace r3k::exceptions
