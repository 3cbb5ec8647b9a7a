// delay slots of j, jal, jr and jalr
//
// A jump has one path only, so each case computes the reference first, then
// jumps with the same instruction in the slot, and the first instruction at
// the target that reads it compares the two.
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

struct Member {
  Op op;
  bool links;
  Reg target;  // the register jr and jalr take the target address from; zero for j and jal
};

constexpr Member kMembers[] = {
    {Op::j, false, zero},
    {Op::jal, true, zero},
    {Op::jr, false, s5},
    {Op::jalr, true, a0},
};


const Member& member(Op op) { return find_member(kMembers, op, "jump delay-slot"); }

void emit_jump(Assembler& as, const Member& m, Label target) {
  switch (m.op) {
    case Op::j: as.j(target); break;
    case Op::jal: as.jal(target); break;
    case Op::jr: as.jr(m.target); break;
    default: as.jalr(ra, m.target); break;
  }
}

// Whatever the case starts with before its reference: the save of $ra and
// the address load of the target.
void prepare_jump(Assembler& as, const Member& m, Label target) {
  if (m.links) save_return_address(as);
  if (m.target != zero) as.la(m.target, target);
}

// The jump, its slot, and the exit of a jump that fell through; then the
// target, where a linking case first puts $ra back.
void jump_with_slot(Assembler& as, const Member& m, Label target, const SlotInstruction& slot, Reg destination,
                    Label inst_error) {
  emit_jump(as, m, target);
  if (slot.writes_hilo()) slot.emit(as);
  else slot.emit_into(as, destination);
  wrong_path_exit(as, inst_error, m.links);
  as.bind(target);
  if (m.links) restore_return_address(as);
}

void emit_register_case(Assembler& as, const Member& m, const SlotInstruction& slot, Label inst_error) {
  const Label target = as.make_label();
  prepare_jump(as, m, target);
  slot.emit_into(as, kReference);
  jump_with_slot(as, m, target, slot, slot.destination(), inst_error);
  check_equal(as, slot.destination(), kReference, inst_error);
}

// A multiply or divide in the slot of jalr: LO preset to the target address
// (in $a0), which no result equals, so a skipped slot always shows.
void emit_multiply_divide_case(Assembler& as, const Member& m, const SlotInstruction& slot, Label inst_error) {
  if (m.op != Op::jalr) throw std::logic_error("jump delay-slot family: only jalr carries the multiply and divide cases");
  const Label target = as.make_label();
  prepare_jump(as, m, target);
  clear_lo_reads(as);
  lo_reference(as, slot);
  as.move_to(Op::mtlo, m.target);
  jump_with_slot(as, m, target, slot, zero, inst_error);
  check_taken_lo(as, inst_error);
}

}  // namespace
}  // namespace delay_slots

void jump_delay_slot_cases(RoutineContext& routine) {
  using namespace delay_slots;
  emit_slot_cases(routine, member(routine.spec.op), emit_register_case, emit_multiply_divide_case);
}

}  // namespace r3k
