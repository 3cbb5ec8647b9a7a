// The multiply and divide family: mult, multu, div and divu, each case read
// back through LO and HI and compared with the product, or the quotient and
// remainder, computed when the image is built.
#pragma once

#include <cstdint>
#include <vector>

#include "routine/random.h"
#include "isa/isa.h"

namespace r3k::multiply_divide {

// The kinds of operand pair, in the order a routine's cases run.
enum class OperandPairKind : uint8_t {
  random_pair,        // two random words
  random_times_zero,  // second operand (multiplier) 0
  zero_times_random,  // first operand (multiplicand or dividend) 0
  zero_times_zero,
};

// How many cases of each kind a routine has. The divides have no case with a
// zero divisor.
struct Member {
  isa::Op op;
  int random_pairs;
  int random_times_zero;
  int zero_times_random;
  int zero_times_zero;

  int total() const { return random_pairs + random_times_zero + zero_times_random + zero_times_zero; }
};

// Throws std::logic_error for an instruction outside the family.
const Member& member(isa::Op op);

struct HiLoPair {
  uint32_t lo = 0;
  uint32_t hi = 0;
  friend bool operator==(const HiLoPair&, const HiLoPair&) = default;
};

// LO and HI after `op $x, $y` by the MIPS-I definitions: the 64-bit product
// (LO its low word), or the quotient in LO and the remainder in HI. A signed
// quotient is truncated toward zero, so the remainder is 0 or has the
// dividend's sign. Throws std::logic_error for a zero divisor and for 0x80000000
// divided by -1, whose results the architecture leaves undefined.
HiLoPair result(isa::Op op, uint32_t x, uint32_t y);

struct Case {
  OperandPairKind kind;
  uint32_t x;  // $t0: multiplicand or dividend
  uint32_t y;  // $t1: multiplier or divisor
  HiLoPair expected;
};

// One routine's cases in emission order. Non-zero operands are distinct
// random words, no divisor is 0, 0x80000000 is never divided by -1, and the
// random pairs include every combination of operand signs.
std::vector<Case> draw_cases(isa::Op op, Random& random);

}  // namespace r3k::multiply_divide
