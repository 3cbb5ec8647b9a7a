// $ra in the cases whose instruction links (jal, jalr, bltzal, bgezal).
//
// Every routine is entered by jal and leaves by jr $ra, so a case that
// overwrites $ra keeps the routine's return address in $s7 and puts it back
// before its first comparison: a failing case then still returns to the
// driver through inst_error.
#pragma once

#include "asm/assembler.h"
#include "isa/isa.h"

namespace r3k::links {

inline constexpr isa::Reg kSavedReturnAddress = isa::s7;

// addu $s7, $zero, $ra
inline void save_return_address(assembly::Assembler& as) { as.addu(kSavedReturnAddress, isa::zero, isa::ra); }
// addu $ra, $zero, $s7
inline void restore_return_address(assembly::Assembler& as) { as.addu(isa::ra, isa::zero, kSavedReturnAddress); }
// move dest, $ra, written as addu dest, $ra, $zero: captures the link just written.
inline void copy_link(assembly::Assembler& as, isa::Reg dest) { as.addu(dest, isa::ra, isa::zero); }

}  // namespace r3k::links
