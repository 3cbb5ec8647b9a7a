// The immediate ALU family: addi, addiu, slti, sltiu, andi, ori and xori,
// each case loading the register operand and the expected result as
// constants and giving the operand under test as the instruction's own
// 16-bit immediate field.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "routine/random.h"
#include "isa/isa.h"

namespace r3k::immediate_alu {

// The operand groups, in the order a routine's cases run.
enum class Group : uint8_t {
  both_random = 1,  // X random, immediate random
  zero_immediate,   // X random, immediate 0
  zero_register,    // X = 0, immediate random
  both_zero,
};

struct Member {
  isa::Op op;
  std::array<int, 4> cases;  // per group
};

// Throws std::logic_error for an instruction outside the family.
const Member& member(isa::Op op);

// The immediate field as the instruction reads it: sign-extended for addi,
// addiu, slti and sltiu (sltiu then compares unsigned), zero-extended for
// andi, ori and xori.
uint32_t widen_immediate(isa::Op op, uint16_t field);

// Whether `addi` of these operands raises the overflow trap; false for every
// other instruction.
bool overflows(isa::Op op, uint32_t x, uint16_t field);

// `op $v0, X, field` by the MIPS-I definitions. Throws std::logic_error for an
// overflowing addi, which has no result, and for an instruction outside the
// family.
uint32_t result(isa::Op op, uint32_t x, uint16_t field);

// Random immediates keep at least this far from 0x0001, 0x7FFF, 0x8000 and
// 0xFFFF (counting round the 16-bit circle): an immediate within it is an
// edge value or one of its neighbours.
inline constexpr unsigned kEdgeNeighbourhood = 2;
bool is_edge_immediate(uint16_t field);

// In the random groups of slti and sltiu, X and the widened immediate differ
// by at least this much in the comparison's own order, so the result never
// hinges on the low half of X.
inline constexpr uint32_t kComparisonMargin = 0x10000;
// How far apart X and the widened immediate are as the instruction compares
// them: as signed numbers for slti, unsigned for sltiu.
uint64_t comparison_distance(isa::Op op, uint32_t x, uint16_t field);

struct Case {
  Group group;
  uint32_t x;      // $t0
  uint16_t field;  // the immediate field
  uint32_t expected;
};

// One routine's cases in emission order. Random immediates are non-zero and
// no edge value; non-zero values of X are random words, each at most once
// per routine; no addi case overflows; the random slti and sltiu cases keep
// kComparisonMargin.
std::vector<Case> draw_cases(isa::Op op, Random& random);

}  // namespace r3k::immediate_alu
