// The register-register ALU routines: the drawn operand lists, their expected
// values, and the code the cases become.
#include <gtest/gtest.h>

#include <array>
#include <map>
#include <string>

#include "common/error.h"
#include "families/case_listing.h"
#include "families/register_alu.h"
#include "image/run_order.h"
#include "support/image_run.h"

namespace r3k::test {
namespace {

using register_alu::Case;
using isa::Op;
using Group = register_alu::Group;

struct Routine {
  int number;
  Op op;
};
constexpr std::array<Routine, 10> kRoutines = {{
    {2, Op::addu}, {7, Op::or_}, {8, Op::slt}, {21, Op::add}, {23, Op::sub},
    {24, Op::subu}, {25, Op::sltu}, {26, Op::and_}, {28, Op::nor}, {30, Op::xor_},
}};
constexpr std::array<uint32_t, 5> kSeeds = {kDefaultSeed, 1, 2, 0xDEADBEEF, 0xFFFFFFFF};

std::string name_of(Op op) { return std::string(isa::info(op).mnemonic); }

std::vector<Case> drawn(Op op, int stream, uint32_t seed = kDefaultSeed) {
  Random random(seed, static_cast<uint32_t>(stream));
  return register_alu::draw_cases(op, random);
}
std::vector<Case> drawn(const Routine& routine, uint32_t seed = kDefaultSeed) {
  return drawn(routine.op, routine.number, seed);
}

bool traps(Op op) { return op == Op::add || op == Op::sub; }

// The results again, in 64-bit arithmetic and bit by bit; `fits` tells
// whether a signed sum or difference lies in the 32-bit range.
uint32_t recomputed(Op op, uint32_t a, uint32_t b, bool& fits) {
  const int64_t sa = int32_t(a), sb = int32_t(b);
  const int64_t exact = op == Op::add ? sa + sb : sa - sb;
  fits = exact >= INT32_MIN && exact <= INT32_MAX;
  uint32_t bits = 0;
  for (int i = 0; i < 32; ++i) {
    const bool x = a >> i & 1, y = b >> i & 1;
    const bool bit = op == Op::and_ ? x && y : op == Op::or_ ? x || y : op == Op::xor_ ? x != y : !(x || y);
    bits |= uint32_t(bit) << i;
  }
  switch (op) {
    case Op::add:
    case Op::sub: return uint32_t(exact & 0xFFFFFFFF);
    case Op::addu: return uint32_t((uint64_t(a) + uint64_t(b)) % 0x100000000);
    case Op::subu: return uint32_t((uint64_t(a) + 0x100000000 - b) % 0x100000000);
    case Op::slt: return sa < sb;
    case Op::sltu: return int64_t(a) - int64_t(b) < 0;
    default: return bits;
  }
}

TEST(RegisterAluValues, TellingRows) {
  struct Row {
    Op op;
    uint32_t a, b, expected;
  };
  const Row rows[] = {
      {Op::addu, 0x1ADEF300, 0x51DD58DE, 0x6CBC4BDE}, {Op::addu, 0x9674EA60, 0xAB475792, 0x41BC41F2},
      {Op::add, 0x7336C9A6, 0x0C99B200, 0x7FD07BA6},  {Op::sub, 0xB350D720, 0x32CA1A2B, 0x8086BCF5},
      {Op::sub, 0, 0x32D53500, 0xCD2ACB00},           {Op::subu, 0xD6FC0584, 0x5F9765A8, 0x77649FDC},
      {Op::slt, 0x7245316A, 0x783506F0, 1},           {Op::slt, 0, 0xF5BE6EC0, 0},
      {Op::sltu, 0x80BCC7A2, 0, 0},                   {Op::sltu, 0, 0xD2FB1BFC, 1},
      {Op::or_, 0x50E41484, 0xAD35EA94, 0xFDF5FE94},  {Op::and_, 0x5C95951A, 0xCA00C414, 0x48008410},
      {Op::nor, 0xAD9CC00E, 0x38B7EC24, 0x424013D1},  {Op::nor, 0, 0, 0xFFFFFFFF},
      {Op::xor_, 0x1773DF80, 0xB5AF51D2, 0xA2DC8E52},
  };
  for (const Row& row : rows)
    EXPECT_EQ(register_alu::result(row.op, row.a, row.b), row.expected)
        << name_of(row.op) << std::hex << " " << row.a << ", " << row.b;
}

TEST(RegisterAluValues, OverflowsAndStrangersAreRefused) {
  EXPECT_THROW(register_alu::result(Op::add, 0x7FFFFFFF, 1), std::logic_error);
  EXPECT_THROW(register_alu::result(Op::add, 0x80000000, 0xFFFFFFFF), std::logic_error);
  EXPECT_THROW(register_alu::result(Op::sub, 0, 0x80000000), std::logic_error);
  EXPECT_THROW(register_alu::result(Op::sub, 0x7FFFFFFF, 0xFFFFFFFF), std::logic_error);
  EXPECT_EQ(register_alu::result(Op::addu, 0x7FFFFFFF, 1), 0x80000000u);
  EXPECT_EQ(register_alu::result(Op::sub, 0xFFFFFFFF, 0x7FFFFFFF), 0x80000000u);
  EXPECT_THROW(register_alu::result(Op::addiu, 1, 2), std::logic_error);
  EXPECT_THROW(register_alu::member(Op::sllv), std::logic_error);
}

TEST(RegisterAluCases, GroupsRunInOrderWithTheirCounts) {
  for (const Routine& routine : kRoutines) {
    SCOPED_TRACE(name_of(routine.op));
    ASSERT_EQ(run_order()[routine.number - 1].op, routine.op);
    const auto cases = drawn(routine);
    std::map<Group, int> counts;
    for (size_t i = 0; i < cases.size(); ++i) {
      ++counts[cases[i].group];
      if (i > 0) { EXPECT_LE(cases[i - 1].group, cases[i].group) << "case " << i + 1; }
    }
    if (traps(routine.op)) {
      // About three quarters of 200 pairs survive the overflow filter.
      EXPECT_GT(counts[Group::both_random], 120);
      EXPECT_LT(counts[Group::both_random], 180);
    } else {
      EXPECT_EQ(counts[Group::both_random], 200);
    }
    EXPECT_EQ(counts[Group::second_zero], 50);
    EXPECT_EQ(counts[Group::first_zero], 50);
    EXPECT_EQ(counts[Group::both_zero], 1);
    EXPECT_EQ(default_image().routines.at(routine.number - 1).cases, static_cast<int>(cases.size()));
  }
}

TEST(RegisterAluCases, ValueRulesHoldWhateverTheSeed) {
  for (const uint32_t seed : kSeeds)
    for (const Routine& routine : kRoutines) {
      SCOPED_TRACE(name_of(routine.op) + " seed " + std::to_string(seed));
      for (const Case& c : drawn(routine, seed)) {
        EXPECT_EQ(c.a == 0, c.group == Group::first_zero || c.group == Group::both_zero);
        EXPECT_EQ(c.b == 0, c.group == Group::second_zero || c.group == Group::both_zero);
        if (c.group == Group::both_random) { EXPECT_NE(c.a, c.b); }
        bool fits;
        EXPECT_EQ(c.expected, recomputed(routine.op, c.a, c.b, fits)) << std::hex << c.a << ", " << c.b;
        if (traps(routine.op)) { EXPECT_TRUE(fits) << std::hex << c.a << ", " << c.b; }
      }
    }
}

// add and sub keep exactly the non-overflowing pairs of the draw that every
// other member makes from the same stream, and lose nothing else.
TEST(RegisterAluCases, TrappingMembersFilterTheCommonDraw) {
  for (const uint32_t seed : kSeeds)
    for (const Op op : {Op::add, Op::sub}) {
      SCOPED_TRACE(name_of(op) + " seed " + std::to_string(seed));
      const auto trapping = drawn(op, 99, seed);
      std::vector<Case> expected;
      for (const Case& c : drawn(Op::addu, 99, seed)) {
        bool fits;
        recomputed(op, c.a, c.b, fits);
        if (c.group == Group::both_random && !fits) continue;
        expected.push_back(c);
      }
      ASSERT_EQ(trapping.size(), expected.size());
      for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(trapping[i].a, expected[i].a);
        EXPECT_EQ(trapping[i].b, expected[i].b);
      }
    }
}

TEST(RegisterAluCases, ZeroOperandGroupsFollowTheInstruction) {
  for (const Routine& routine : kRoutines)
    for (const Case& c : drawn(routine)) {
      if (c.group == Group::both_random) continue;
      const uint32_t other = c.a | c.b;  // the random operand, or 0
      const bool a_zero = c.a == 0;
      switch (routine.op) {
        case Op::add:
        case Op::addu:
        case Op::or_:
        case Op::xor_: EXPECT_EQ(c.expected, other); break;
        case Op::sub:
        case Op::subu: EXPECT_EQ(c.expected, a_zero ? 0 - other : other); break;
        case Op::and_: EXPECT_EQ(c.expected, 0u); break;
        case Op::nor: EXPECT_EQ(c.expected, ~other); break;
        case Op::slt: EXPECT_EQ(c.expected, a_zero ? uint32_t(int32_t(other) > 0) : other >> 31); break;
        default: EXPECT_EQ(c.expected, uint32_t(a_zero && other != 0)); break;  // sltu
      }
    }
}

// Every case of every routine, word by word, against the template written
// out from the drawn values: li $t0, A; li $t1, B; li $v1, E; OP $v0, $t0,
// $t1; bne $v0, $v1, inst_error; nop. The cases fill the body with nothing
// between them.
TEST(RegisterAluImage, EveryCaseFollowsTheTemplate) {
  for (const Routine& routine : kRoutines) {
    expect_cases_follow(default_image(), default_image().routines.at(routine.number - 1).name, drawn(routine),
                        [&](const Case& c, uint32_t inst_error) {
                          Listing listing;
                          listing.outside("inst_error", inst_error).li(isa::t0, c.a).li(isa::t1, c.b);
                          listing.li(isa::v1, c.expected).line(name_of(routine.op) + " $v0, $t0, $t1");
                          listing.line("bne $v0, $v1, @inst_error").nop();
                          return listing;
                        });
  }
}

}  // namespace
}  // namespace r3k::test
