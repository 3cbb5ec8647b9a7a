// The jump family: drawn markers, and the cases in the image.
#include "families/jumps.h"

#include <gtest/gtest.h>

#include <set>

#include "families/case_listing.h"
#include "support/image_run.h"

namespace r3k {
namespace {

using isa::Op;
using jumps::Case;
using enum isa::Reg;

struct Row {
  const char* name;
  int number;
  Op op;
  int cases, case_length;
};

const Row kRows[] = {
    {"n13_j_test", 13, Op::j, 121, 26},
    {"n14_jal_test", 14, Op::jal, 122, 34},
    {"n15_jr_test", 15, Op::jr, 142, 30},
    {"n43_jalr_test", 43, Op::jalr, 140, 40},
};

std::vector<Case> draw(const Row& row, uint32_t seed) {
  Random random(seed, static_cast<uint32_t>(row.number));
  return jumps::draw_cases(row.op, random);
}

TEST(JumpFamily, MarkersAreDistinctTwoInstructionWords) {
  for (const Row& row : kRows)
    for (const uint32_t seed : {kDefaultSeed, 3u, 0xFEEDu}) {
      SCOPED_TRACE(std::string(row.name) + " seed " + std::to_string(seed));
      const std::vector<Case> cases = draw(row, seed);
      EXPECT_EQ(static_cast<int>(cases.size()), row.cases);
      std::set<uint32_t> seen;
      for (const Case& c : cases)
        for (const uint32_t m : {c.a, c.b}) {
          EXPECT_TRUE(test::lui_ori_value(m)) << std::hex << m;
          EXPECT_TRUE(seen.insert(m).second) << "repeated marker " << std::hex << m;
        }
    }
}

// The four templates written out step by step. Sx names the instruction
// at step x where a link points.
test::Listing jump_template(Op op, const Case& c, uint32_t inst_error) {
  test::Listing l;
  l.outside("inst_error", inst_error);
  const bool links = op == Op::jal || op == Op::jalr;
  if (links) l.line("addu $s7, $zero, $ra");
  if (op == Op::jalr) l.line("addiu $v0, $zero, 0x0").line("addiu $v1, $zero, 0x0");
  else l.line("lui $v0, 0x0").line("lui $v1, 0x0");
  if (op == Op::jr || op == Op::jalr) l.la(t0, "L1").la(t1, "L3");
  l.line(op == Op::jal ? "jal @L2" : "beq $zero, $zero, @L2").nop();

  l.label("L1");
  if (op == Op::jal) l.line("addu $a1, $ra, $zero");
  if (op == Op::jalr) l.line("addu $a0, $ra, $zero");
  l.li(v0, c.a);
  switch (op) {
    case Op::j: l.line("j @L3"); break;
    case Op::jal: l.line("jal @L3"); break;
    case Op::jr: l.line("jr $t1"); break;
    default: l.line("jalr $t1"); break;
  }
  l.nop().label("S12").line("beq $zero, $zero, @L4").nop();
  if (op != Op::jalr) l.nop();

  l.label("L2");
  if (op == Op::jal) l.line("addu $a0, $ra, $zero");
  switch (op) {
    case Op::j: l.line("j @L1"); break;
    case Op::jal: l.line("jal @L1"); break;
    case Op::jr: l.line("jr $t0"); break;
    default: l.line("jalr $t0"); break;
  }
  l.nop().label("S16").line("beq $zero, $zero, @L4").nop();
  if (op != Op::jalr) l.nop();

  l.label("L3");
  if (op == Op::jal) l.line("addu $a2, $ra, $zero");
  if (op == Op::jalr) l.line("addu $a1, $ra, $zero");
  l.li(v1, c.b);
  l.label("L4");
  if (links) l.line("addu $ra, $zero, $s7");
  l.li(s5, c.a).li(s6, c.b);
  l.line("bne $v0, $s5, @inst_error").nop();
  if (op == Op::jal) l.line("addiu $a2, $a2, 0x18");
  l.line("bne $v1, $s6, @inst_error").nop();
  if (op == Op::jal) l.line("bne $a2, $a1, @inst_error").nop();
  if (op == Op::jalr) {
    l.la(s5, "S12").la(s6, "S16");
    l.line("bne $a0, $s6, @inst_error").nop();
    l.line("bne $a1, $s5, @inst_error").nop();
  }
  return l;
}

TEST(JumpFamily, EveryCaseInTheImageFollowsTheTemplate) {
  for (const Row& row : kRows) {
    test::expect_cases_follow(test::default_image(), row.name, draw(row, kDefaultSeed),
                              [&](const Case& c, uint32_t inst_error) { return jump_template(row.op, c, inst_error); });
    // Every marker takes two instructions, so every case has the same length.
    const RoutineInfo& routine = test::routine_named(test::default_image(), row.name);
    EXPECT_EQ(routine.size, 4u * uint32_t(row.cases * row.case_length + 10)) << row.name;
  }
}

// The addiu of 24 stands for the distance between the second jal and the
// jal under test; measured on every case.
TEST(JumpFamily, JalLinksLieTwentyFourBytesApart) {
  const Image& image = test::default_image();
  for (const test::EmittedCase& c : test::emitted_cases(image, test::routine_named(image, "n14_jal_test"))) {
    const std::vector<size_t> jals = c.indices_of(Op::jal);  // opening, second execution, under test
    ASSERT_EQ(jals.size(), 3u);
    EXPECT_EQ(c.address_of(jals[2]) - c.address_of(jals[1]), 24u);
    const std::vector<size_t> adds = c.indices_of(Op::addiu);
    ASSERT_EQ(adds.size(), 1u);
    EXPECT_EQ(c.words[adds[0]] & 0xFFFF, uint32_t(jumps::kJalLinkDistance));
  }
}

}  // namespace
}  // namespace r3k
