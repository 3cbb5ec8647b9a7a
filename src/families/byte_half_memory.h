// Byte and halfword loads and stores: one byte or halfword lane of a data
// word at B + O, read with lb, lbu, lh or lhu, or written into a preset word
// with sb or sh and read back whole.
#pragma once

#include <vector>

#include "families/memory_case.h"
#include "routine/random.h"
#include "isa/isa.h"

namespace r3k::byte_half {

// The little-endian MIPS-I result: for lb, lbu, lh and lhu the register after
// loading lane `lane` of `memory_word`; for sb and sh the word after storing
// the low byte or halfword of `store_data` into lane `lane` of `memory_word`.
// Byte lane k is bits 8k+7..8k; halfword lanes are 0 (bits 15..0) and 2.
uint32_t result(isa::Op op, uint32_t memory_word, uint32_t store_data, unsigned lane);

// The cases of the routine testing `op`, in routine order (group, B, O, k, W or
// P, S, E). The last case is all zero at lane 0.
std::vector<memory::MemoryCase> draw_cases(isa::Op op, Random& random);

}  // namespace r3k::byte_half
