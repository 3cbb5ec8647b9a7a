// The conditional branch family: beq, bne, bgez, bgtz, blez, bltz.
//
// Each case runs the branch twice: backward right after its operand loads
// (the execution under test), and, only if that was taken, forward from the
// block it reached, with the operands swapped for beq and bne. The blocks
// reached write markers (families/marker_scheme.h).
#pragma once

#include <cstdint>
#include <vector>

#include "families/marker_scheme.h"
#include "routine/random.h"
#include "isa/isa.h"

namespace r3k::branches {

// The operand groups, in the order a routine lays them out.
enum class Group : uint8_t {
  unequal,      // beq, bne: X and Y random, drawn apart
  equal,        // beq, bne: X random, Y = X
  second_zero,  // beq, bne: X random, Y = 0
  first_zero,   // beq, bne: X = 0, Y random
  both_zero,    // beq, bne: X = Y = 0
  random,       // one-operand branches: X random, signs mixed
  zero,         // one-operand branches: X = 0
};
inline constexpr int kGroupCount = 7;

// One row per routine of the family.
struct Member {
  isa::Op op;
  markers::OutcomeClear clear;
  bool filler_nops;  // a nop no path reaches after each of the two `b L4`
  // beq, bne: cases of the groups unequal, equal, second_zero, first_zero,
  // both_zero, in that order.
  int pair_groups[5];
  // One-operand branches: random X of each sign, mixed in random order,
  // then one case X = 0.
  int positive, negative;
  // Whether one case, drawn at random among the random-X cases, has a
  // marker A with a zero low half, which a lone lui loads.
  bool upper_only_marker;
};
const Member& member(isa::Op op);  // throws for an op outside the family
bool two_operands(isa::Op op);

struct Case {
  Group group;
  uint32_t x = 0, y = 0;  // y only for beq and bne
  uint32_t a = 0, b = 0;  // markers: A after the backward branch, B after the forward one
  bool taken = false;     // the branch condition holds for x, y
  uint32_t expected_first() const { return taken ? a : 0; }   // E0
  uint32_t expected_second() const { return taken ? b : 0; }  // E1
};

// The MIPS-I condition, operands as 32-bit two's-complement numbers.
bool condition(isa::Op op, uint32_t x, uint32_t y);

// The cases of one routine, in layout order.
std::vector<Case> draw_cases(isa::Op op, Random& random);

// Random operands of a one-operand branch: exactly `positive` values with
// the sign bit clear and `negative` with it set, each taking the
// two-instruction constant load, in random order.
std::vector<uint32_t> draw_signed_operands(int positive, int negative, Random& random);

}  // namespace r3k::branches
