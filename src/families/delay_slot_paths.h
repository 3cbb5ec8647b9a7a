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
#include "isa/isa.h"

namespace r3k::delay_slots {

inline constexpr isa::Reg kReference = isa::s6;             // the instruction's ordinary execution
inline constexpr isa::Reg kSavedReturnAddress = isa::s7;    // in the linking routines

// addu $s7, $zero, $ra
inline void save_return_address(assembly::Assembler& as) { as.addu(kSavedReturnAddress, isa::zero, isa::ra); }
// addu $ra, $zero, $s7
inline void restore_return_address(assembly::Assembler& as) { as.addu(isa::ra, isa::zero, kSavedReturnAddress); }

// bne actual, expected, inst_error ; nop
inline void check_equal(assembly::Assembler& as, isa::Reg actual, isa::Reg expected, assembly::Label inst_error) {
  as.bne(actual, expected, inst_error);
  as.nop();
}

// b inst_error, with the restore of $ra in its delay slot where the case links.
inline void wrong_path_exit(assembly::Assembler& as, assembly::Label inst_error, bool links) {
  as.b(inst_error);
  if (links) restore_return_address(as);
  else as.nop();
}

}  // namespace r3k::delay_slots
