// The branch-and-link family: bltzal, bgezal.
//
// The one-operand branch case (families/branches.h) with the link captured
// on both paths: these branches write $ra whether or not they are taken, and
// each case compares the link of the backward execution under test ($a0)
// and of the forward second execution ($a1) with addresses of its own labels.
#pragma once

#include <cstdint>
#include <vector>

#include "routine/random.h"
#include "isa/isa.h"

namespace r3k::branch_link {

struct Member {
  isa::Op op;
  int positive, negative;  // random X of each sign, mixed in random order, then one case X = 0
};
const Member& member(isa::Op op);  // throws for an op outside the family

struct Case {
  uint32_t x = 0;         // 0 only in the last case
  uint32_t a = 0, b = 0;  // markers
  bool taken = false;
  uint32_t expected_first() const { return taken ? a : 0; }
  uint32_t expected_second() const { return taken ? b : 0; }
};

// bltzal: x < 0; bgezal: x >= 0 (two's complement).
bool condition(isa::Op op, uint32_t x);

std::vector<Case> draw_cases(isa::Op op, Random& random);

}  // namespace r3k::branch_link
