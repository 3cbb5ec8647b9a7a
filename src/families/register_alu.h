// The register-register ALU family: add, addu, sub, subu, slt, sltu, and, or,
// xor and nor, each case loading both operands and the expected result as
// constants, executing the instruction once and comparing at once.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "routine/random.h"
#include "isa/isa.h"

namespace r3k::register_alu {

// The operand groups, in the order a routine's cases run.
enum class Group : uint8_t {
  both_random = 1,  // A and B random, A != B
  second_zero,      // A random, B = 0
  first_zero,       // A = 0, B random
  both_zero,
};

struct Member {
  isa::Op op;
  // Cases drawn per group. For the trapping instructions the first count is
  // the pairs drawn; the overflowing ones among them are left out.
  std::array<int, 4> drawn;
};

// Throws std::logic_error for an instruction outside the family.
const Member& member(isa::Op op);

// Whether `add` or `sub` of these operands raises the overflow trap; false
// for every other instruction.
bool overflows(isa::Op op, uint32_t a, uint32_t b);

// `op $v0, A, B` by the MIPS-I definitions (A is rs, B is rt). Throws
// std::logic_error for an overflowing add or sub, which has no result, and for an
// instruction outside the family.
uint32_t result(isa::Op op, uint32_t a, uint32_t b);

struct Case {
  Group group;
  uint32_t a;  // $t0
  uint32_t b;  // $t1
  uint32_t expected;
};

// One routine's cases in emission order. Random operands are non-zero full
// width words; no add or sub case overflows.
std::vector<Case> draw_cases(isa::Op op, Random& random);

}  // namespace r3k::register_alu
