// Writes the readers' cases: the case's words stored and its operands
// loaded well before, `addu $t0, $t3, $t4`, distance - 1 nops, the reader
// with $t0 in the operand under test ($t2 in its other one, the result in
// $t1 unless the instruction writes the register it reads), then the check.
// Only the reader reads a register within three instructions of its write.
#include "families/link_register.h"
#include "supplement/readers.h"
#include "supplement/robust_code.h"
#include "supplement/supplement.h"

namespace r3k::supplement {

using namespace isa;  // register names
using assembly::Label;

namespace {

constexpr Reg kRead = t0, kOther = t2, kResult = t1;

// The reader's fields; the register it writes is the one its destination field names.
Fields reader_fields(const ReaderCase& c) {
  const OpInfo& row = info(c.op);
  const bool in_rs = c.operand == Operand::rs;
  Fields f{.imm = c.imm};
  if (row.reads.rs) f.rs = in_rs ? kRead : kOther;
  if (row.reads.rt) f.rt = in_rs ? kOther : kRead;
  if (row.destination == Destination::rd) f.rd = kResult;
  if (row.destination == Destination::rt && !row.reads.rt) f.rt = kResult;
  if (row.format == Format::ShiftImmediate) f.sa = static_cast<uint8_t>(c.imm);
  return f;
}

// The branch is the check: taken or not as the read value decides, and the
// other way leads to inst_error. A linking branch's slot puts $ra back.
void emit_branch(RoutineContext& routine, const ReaderCase& c, bool taken) {
  auto& as = routine.as;
  const Fields f = reader_fields(c);
  const Label to = taken ? as.make_label() : routine.inst_error;
  if (info(c.op).format == Format::BranchCompare) as.branch(c.op, Reg(f.rs), Reg(f.rt), to);
  else as.branch(c.op, Reg(f.rs), to);
  if (info(c.op).links()) links::restore_return_address(as);
  else as.nop();
  if (!taken) return;
  as.b(routine.inst_error);
  as.nop();
  as.bind(to);
}

void compare_with(RoutineContext& routine, Reg reg, uint32_t expected) {
  LoadBlock().value(t6, expected).emit(routine.as);
  fail_unless_equal(routine, reg, t6);
}

void emit_check(RoutineContext& routine, const ReaderCase& c, const ReaderOutcome& expected) {
  auto& as = routine.as;
  const OpInfo& row = info(c.op);
  const Fields f = reader_fields(c);
  if (row.writes_lo()) as.move_from(Op::mflo, kResult), compare_with(routine, kResult, expected.value);
  if (row.writes_hi()) as.move_from(Op::mfhi, kResult), compare_with(routine, kResult, expected.hi);
  if (row.destination == Destination::rd) compare_with(routine, Reg(f.rd), expected.value);
  if (row.destination == Destination::rt) compare_with(routine, Reg(f.rt), expected.value);
  if (row.is_store()) {
    LoadBlock().value(t6, expected.value).emit(as);
    as.lw(kResult, 0, t5);
    read_gap(as);
    fail_unless_equal(routine, kResult, t6);
  }
}

void emit_reader_case(RoutineContext& routine, const ReaderCase& c) {
  auto& as = routine.as;
  const OpInfo& row = info(c.op);
  const ReaderOutcome expected = reader_outcome(c, c.value);
  if (row.links()) links::save_return_address(as);  // read back by the branch's slot, well after
  LoadBlock block;
  block.value(kRead, c.stale).value(kOther, c.other).value(t3, c.value - c.addend).value(t4, c.addend);
  if (row.format == Format::Memory)
    block.value(t5, c.address).value(t7, c.word).value(t8, c.decoy_address).value(t9, c.decoy);
  block.emit(as);
  if (row.format == Format::Memory) as.sw(t7, 0, t5), as.sw(t9, 0, t8);

  as.addu(kRead, t3, t4);
  for (int i = 1; i < c.distance; ++i) as.nop();
  if (is_branch(row.format)) emit_branch(routine, c, expected.value != 0);
  else as.emit(c.op, reader_fields(c));
  if (row.links()) read_gap(as);  // the restored $ra, before anything reads it
  emit_check(routine, c, expected);
}

CaseInfo describe(const ReaderCase& c) {
  const OpInfo& row = info(c.op);
  std::string note = "addu -> " + std::string(row.mnemonic) + (c.operand == Operand::rs ? " rs" : " rt") +
                     ", distance " + std::to_string(c.distance) + ", " + std::string(reg_name(kRead));
  std::vector<CaseValue> values = {{"value", c.value}, {"stale", c.stale}};
  if (row.reads.rs && row.reads.rt) values.push_back({"other", c.other});
  if (row.format == Format::ShiftImmediate || row.format == Format::ImmediateSigned ||
      row.format == Format::ImmediateUnsigned || row.format == Format::Memory)
    values.push_back({"immediate", c.imm});
  if (row.format == Format::Memory) values.push_back({"word", c.word});
  if (!is_branch(row.format)) values.push_back({"expected", reader_outcome(c, c.value).value});
  return {static_cast<int>(c.op) + 1, row.mnemonic, values, note};  // a group per reader
}

}  // namespace

void forward_every_reader_cases(RoutineContext& routine) {
  emit_cases(routine, draw_reader_cases(routine.spec.number, routine.random), describe,
             [&](const ReaderCase& c) { emit_reader_case(routine, c); });
}

}  // namespace r3k::supplement
