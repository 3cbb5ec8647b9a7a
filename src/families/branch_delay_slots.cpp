// delay slots of the eight conditional branches
//
// Each case runs one instruction of the delay-slot list three times: in the
// slot of a branch that is certainly not taken, right after that slot as the
// reference, and in the slot of a branch that is certainly taken. The first
// instruction after each slot compares the slot's result with the reference.
#include <string>
#include <stdexcept>

#include "families/delay_slot_list.h"
#include "families/delay_slot_paths.h"
#include "families/families.h"

namespace r3k {
namespace delay_slots {
namespace {

using namespace isa;  // register names
using assembly::Assembler;
using assembly::Label;

struct ConditionLoad {
  Reg reg = zero;
  uint32_t value = 0;
};

// One compare of the branch under test; rt only for beq and bne.
struct BranchOperands {
  Reg rs = zero, rt = zero;
};

// The condition registers are loaded at the start of every case, since the
// slot instructions of other cases may have written them.
struct Member {
  Op op;
  bool links;  // writes $ra whether or not it branches
  ConditionLoad loads[2];
  BranchOperands not_taken, taken;
};

constexpr uint32_t kMostNegative = 0x80000000, kMostPositive = 0x7FFFFFFF;

constexpr Member kMembers[] = {
    {Op::beq, false, {{s5, 1}, {}}, {s5, zero}, {s5, s5}},
    {Op::bne, false, {{s5, 1}, {}}, {s5, s5}, {s5, zero}},
    {Op::bgez, false, {{a0, kMostNegative}, {}}, {a0}, {zero}},
    {Op::bgtz, false, {{a0, kMostNegative}, {a1, kMostPositive}}, {a0}, {a1}},
    {Op::blez, false, {{a0, kMostPositive}, {}}, {a0}, {zero}},
    {Op::bltz, false, {{a0, kMostNegative}, {a1, kMostPositive}}, {a1}, {a0}},
    {Op::bltzal, true, {{a0, kMostNegative}, {a1, kMostPositive}}, {a1}, {a0}},
    {Op::bgezal, true, {{a0, kMostNegative}, {}}, {a0}, {zero}},
};

// Multiply and divide cases preset LO from $a0, whose condition value no
// LO result of the list equals.
constexpr Reg kLoPreset = a0;

const Member& member(Op op) { return find_member(kMembers, op, "branch delay-slot"); }

// The link routines keep the routine's return address in $s7, so their
// taken-path slot writes $s5 instead.
Reg taken_destination(const Member& m) { return m.links ? s5 : s7; }

void load_conditions(Assembler& as, const Member& m) {
  if (m.links) save_return_address(as);
  for (const ConditionLoad& load : m.loads)
    if (load.reg != zero) as.li(load.reg, load.value);
}

void emit_branch(Assembler& as, Op op, BranchOperands operands, Label target) {
  if (info(op).format == Format::BranchCompare) as.branch(op, operands.rs, operands.rt, target);
  else as.branch(op, operands.rs, target);
}

void restore_if_linked(Assembler& as, const Member& m) {
  if (m.links) restore_return_address(as);
}

// The slot writes a register (or, for sw, stores one).
void emit_register_case(Assembler& as, const Member& m, const SlotInstruction& slot, Label inst_error) {
  const Label wrong_path = as.make_label(), target = as.make_label();
  const Reg destination = slot.destination(), taken = taken_destination(m);
  load_conditions(as, m);
  emit_branch(as, m.op, m.not_taken, wrong_path);
  slot.emit_into(as, destination);
  slot.emit_into(as, kReference);  // same sources: no listed instruction reads its own destination
  restore_if_linked(as, m);
  check_equal(as, destination, kReference, inst_error);
  emit_branch(as, m.op, m.taken, target);
  slot.emit_into(as, taken);
  as.bind(wrong_path);
  wrong_path_exit(as, inst_error, m.links);
  as.bind(target);
  restore_if_linked(as, m);
  check_equal(as, taken, kReference, inst_error);
}

// A multiply or divide in the slot, read back through LO. The
// preset before the taken branch makes a skipped slot show whatever the
// result.
void emit_multiply_divide_case(Assembler& as, const Member& m, const SlotInstruction& slot, Label inst_error) {
  const Label wrong_path = as.make_label(), target = as.make_label();
  load_conditions(as, m);
  clear_lo_reads(as);
  emit_branch(as, m.op, m.not_taken, wrong_path);
  slot.emit(as);
  as.move_from(Op::mflo, kNotTakenLo);
  as.move_to(Op::mtlo, kLoPreset);
  lo_reference(as, slot);
  restore_if_linked(as, m);
  check_equal(as, kNotTakenLo, kReference, inst_error);
  as.move_to(Op::mtlo, kLoPreset);
  emit_branch(as, m.op, m.taken, target);
  slot.emit(as);
  as.bind(wrong_path);
  wrong_path_exit(as, inst_error, m.links);
  as.bind(target);
  restore_if_linked(as, m);
  check_taken_lo(as, inst_error);
}

}  // namespace
}  // namespace delay_slots

void branch_delay_slot_cases(RoutineContext& routine) {
  using namespace delay_slots;
  emit_slot_cases(routine, member(routine.spec.op), emit_register_case, emit_multiply_divide_case);
}

}  // namespace r3k
