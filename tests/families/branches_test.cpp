// The conditional branch family: drawn cases, and the cases in the image.
#include "families/branches.h"

#include <gtest/gtest.h>

#include <bit>
#include <set>

#include "families/case_listing.h"
#include "support/image_run.h"

namespace r3k {
namespace {

using branches::Case;
using branches::Group;
using isa::Op;
using enum isa::Reg;

struct Row {
  const char* name;
  int number;
  Op op;
  std::vector<std::pair<Group, int>> groups;  // in layout order
  int taken, not_taken;
  int positive, negative;  // one-operand: random X of each sign
};

const std::vector<Row>& rows() {
  static const std::vector<Row> table = {
      {"n4_beq_test", 4, Op::beq,
       {{Group::unequal, 32}, {Group::equal, 48}, {Group::second_zero, 10}, {Group::first_zero, 13},
        {Group::both_zero, 1}},
       49, 55, 0, 0},
      {"n5_bne_test", 5, Op::bne,
       {{Group::unequal, 66}, {Group::equal, 48}, {Group::second_zero, 18}, {Group::first_zero, 20},
        {Group::both_zero, 1}},
       104, 49, 0, 0},
      {"n37_bgez_test", 37, Op::bgez, {{Group::random, 200}, {Group::zero, 1}}, 95, 106, 94, 106},
      {"n38_bgtz_test", 38, Op::bgtz, {{Group::random, 200}, {Group::zero, 1}}, 91, 110, 91, 109},
      {"n39_blez_test", 39, Op::blez, {{Group::random, 200}, {Group::zero, 1}}, 95, 106, 106, 94},
      {"n40_bltz_test", 40, Op::bltz, {{Group::random, 152}, {Group::zero, 1}}, 81, 72, 71, 81},
  };
  return table;
}

const uint32_t kSeeds[] = {kDefaultSeed, 1, 0xC0FFEE};

std::vector<Case> draw(const Row& row, uint32_t seed) {
  Random random(seed, static_cast<uint32_t>(row.number));
  return branches::draw_cases(row.op, random);
}

// The MIPS-I conditions, worked out from the sign bit and zero.
bool decides(Op op, uint32_t x, uint32_t y) {
  const bool sign = x >> 31, zero_x = x == 0;
  switch (op) {
    case Op::beq: return (x ^ y) == 0;
    case Op::bne: return (x ^ y) != 0;
    case Op::bgez: return !sign;
    case Op::bgtz: return !sign && !zero_x;
    case Op::blez: return sign || zero_x;
    default: return sign;  // bltz
  }
}

TEST(BranchFamily, GroupsAndTotalsFollowTheMemberTable) {
  for (const Row& row : rows())
    for (const uint32_t seed : kSeeds) {
      SCOPED_TRACE(std::string(row.name) + " seed " + std::to_string(seed));
      const std::vector<Case> cases = draw(row, seed);
      std::vector<std::pair<Group, int>> groups;
      int taken = 0, positive = 0, negative = 0;
      for (const Case& c : cases) {
        if (groups.empty() || groups.back().first != c.group) groups.push_back({c.group, 0});
        ++groups.back().second;
        taken += c.taken;
        if (c.group == Group::random) ++(c.x >> 31 ? negative : positive);
      }
      EXPECT_EQ(groups, row.groups);
      EXPECT_EQ(taken, row.taken);
      EXPECT_EQ(static_cast<int>(cases.size()) - taken, row.not_taken);
      EXPECT_EQ(positive, row.positive);
      EXPECT_EQ(negative, row.negative);
    }
}

TEST(BranchFamily, OperandsFollowTheValueRules) {
  for (const Row& row : rows())
    for (const uint32_t seed : kSeeds) {
      SCOPED_TRACE(std::string(row.name) + " seed " + std::to_string(seed));
      for (const Case& c : draw(row, seed)) {
        const bool x_zero = c.group == Group::first_zero || c.group == Group::both_zero || c.group == Group::zero;
        const bool y_zero = c.group == Group::second_zero || c.group == Group::both_zero ||
                            !branches::two_operands(row.op);
        EXPECT_TRUE(x_zero ? c.x == 0 : test::lui_ori_value(c.x)) << std::hex << c.x;
        EXPECT_TRUE(y_zero ? c.y == 0 : test::lui_ori_value(c.y)) << std::hex << c.y;
        if (c.group == Group::equal) {
          EXPECT_EQ(c.x, c.y);
        }
        if (c.group == Group::unequal) {
          EXPECT_GE(std::popcount(c.x ^ c.y), 10) << std::hex << c.x << " " << c.y;
        }
        EXPECT_EQ(c.taken, decides(row.op, c.x, c.y)) << std::hex << c.x << " " << c.y;
        EXPECT_EQ(c.expected_first(), c.taken ? c.a : 0u);
        EXPECT_EQ(c.expected_second(), c.taken ? c.b : 0u);
      }
    }
}

TEST(BranchFamily, MarkersAreDistinctAndOnlyBgezHasALuiOnlyOne) {
  for (const Row& row : rows())
    for (const uint32_t seed : kSeeds) {
      SCOPED_TRACE(std::string(row.name) + " seed " + std::to_string(seed));
      const std::vector<Case> cases = draw(row, seed);
      std::set<uint32_t> seen;
      int lui_only = 0;
      for (const Case& c : cases) {
        for (const uint32_t marker : {c.a, c.b}) {
          EXPECT_TRUE(seen.insert(marker).second) << "repeated marker " << std::hex << marker;
          const bool upper_only = marker > 0xFFFF && (marker & 0xFFFF) == 0;
          EXPECT_TRUE(test::lui_ori_value(marker) || upper_only) << std::hex << marker;
          if (upper_only) {
            ++lui_only;
            EXPECT_EQ(marker, c.a) << "the lui-only marker is an A";
            EXPECT_EQ(c.group, Group::random);
          }
        }
      }
      EXPECT_EQ(lui_only, row.op == Op::bgez ? 1 : 0);
    }
}

TEST(BranchFamily, TellingRowsDecideAsTheArchitectureSays) {
  const struct {
    Op op;
    uint32_t x, y;
    bool taken;
  } rows[] = {
      {Op::beq, 0x52919078, 0x81468400, false}, {Op::beq, 0x62FB4A80, 0x62FB4A80, true},
      {Op::beq, 0, 0, true},                    {Op::beq, 0x10000, 0, false},
      {Op::bne, 0xBCAABD27, 0x82A77A9D, true},  {Op::bne, 0x9169D4E6, 0, true},
      {Op::bne, 0, 0, false},                   {Op::bne, 0, 0x1234, true},
      {Op::bgez, 0xDD4F1370, 0, false},         {Op::bgez, 0xCE0B3180, 0, false},
      {Op::bgez, 0, 0, true},                   {Op::bgtz, 0x7B4858F8, 0, true},
      {Op::bgtz, 0, 0, false},                  {Op::blez, 0x95B9206F, 0, true},
      {Op::blez, 0, 0, true},                   {Op::bltz, 0x9E0D7D08, 0, true},
      {Op::bltz, 0, 0, false},
  };
  for (const auto& r : rows) EXPECT_EQ(branches::condition(r.op, r.x, r.y), r.taken) << std::hex << r.x << " " << r.y;
}

// The case template written out step by step.
test::Listing branch_template(Op op, const Case& c, uint32_t inst_error) {
  const std::string br(isa::info(op).mnemonic);
  const bool pair = op == Op::beq || op == Op::bne, filler = op != Op::bltz;
  test::Listing l;
  l.outside("inst_error", inst_error);
  if (pair) l.line("lui $v0, 0x0").line("lui $v1, 0x0");
  else l.line("addiu $v0, $zero, 0x0").line("addiu $v1, $zero, 0x0");
  l.line("beq $zero, $zero, @L2").nop();
  l.label("L1").li(v0, c.a);
  l.line(br + (pair ? " $t1, $t0, @L3" : " $t0, @L3")).nop();
  l.line("beq $zero, $zero, @L4").nop();
  if (filler) l.nop();
  l.label("L2").li(t0, c.x);
  if (pair) l.li(t1, c.y);
  l.line(br + (pair ? " $t0, $t1, @L1" : " $t0, @L1")).nop();
  l.line("beq $zero, $zero, @L4").nop();
  if (filler) l.nop();
  l.label("L3").li(v1, c.b);
  l.label("L4").li(s5, c.taken ? c.a : 0).li(s6, c.taken ? c.b : 0);
  l.line("bne $v0, $s5, @inst_error").nop();
  l.line("bne $v1, $s6, @inst_error").nop();
  return l;
}

TEST(BranchFamily, EveryCaseInTheImageFollowsTheTemplate) {
  for (const Row& row : rows()) {
    EXPECT_EQ(test::routine_named(test::default_image(), row.name).cases, row.taken + row.not_taken);
    const auto expected = [&](const Case& c, uint32_t inst_error) { return branch_template(row.op, c, inst_error); };
    test::expect_cases_follow(test::default_image(), row.name, draw(row, kDefaultSeed), expected);
  }
}

int load_length(uint32_t v) { return test::lui_ori_value(v) ? 2 : 1; }

// The offset fields the layout gives when every load takes two
// instructions, measured on the emitted branches; each one-instruction load
// inside a branch's span brings its offset one closer to zero.
TEST(BranchFamily, BranchOffsetsMatchTheLayout) {
  const Image& image = test::default_image();
  for (const Row& row : rows()) {
    SCOPED_TRACE(row.name);
    const bool pair = branches::two_operands(row.op), bltz = row.op == Op::bltz;
    // b L2, second execution, b L4 (from L1), branch under test, b L4 (from L2)
    const int full[5] = {bltz ? 7 : 8, pair ? 13 : bltz ? 9 : 11, pair ? 13 : bltz ? 9 : 11,
                         pair ? -12 : bltz ? -9 : -10, bltz ? 3 : 4};
    const std::vector<Case> drawn = draw(row, kDefaultSeed);
    const std::vector<test::EmittedCase> emitted = test::emitted_cases(image, test::routine_named(image, row.name));
    int full_length_cases = 0;
    for (size_t i = 0; i < drawn.size(); ++i) {
      const Case& c = drawn[i];
      const int short_a = 2 - load_length(c.a), short_b = 2 - load_length(c.b);
      const int short_xy = (2 - load_length(c.x)) + (pair ? 2 - load_length(c.y) : 0);
      const int shortening[5] = {short_a, short_xy, short_xy + short_b, -(short_a + short_xy), short_b};
      full_length_cases += short_a + short_b + short_xy == 0;
      const std::vector<size_t> branches = emitted[i].branch_indices();
      ASSERT_EQ(branches.size(), 7u) << "case " << i + 1;
      for (int k = 0; k < 5; ++k)
        EXPECT_EQ(emitted[i].branch_offset(branches[k]), full[k] - shortening[k])
            << "case " << i + 1 << " branch " << k;
    }
    EXPECT_GE(full_length_cases, 80) << "the unshortened figures were measured";
  }
}

}  // namespace
}  // namespace r3k
