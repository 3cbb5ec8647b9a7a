// Counted loops: three words
//     L:  addiu r, r, step       (r not $zero, step not 0)
//         bne   r, $zero, L      (or bne $zero, r, L)
//         an instruction that changes nothing (a write to $zero that cannot trap)
// change nothing but r, touch no memory and cannot raise an exception, so a
// run may take any number of whole passes at once: r moves by passes * step,
// the count by three per pass. Found in the decoded code wherever it stands;
// a plain run (no fault, no instruction observer) takes the passes in one go.
#pragma once

#include <cstdint>

#include "sim/decoded.h"

namespace r3k::sim {

inline constexpr uint32_t kCountedLoopInstructions = 3;  // per pass

// Whether `first` may head a counted loop: an addiu that steps a register
// other than $zero by a step other than 0. Most addiu words are not (a
// constant load reads $zero), and need not have the next two words decoded.
inline bool steps_a_counter(const Decoded& first) {
  return first.action == Action::addiu && first.rs == first.rt && first.rt != isa::zero && first.imm != 0;
}

// Whether `first`, `second` and `third`, decoded from three consecutive words
// starting at `address`, form a counted loop.
bool is_counted_loop(uint32_t address, const Decoded& first, const Decoded& second, const Decoded& third);

// Passes the loop makes from r == value until r reaches 0 and the branch
// falls through: the least n >= 1 with value + n * step == 0 (mod 2^32), or 0
// when r never reaches 0 and the loop runs forever.
uint64_t passes_until_zero(uint32_t value, uint32_t step);

}  // namespace r3k::sim
