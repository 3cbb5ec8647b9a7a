// The immediate ALU routines: the drawn operand lists, their expected values,
// and the code the cases become.
#include <gtest/gtest.h>

#include <array>
#include <map>
#include <set>
#include <string>

#include "common/error.h"
#include "families/case_listing.h"
#include "families/immediate_alu.h"
#include "image/run_order.h"
#include "support/image_run.h"

namespace r3k::test {
namespace {

using immediate_alu::Case;
using isa::Op;
using Group = immediate_alu::Group;

struct Routine {
  int number;
  Op op;
  std::array<int, 4> counts;
};
constexpr std::array<Routine, 7> kRoutines = {{
    {3, Op::addiu, {107, 12, 3, 1}},
    {9, Op::slti, {200, 50, 50, 1}},
    {10, Op::sltiu, {200, 50, 50, 1}},
    {22, Op::addi, {200, 50, 50, 1}},
    {27, Op::andi, {200, 50, 50, 1}},
    {29, Op::ori, {200, 50, 50, 1}},
    {31, Op::xori, {200, 50, 50, 1}},
}};
constexpr std::array<uint32_t, 5> kSeeds = {kDefaultSeed, 1, 2, 0xDEADBEEF, 0xFFFFFFFF};

std::string name_of(Op op) { return std::string(isa::info(op).mnemonic); }

std::vector<Case> drawn(const Routine& routine, uint32_t seed = kDefaultSeed) {
  Random random(seed, static_cast<uint32_t>(routine.number));
  return immediate_alu::draw_cases(routine.op, random);
}

bool zero_extends(Op op) { return op == Op::andi || op == Op::ori || op == Op::xori; }

// The widened immediate, as a 64-bit number in the instruction's own view:
// signed for the arithmetic and slti, the sign-extended bits read unsigned
// for sltiu, the bare field for the logical ones.
int64_t wide(Op op, uint16_t field) {
  if (zero_extends(op)) return field;
  const int64_t value = field < 0x8000 ? field : int64_t(field) - 0x10000;
  return op == Op::sltiu && value < 0 ? value + 0x100000000 : value;
}

// The result again, in 64-bit arithmetic; `exact` is the unwrapped sum.
uint32_t recomputed(Op op, uint32_t x, uint16_t field, int64_t& exact) {
  const int64_t signed_x = int32_t(x), imm = wide(op, field);
  exact = signed_x + imm;
  switch (op) {
    case Op::addi:
    case Op::addiu: return uint32_t(uint64_t(exact) & 0xFFFFFFFF);
    case Op::slti: return signed_x < imm;
    case Op::sltiu: return int64_t(x) < imm;
    case Op::andi: return x & field;
    case Op::ori: return (x & 0xFFFF0000) + ((x & 0xFFFF) | field);
    default: return (x & 0xFFFF0000) + ((x & 0xFFFF) ^ field);  // xori
  }
}

// How far apart X and the immediate are in the comparison's own order.
int64_t distance(Op op, uint32_t x, uint16_t field) {
  const int64_t left = op == Op::slti ? int64_t(int32_t(x)) : int64_t(x);
  const int64_t gap = left - wide(op, field);
  return gap < 0 ? -gap : gap;
}

TEST(ImmediateAluValues, TellingRows) {
  struct Row {
    Op op;
    uint32_t x;
    uint16_t field;
    uint32_t expected;
  };
  const Row rows[] = {
      {Op::addi, 0x0151E5C0, 0xB945, 0x01519F05},  {Op::addi, 0, 0xAF9A, 0xFFFFAF9A},
      {Op::addiu, 0xFB263D10, 0xEC96, 0xFB2629A6}, {Op::addiu, 0xC330D268, 0x6912, 0xC3313B7A},
      {Op::slti, 0xD9D129B5, 0x0988, 1},           {Op::sltiu, 0xC254E3D8, 0xF469, 1},
      {Op::sltiu, 0x7A56334C, 0x02F5, 0},          {Op::andi, 0xEA42F8C0, 0x8D3E, 0x00008800},
      {Op::andi, 0xA1286600, 0x08AA, 0},           {Op::ori, 0x891D17A0, 0xB034, 0x891DB7B4},
      {Op::ori, 0, 0xBDE4, 0x0000BDE4},            {Op::xori, 0xB5F52460, 0xBABE, 0xB5F59EDE},
  };
  for (const Row& row : rows)
    EXPECT_EQ(immediate_alu::result(row.op, row.x, row.field), row.expected)
        << name_of(row.op) << std::hex << " " << row.x << ", " << row.field;
}

TEST(ImmediateAluValues, WideningOverflowAndStrangers) {
  EXPECT_EQ(immediate_alu::widen_immediate(Op::addi, 0x8000), 0xFFFF8000u);
  EXPECT_EQ(immediate_alu::widen_immediate(Op::sltiu, 0xFFFF), 0xFFFFFFFFu);
  EXPECT_EQ(immediate_alu::widen_immediate(Op::slti, 0x7FFF), 0x7FFFu);
  EXPECT_EQ(immediate_alu::widen_immediate(Op::ori, 0x8000), 0x8000u);
  EXPECT_EQ(immediate_alu::result(Op::sltiu, 0x7FFFFFFF, 0x8000), 1u);
  EXPECT_THROW(immediate_alu::result(Op::addi, 0x7FFFFFFF, 1), std::logic_error);
  EXPECT_THROW(immediate_alu::result(Op::addi, 0x80000000, 0xFFFF), std::logic_error);
  EXPECT_EQ(immediate_alu::result(Op::addiu, 0x7FFFFFFF, 1), 0x80000000u);
  EXPECT_EQ(immediate_alu::result(Op::addi, 0x7FFF8000, 0x7FFF), 0x7FFFFFFFu);
  EXPECT_THROW(immediate_alu::result(Op::lui, 1, 2), std::logic_error);
  EXPECT_THROW(immediate_alu::widen_immediate(Op::addu, 1), std::logic_error);
  EXPECT_THROW(immediate_alu::comparison_distance(Op::andi, 1, 2), std::logic_error);
}

TEST(ImmediateAluValues, EdgeImmediatesAreTheEdgesAndTwoEachSide) {
  std::set<uint16_t> edges;
  for (uint32_t f = 0; f <= 0xFFFF; ++f)
    if (immediate_alu::is_edge_immediate(uint16_t(f))) edges.insert(uint16_t(f));
  const std::set<uint16_t> expected = {0xFFFD, 0xFFFE, 0xFFFF, 0x0000, 0x0001, 0x0002, 0x0003,
                                       0x7FFD, 0x7FFE, 0x7FFF, 0x8000, 0x8001, 0x8002};
  EXPECT_EQ(edges, expected);
}

TEST(ImmediateAluCases, GroupsRunInOrderWithTheirCounts) {
  for (const Routine& routine : kRoutines) {
    SCOPED_TRACE(name_of(routine.op));
    ASSERT_EQ(run_order()[routine.number - 1].op, routine.op);
    const auto cases = drawn(routine);
    std::array<int, 4> counts{};
    for (size_t i = 0; i < cases.size(); ++i) {
      ++counts[static_cast<size_t>(cases[i].group) - 1];
      if (i > 0) { EXPECT_LE(cases[i - 1].group, cases[i].group) << "case " << i + 1; }
    }
    EXPECT_EQ(counts, routine.counts);
    EXPECT_EQ(default_image().routines.at(routine.number - 1).cases, static_cast<int>(cases.size()));
  }
}

TEST(ImmediateAluCases, ValueRulesHoldWhateverTheSeed) {
  for (const uint32_t seed : kSeeds)
    for (const Routine& routine : kRoutines) {
      SCOPED_TRACE(name_of(routine.op) + " seed " + std::to_string(seed));
      std::set<uint32_t> seen;
      for (const Case& c : drawn(routine, seed)) {
        const bool random_x = c.group == Group::both_random || c.group == Group::zero_immediate;
        const bool random_field = c.group == Group::both_random || c.group == Group::zero_register;
        EXPECT_EQ(c.x != 0, random_x);
        EXPECT_EQ(c.field != 0, random_field);
        if (c.x != 0) { EXPECT_TRUE(seen.insert(c.x).second) << std::hex << "repeated " << c.x; }
        if (random_field) {
          for (const int edge : {0x0001, 0x7FFF, 0x8000, 0xFFFF}) {
            const int gap = c.field - edge;
            EXPECT_GT(gap < 0 ? -gap : gap, 2) << std::hex << c.field;
          }
        }
        int64_t exact;
        EXPECT_EQ(c.expected, recomputed(routine.op, c.x, c.field, exact)) << std::hex << c.x << ", " << c.field;
        if (routine.op == Op::addi) { EXPECT_TRUE(exact >= INT32_MIN && exact <= INT32_MAX) << std::hex << c.x; }
        if ((routine.op == Op::slti || routine.op == Op::sltiu) && random_x) {
          EXPECT_GE(distance(routine.op, c.x, c.field), 0x10000) << std::hex << c.x << ", " << c.field;
        }
      }
    }
}

TEST(ImmediateAluCases, ZeroOperandGroupsFollowTheInstruction) {
  for (const Routine& routine : kRoutines)
    for (const Case& c : drawn(routine)) {
      const Op op = routine.op;
      if (c.group == Group::zero_immediate) {
        const uint32_t expected = op == Op::andi || op == Op::sltiu ? 0 : op == Op::slti ? c.x >> 31 : c.x;
        EXPECT_EQ(c.expected, expected) << name_of(op) << std::hex << " " << c.x;
      }
      if (c.group == Group::zero_register) {
        const uint32_t sign_filled = c.field | (c.field & 0x8000 ? 0xFFFF0000 : 0);
        const uint32_t expected = op == Op::andi    ? 0
                                  : op == Op::sltiu ? 1
                                  : op == Op::slti  ? uint32_t(c.field < 0x8000)
                                  : zero_extends(op) ? c.field
                                                     : sign_filled;
        EXPECT_EQ(c.expected, expected) << name_of(op) << std::hex << " " << c.field;
      }
      if (c.group == Group::both_zero) { EXPECT_EQ(c.expected, 0u); }
    }
}

// Every case of every routine, word by word, against the template written
// out from the drawn values: li $t0, X; li $v1, E; OP $v0, $t0, imm; bne $v0,
// $v1, inst_error; nop. The cases fill the body with nothing between them.
TEST(ImmediateAluImage, EveryCaseFollowsTheTemplate) {
  for (const Routine& routine : kRoutines) {
    expect_cases_follow(default_image(), default_image().routines.at(routine.number - 1).name, drawn(routine),
                        [&](const Case& c, uint32_t inst_error) {
                          const int32_t shown = zero_extends(routine.op) ? c.field : int16_t(c.field);
                          const std::string imm =
                              shown < 0 ? "-" + hex_text(uint32_t(-shown)) : hex_text(uint32_t(shown));
                          Listing listing;
                          listing.outside("inst_error", inst_error).li(isa::t0, c.x).li(isa::v1, c.expected);
                          listing.line(name_of(routine.op) + " $v0, $t0, " + imm);
                          listing.line("bne $v0, $v1, @inst_error").nop();
                          return listing;
                        });
  }
}

}  // namespace
}  // namespace r3k::test
