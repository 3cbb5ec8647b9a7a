// What the catalog's branch blind spots rest on: the drawn operands. Every
// branch, link and jump fault, caught or unseen, is in the fault catalog
// (tests/faults), which runs each against the image.
#include <gtest/gtest.h>

#include "families/branches.h"
#include "image/build.h"
#include "sim/semantics.h"
#include "support/image_run.h"

namespace r3k {
namespace {

using isa::Op;
using sim::Cpu;
using sim::Decoded;
using sim::Fault;

Fault replace(Op op, sim::Semantics semantics) { return {op, std::move(semantics), sim::PipelineEffect::none}; }

void branch_if(Cpu& c, const Decoded& d, bool taken) {
  if (taken) c.branch(d.target);
}

TEST(ControlFamilies, ImagePassesWithOtherSeedsToo) {
  EXPECT_TRUE(test::run_default_image().passed());
  for (const uint32_t seed : {1u, 0xC0FFEEu}) EXPECT_TRUE(test::run_image(build_image(seed)).passed()) << seed;
}

// The unequal pairs are independent words, and none of the image shares its
// low half with its partner; every case with one zero operand has a non-zero
// low half on the other side.
TEST(ControlFamiliesBlindSpots, CompareOnlyTheLow16BitsGoesUnnoticed) {
  for (const auto& [op, number] : {std::pair{Op::beq, 4}, {Op::bne, 5}}) {
    SCOPED_TRACE(isa::info(op).mnemonic);
    Random random(kDefaultSeed, number);
    for (const branches::Case& c : branches::draw_cases(op, random))
      EXPECT_EQ(uint16_t(c.x) == uint16_t(c.y), c.x == c.y) << std::hex << c.x << " " << c.y;
    const Fault fault = replace(op, [op = op](Cpu& c, const Decoded& d) {
      branch_if(c, d, (uint16_t(c.reg(d.rs)) == uint16_t(c.reg(d.rt))) == (op == Op::beq));
    });
    EXPECT_TRUE(test::run_default_image(fault).passed());
  }
}

}  // namespace
}  // namespace r3k
