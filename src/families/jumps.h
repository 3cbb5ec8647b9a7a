// The jump family: j, jal, jr, jalr.
//
// Each case makes the jump under test backward, then, from the block it
// reached, a second jump forward; the blocks write markers
// (families/marker_scheme.h). The linking jumps also capture their links:
// jal compares the distance between two links, jalr both links absolutely.
#pragma once

#include <cstdint>
#include <vector>

#include "routine/random.h"
#include "isa/isa.h"

namespace r3k::jumps {

struct Member {
  isa::Op op;
  int cases;
  int case_length;  // instructions; every marker takes two, so all cases are alike
};
const Member& member(isa::Op op);  // throws for an op outside the family

// A jump is always taken: a case expects $v0 = a and $v1 = b.
struct Case {
  uint32_t a = 0, b = 0;
};

std::vector<Case> draw_cases(isa::Op op, Random& random);

// Bytes between the jal of the second execution and the jal under test in
// the jal case, which is also how far apart their links lie.
inline constexpr int16_t kJalLinkDistance = 24;

}  // namespace r3k::jumps
