// The values the supplement's routines draw, as plain lists a test can
// inspect.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "routine/random.h"
#include "isa/isa.h"

namespace r3k::supplement {

// n4: operand pairs of slt and sltu at the overflow boundary: the fixed
// pairs' signed difference overflows or lands exactly on 0x80000000 (the
// pairs mirrored at the boundary), the drawn ones all overflow.
std::vector<std::pair<uint32_t, uint32_t>> draw_overflow_pairs(Random& random);

// n5: the immediates of slti and sltiu.
std::vector<uint16_t> draw_range_immediates(Random& random);

// n6: beq/bne operands differing in one bit, in one half only, or equal.
struct HalvesCase {
  uint32_t x, y;
  std::string what;
};
std::vector<HalvesCase> draw_halves_cases(Random& random);

// n8: variable shifts whose amount register has upper bits set.
struct ShiftAmountCase {
  isa::Op op;
  uint32_t word, amount, expected;
};
std::vector<ShiftAmountCase> draw_shift_amount_cases(Random& random);

// n9: the branches and jumps whose slot updates its own register.
const std::vector<isa::Op>& slot_ops();

// n10: a chain of words, each holding the base of the next load.
struct LoadChain {
  std::vector<uint32_t> words;   // the word each load reads
  std::vector<int16_t> offsets;  // each load's offset
  std::vector<uint32_t> values;  // what each load must give
  uint32_t stale = 0;            // what the loaded registers hold before the chain
};
std::vector<LoadChain> draw_load_chains(int routine_number, Random& random);

}  // namespace r3k::supplement
