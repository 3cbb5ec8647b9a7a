// What the branch and the jump delay-slot cases share around the slot: the
// keeping of $ra in the routines whose branch or jump links, and the exits.
//
// Every routine returns to the driver through jr $ra, so a case whose branch
// or jump writes $ra keeps the routine's return address in $s7 and puts it
// back before every comparison. The exit of a path a correct processor never
// takes is reached after a link was written, too (a linking branch that
// should have been taken and fell through, a jal that did not jump): there
// the restore sits in the delay slot of the b to inst_error, so the routine
// still returns to the driver, and the case keeps its length.
#pragma once

#include "asm/assembler.h"
#include "families/delay_slot_list.h"
#include "families/link_register.h"
#include "families/marker_scheme.h"
#include "routine/routine.h"
#include "isa/isa.h"

namespace r3k::delay_slots {

inline constexpr isa::Reg kReference = isa::s6;  // the instruction's ordinary execution
// Where a multiply or divide case reads LO after the slot of a branch not
// taken (the jump cases clear it too, so both families' cases look alike)
// and after the slot of a taken branch or a jump.
inline constexpr isa::Reg kNotTakenLo = isa::v0, kTakenLo = isa::v1;

using links::kSavedReturnAddress;
using links::restore_return_address;
using links::save_return_address;
using markers::check_equal;

// b inst_error, with the restore of $ra in its delay slot where the case links.
inline void wrong_path_exit(assembly::Assembler& as, assembly::Label inst_error, bool links) {
  as.b(inst_error);
  if (links) restore_return_address(as);
  else as.nop();
}

// A multiply or divide case of either family: both LO reads cleared, so a
// read that never happens shows; the reference is the slot's instruction
// run in the open and read back from LO; the case ends reading LO after the
// taken slot and comparing.
inline void clear_lo_reads(assembly::Assembler& as) {
  as.li(kNotTakenLo, 0);
  as.li(kTakenLo, 0);
}
inline void lo_reference(assembly::Assembler& as, const SlotInstruction& slot) {
  slot.emit(as);
  as.move_from(isa::Op::mflo, kReference);
}
inline void check_taken_lo(assembly::Assembler& as, assembly::Label inst_error) {
  as.move_from(isa::Op::mflo, kTakenLo);
  check_equal(as, kTakenLo, kReference, inst_error);
}

// The cases of a routine in list order, the multiply and divide operands
// loaded between cases 26 and 27 (on the line of case 26).
template <class Member, class EmitRegisterCase, class EmitMultiplyDivideCase>
void emit_slot_cases(RoutineContext& routine, const Member& member, EmitRegisterCase register_case,
                     EmitMultiplyDivideCase multiply_divide_case) {
  const SlotList list = slot_list(routine.spec.op);
  for (size_t i = 0; i < list.cases.size(); ++i) {
    if (static_cast<int>(i) + 1 == kFirstMultiplyDivide) load_multiply_divide_operands(routine.as);
    const SlotInstruction& slot = list.cases[i];
    routine.begin_case({0, {}, {}, "in the delay slot: " + isa::disassemble(slot.encoding(), 0)});
    if (slot.writes_hilo()) multiply_divide_case(routine.as, member, slot, routine.inst_error);
    else register_case(routine.as, member, slot, routine.inst_error);
  }
}

}  // namespace r3k::delay_slots
