// The partial-word instructions of unaligned access, each on its own: lwl and
// lwr merge part of a data word into a preset register, swl and swr part of a
// register into a preset word.
#pragma once

#include <vector>

#include "families/memory_case.h"
#include "routine/random.h"
#include "isa/isa.h"

namespace r3k::unaligned {

// The little-endian MIPS-I merge at byte offset `lane` of the word: for lwl
// and lwr the register after the load, `memory_word` being W and
// `register_value` the register's old value R0; for swl and swr the word after
// the store, `memory_word` being its old value P and `register_value` S.
uint32_t result(isa::Op op, uint32_t memory_word, uint32_t register_value, unsigned lane);

// The 50 cases of the routine testing `op`, all with base 0x80000000.
std::vector<memory::MemoryCase> draw_cases(isa::Op op, Random& random);

}  // namespace r3k::unaligned
