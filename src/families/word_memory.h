// Word loads and stores: a data word stored at B + O and loaded back, between
// two neighbour words that the follow-up loads chase.
#pragma once

#include <vector>

#include "families/memory_case.h"
#include "routine/random.h"
#include "isa/isa.h"

namespace r3k::word_memory {

// The cases of the lw or sw routine, in routine order: group, B, O and W,
// which is also the expected value (lane 0, no register preset).
std::vector<memory::MemoryCase> draw_cases(isa::Op op, Random& random);

}  // namespace r3k::word_memory
