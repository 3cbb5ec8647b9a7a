// The shift family: sll, srl and sra take their amount from the instruction,
// sllv, srlv and srav from bits 4..0 of $t1. Each case loads the word, the
// amount (register forms) and the expected result as constants, shifts once
// and compares at once.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "routine/random.h"
#include "isa/isa.h"

namespace r3k::shifts {

// The operand groups, in the order a routine's cases run.
enum class Group : uint8_t {
  both_random = 1,  // random word, random amount (every amount 0..31 among them)
  amount_zero,      // random word shifted by 0
  word_zero,        // the word 0 shifted by a random amount
  both_zero,
};

struct Member {
  isa::Op op;
  bool amount_in_register;  // the register forms read the amount from $t1
  std::array<int, 4> cases;  // per group, in group order
};

// Throws std::logic_error for an instruction outside the family.
const Member& member(isa::Op op);

// `op $v0, word, amount` by the MIPS-I definitions, for amounts 0..31 (the
// register forms use only bits 4..0 of the register, so their amount is
// already in that range). Throws std::logic_error for a larger amount or an
// instruction outside the family.
uint32_t result(isa::Op op, uint32_t word, unsigned amount);

struct Case {
  Group group;
  uint32_t word;    // $t0
  unsigned amount;  // the amount field, or $t1
  uint32_t expected;
};

// One routine's cases in emission order. Random words are non-zero and no
// word repeats within the routine; random amounts are uniform over 0..31, and
// the first group holds every amount at least once, 0 between 6 and 12 times;
// the third group holds the amount 0 at most twice.
std::vector<Case> draw_cases(isa::Op op, Random& random);

}  // namespace r3k::shifts
