// What the memory families' tests share: the case templates written out by
// hand as listings (the constant loads and the long form expanded by their
// rules, independently of the assembler), and a load delay for lw.
#pragma once

#include <cstdint>
#include <string_view>

#include "families/case_listing.h"
#include "families/memory_case.h"
#include "sim/fault.h"

namespace r3k::test {

// op rt, offset(base); from offset 0x8000 up lui T, 1 ; addu T, T, base ;
// op rt, offset - 0x10000(T), with T $at for the stores, lwl and lwr and rt
// for the other loads.
void access(Listing& listing, std::string_view op, isa::Reg rt, uint32_t offset, isa::Reg base);
// addiu $a0, $t0, 4 ; addiu $a1, $t0, D ; sw $a0, O($a0) ; sw $a1, O($a1)
void neighbour_words(Listing& listing, uint32_t offset, int second_neighbour);
// $a1 through $a0 first (load cases), or $a0 through $a1 first; then $a2 through $a1.
void follow_ups(Listing& listing, uint32_t offset, bool a1_first);
// bne $v0, $v1, inst_error ; nop
void check(Listing& listing, uint32_t inst_error);

// The load and store case templates step by step; the load template loads
// $v0 with R0 first when `preset` is set (lwl, lwr).
Listing load_template(std::string_view op, const memory::MemoryCase& c, bool preset, uint32_t inst_error);
Listing store_template(std::string_view op, const memory::MemoryCase& c, uint32_t inst_error);

}  // namespace r3k::test
