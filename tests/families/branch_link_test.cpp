// The branch-and-link family: drawn cases, and the cases in the image.
#include "families/branch_link.h"

#include <gtest/gtest.h>

#include <set>

#include "families/case_listing.h"
#include "support/image_run.h"

namespace r3k {
namespace {

using branch_link::Case;
using isa::Op;
using enum isa::Reg;

struct Row {
  const char* name;
  int number;
  Op op;
  int cases, taken, not_taken;
  int positive, negative;  // random X of each sign
  bool zero_taken;
};

const Row kRows[] = {
    {"n41_bltzal_test", 41, Op::bltzal, 139, 72, 67, 66, 72, false},
    {"n42_bgezal_test", 42, Op::bgezal, 146, 72, 74, 71, 74, true},
};

const uint32_t kSeeds[] = {kDefaultSeed, 7, 0xBADC0DE};

std::vector<Case> draw(const Row& row, uint32_t seed) {
  Random random(seed, static_cast<uint32_t>(row.number));
  return branch_link::draw_cases(row.op, random);
}

TEST(BranchLinkFamily, CountsSignsAndValueRules) {
  for (const Row& row : kRows)
    for (const uint32_t seed : kSeeds) {
      SCOPED_TRACE(std::string(row.name) + " seed " + std::to_string(seed));
      const std::vector<Case> cases = draw(row, seed);
      ASSERT_EQ(static_cast<int>(cases.size()), row.cases);
      EXPECT_EQ(cases.back().x, 0u);
      EXPECT_EQ(cases.back().taken, row.zero_taken);
      int taken = 0, positive = 0, negative = 0;
      std::set<uint32_t> markers;
      for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        taken += c.taken;
        if (i + 1 < cases.size()) {
          EXPECT_TRUE(test::lui_ori_value(c.x)) << std::hex << c.x;
          ++(c.x >> 31 ? negative : positive);
        }
        const bool negative_x = c.x >> 31;
        EXPECT_EQ(c.taken, row.op == Op::bltzal ? negative_x : !negative_x) << std::hex << c.x;
        EXPECT_EQ(c.expected_first(), c.taken ? c.a : 0u);
        EXPECT_EQ(c.expected_second(), c.taken ? c.b : 0u);
        for (const uint32_t m : {c.a, c.b}) {
          EXPECT_TRUE(test::lui_ori_value(m)) << std::hex << m;
          EXPECT_TRUE(markers.insert(m).second) << "repeated marker " << std::hex << m;
        }
      }
      EXPECT_EQ(taken, row.taken);
      EXPECT_EQ(row.cases - taken, row.not_taken);
      EXPECT_EQ(positive, row.positive);
      EXPECT_EQ(negative, row.negative);
    }
}

TEST(BranchLinkFamily, TellingRowsDecideAsTheArchitectureSays) {
  EXPECT_TRUE(branch_link::condition(Op::bltzal, 0xC564AAEE));
  EXPECT_FALSE(branch_link::condition(Op::bltzal, 0x655E408B));
  EXPECT_FALSE(branch_link::condition(Op::bltzal, 0));
  EXPECT_FALSE(branch_link::condition(Op::bgezal, 0x9EC9DB66));
  EXPECT_TRUE(branch_link::condition(Op::bgezal, 0x48F555D0));
  EXPECT_TRUE(branch_link::condition(Op::bgezal, 0));
}

// S10 and S15 name the instructions after the two delay slots, whose
// addresses are the links.
test::Listing link_template(Op op, const Case& c, uint32_t inst_error) {
  const std::string br(isa::info(op).mnemonic);
  test::Listing l;
  l.outside("inst_error", inst_error);
  l.line("addu $s7, $zero, $ra").line("addiu $v0, $zero, 0x0").line("addiu $v1, $zero, 0x0");
  l.line("beq $zero, $zero, @L2").nop();
  l.label("L1").line("addu $a0, $ra, $zero").li(v0, c.a);
  l.line(br + " $t0, @L3").nop();
  l.label("S10").line("beq $zero, $zero, @L4").nop();
  l.label("L2").li(t0, c.x);
  l.line(br + " $t0, @L1").nop();
  l.label("S15").line("addu $a0, $ra, $zero").la(a1, "S10");
  l.line("beq $zero, $zero, @L4").nop();
  l.label("L3").line("addu $a1, $ra, $zero").li(v1, c.b);
  l.label("L4").line("addu $ra, $zero, $s7").li(s5, c.expected_first()).li(s6, c.expected_second());
  l.line("bne $v0, $s5, @inst_error").nop();
  l.line("bne $v1, $s6, @inst_error").nop();
  l.la(s5, "S10").la(s6, "S15");
  l.line("bne $a0, $s6, @inst_error").nop();
  l.line("bne $a1, $s5, @inst_error").nop();
  return l;
}

TEST(BranchLinkFamily, EveryCaseInTheImageFollowsTheTemplate) {
  for (const Row& row : kRows)
    test::expect_cases_follow(test::default_image(), row.name, draw(row, kDefaultSeed),
                              [&](const Case& c, uint32_t inst_error) { return link_template(row.op, c, inst_error); });
}

// Offsets of steps 4, 8, 10, 13 and 17 with two-instruction loads: +8, +12,
// +13, -10, +4; the one-instruction load of X = 0 shortens those spanning it.
TEST(BranchLinkFamily, BranchOffsetsMatchTheLayout) {
  const Image& image = test::default_image();
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.name);
    const std::vector<test::EmittedCase> emitted = test::emitted_cases(image, test::routine_named(image, row.name));
    for (size_t i = 0; i < emitted.size(); ++i) {
      const bool short_x = i + 1 == emitted.size();
      const int expected[5] = {8, short_x ? 11 : 12, short_x ? 12 : 13, short_x ? -9 : -10, 4};
      const std::vector<size_t> branches = emitted[i].branch_indices();
      ASSERT_EQ(branches.size(), 9u);
      for (int k = 0; k < 5; ++k) EXPECT_EQ(emitted[i].branch_offset(branches[k]), expected[k]) << "case " << i + 1;
    }
  }
}

}  // namespace
}  // namespace r3k
