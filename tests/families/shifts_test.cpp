// The six shift routines: the drawn words and amounts, their expected
// results, and the code each case becomes.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "common/error.h"
#include "families/case_listing.h"
#include "families/shifts.h"
#include "image/build.h"
#include "image/run_order.h"
#include "support/image_run.h"

namespace r3k {
namespace {

using shifts::Case;
using isa::Op;
using Group = shifts::Group;
using Lines = std::vector<std::string>;
using test::constant_load_text;
using test::hex_text;

struct Routine {
  int number;
  Op op;
};
constexpr std::array<Routine, 6> kRoutines = {{
    {11, Op::sll}, {32, Op::sllv}, {33, Op::sra}, {34, Op::srav}, {35, Op::srl}, {36, Op::srlv},
}};
constexpr std::array<uint32_t, 5> kSeeds = {kDefaultSeed, 1, 2, 0xDEADBEEF, 0xFFFFFFFF};

std::vector<Case> drawn(const Routine& routine, uint32_t seed = kDefaultSeed) {
  Random random(seed, static_cast<uint32_t>(routine.number));
  return shifts::draw_cases(routine.op, random);
}

const char* name(Op op) { return isa::info(op).mnemonic.data(); }

bool shifts_left(Op op) { return op == Op::sll || op == Op::sllv; }
bool fills_with_sign(Op op) { return op == Op::sra || op == Op::srav; }

// One result bit at a time: bit i comes from bit i - amount (left) or
// i + amount (right) of the word, or is the fill.
uint32_t shift_bit_by_bit(Op op, uint32_t word, unsigned amount) {
  const uint32_t fill = fills_with_sign(op) ? word >> 31 : 0;
  uint32_t result = 0;
  for (int i = 0; i < 32; ++i) {
    const int from = shifts_left(op) ? i - int(amount) : i + int(amount);
    const uint32_t bit = from < 0 ? 0 : from > 31 ? fill : (word >> from) & 1;
    result |= bit << i;
  }
  return result;
}

TEST(ShiftValues, TellingRows) {
  struct Row {
    Op op;
    uint32_t word;
    unsigned amount;
    uint32_t expected;
  };
  const Row rows[] = {
      {Op::sll, 0x47994E5E, 1, 0x8F329CBC},  {Op::sll, 0x468E6B1C, 31, 0x00000000},
      {Op::sllv, 0x79DBDB34, 7, 0xEDED9A00}, {Op::sllv, 0x951CA218, 28, 0x80000000},
      {Op::srl, 0x8E8FFCE0, 2, 0x23A3FF38},  {Op::srl, 0xE7BFC848, 31, 0x00000001},
      {Op::srlv, 0x83196DB0, 24, 0x00000083}, {Op::sra, 0x7E0083F0, 9, 0x003F0041},
      {Op::sra, 0xC04EFCCC, 16, 0xFFFFC04E}, {Op::sra, 0xF83242C0, 28, 0xFFFFFFFF},
      {Op::srav, 0xAC603472, 24, 0xFFFFFFAC}, {Op::srav, 0x3E594300, 3, 0x07CB2860},
  };
  for (const Row& row : rows)
    EXPECT_EQ(shifts::result(row.op, row.word, row.amount), row.expected)
        << name(row.op) << std::hex << " 0x" << row.word << std::dec << ", " << row.amount;
  for (const Routine& routine : kRoutines) {
    EXPECT_EQ(shifts::result(routine.op, 0x80000001, 0), 0x80000001u) << name(routine.op);
    EXPECT_EQ(shifts::result(routine.op, 0, 17), 0u) << name(routine.op);
  }
}

TEST(ShiftValues, AmountsAboveThirtyOneAndOtherInstructionsAreRefused) {
  EXPECT_THROW(shifts::result(Op::sll, 1, 32), std::logic_error);
  EXPECT_THROW(shifts::result(Op::srav, 1, 0xFFFFFFFF), std::logic_error);
  EXPECT_THROW(shifts::result(Op::addu, 1, 2), std::logic_error);
  EXPECT_THROW(shifts::member(Op::lui), std::logic_error);
}

TEST(ShiftCases, GroupsRunInOrderWithTheirCounts) {
  for (const Routine& routine : kRoutines) {
    SCOPED_TRACE(name(routine.op));
    ASSERT_EQ(run_order()[routine.number - 1].op, routine.op);
    const std::vector<Case> cases = drawn(routine);
    std::array<int, 5> counts{};
    for (size_t i = 0; i < cases.size(); ++i) {
      ++counts[static_cast<size_t>(cases[i].group)];
      if (i > 0) {
        EXPECT_LE(cases[i - 1].group, cases[i].group) << "case " << i + 1;
      }
    }
    EXPECT_EQ(counts, (std::array<int, 5>{0, 200, 50, 50, 1}));
    EXPECT_EQ(test::default_image().routines.at(routine.number - 1).cases, 301);
  }
}

TEST(ShiftCases, ValueRulesHoldWhateverTheSeed) {
  for (const uint32_t seed : kSeeds)
    for (const Routine& routine : kRoutines) {
      SCOPED_TRACE(std::string(name(routine.op)) + " seed " + std::to_string(seed));
      std::set<uint32_t> words;
      std::array<int, 32> first_group_amounts{};
      int zero_amounts_third_group = 0;
      for (const Case& c : drawn(routine, seed)) {
        const bool random_word = c.group == Group::both_random || c.group == Group::amount_zero;
        EXPECT_EQ(c.word != 0, random_word) << std::hex << c.word;
        if (c.word != 0) {
          EXPECT_TRUE(words.insert(c.word).second) << std::hex << "repeated 0x" << c.word;
        }
        ASSERT_LT(c.amount, 32u);
        if (c.group == Group::amount_zero || c.group == Group::both_zero) {
          EXPECT_EQ(c.amount, 0u);
        }
        if (c.group == Group::both_random) ++first_group_amounts[c.amount];
        if (c.group == Group::word_zero && c.amount == 0) ++zero_amounts_third_group;
      }
      for (unsigned amount = 0; amount < 32; ++amount)
        EXPECT_GE(first_group_amounts[amount], 1) << "amount " << amount << " missing from the first group";
      EXPECT_GE(first_group_amounts[0], 6);
      EXPECT_LE(first_group_amounts[0], 12);
      EXPECT_LE(zero_amounts_third_group, 2);
    }
}

// The random words have the low-heavy distribution of a product of three
// uniform words: bit 0 set in about one in eight, bit 31 in about half.
TEST(ShiftCases, RandomWordsAreProductsOfThreeUniformWords) {
  int words = 0, bit0 = 0, bit31 = 0;
  for (const Routine& routine : kRoutines)
    for (const Case& c : drawn(routine))
      if (c.word != 0) ++words, bit0 += c.word & 1, bit31 += c.word >> 31;
  EXPECT_EQ(words, 6 * 250);
  EXPECT_LT(bit0, words / 5);
  EXPECT_GT(bit31, words * 2 / 5);
  EXPECT_LT(bit31, words * 3 / 5);
}

TEST(ShiftCases, ExpectedValuesAgreeWithBitByBitShifting) {
  for (const uint32_t seed : kSeeds)
    for (const Routine& routine : kRoutines)
      for (const Case& c : drawn(routine, seed)) {
        EXPECT_EQ(c.expected, shift_bit_by_bit(routine.op, c.word, c.amount))
            << name(routine.op) << std::hex << " 0x" << c.word << std::dec << ", " << c.amount;
        if (c.group == Group::amount_zero) {
          EXPECT_EQ(c.expected, c.word);
        }
        if (c.word == 0) {
          EXPECT_EQ(c.expected, 0u);
        }
      }
}

Lines case_text(Op op, const Case& c, uint32_t inst_error) {
  const bool amount_in_register = op == Op::sllv || op == Op::srlv || op == Op::srav;
  Lines lines = constant_load_text("$t0", c.word);
  if (amount_in_register) lines.push_back("addiu $t1, $zero, " + hex_text(c.amount));
  for (const std::string& line : constant_load_text("$v1", c.expected)) lines.push_back(line);
  lines.push_back(std::string(name(op)) + " $v0, $t0, " + (amount_in_register ? "$t1" : std::to_string(c.amount)));
  lines.push_back("bne $v0, $v1, " + hex_text(inst_error));
  lines.push_back("nop");
  return lines;
}

// Every case is its own source line, and the words of that line are the
// template with the drawn values; the body holds nothing else.
TEST(ShiftImage, EveryCaseFollowsTheTemplateOnItsOwnLine) {
  const Image& image = test::default_image();
  for (const Routine& routine : kRoutines) {
    const RoutineInfo& info = image.routines.at(routine.number - 1);
    SCOPED_TRACE(info.name);
    const std::vector<Case> cases = drawn(routine);
    uint32_t at = info.address + 8;
    size_t shortest = 99, longest = 0;
    for (size_t i = 0; i < cases.size(); ++i) {
      const Lines expected = case_text(routine.op, cases[i], info.inst_error);
      Lines emitted;
      for (; image.lines.at((at - image.text_base) / 4).line == i + 2; at += 4)
        emitted.push_back(isa::disassemble(image.word_at(at), at));
      ASSERT_EQ(emitted, expected) << "case " << i + 1;
      shortest = std::min(shortest, emitted.size()), longest = std::max(longest, emitted.size());
    }
    EXPECT_EQ(at, info.inst_error - 12) << "the exit follows the last case";
    const bool amount_in_register = shifts::member(routine.op).amount_in_register;
    EXPECT_EQ(shortest, amount_in_register ? 6u : 5u);
    EXPECT_EQ(longest, amount_in_register ? 8u : 7u);
  }
}

TEST(ShiftImage, WholeImagePassesWithOtherSeeds) {
  EXPECT_TRUE(test::run_default_image().passed());
  for (const uint32_t seed : {1u, 0xDEADBEEFu}) {
    const test::ImageRun run = test::run_image(build_image(seed));
    EXPECT_TRUE(run.passed()) << "seed " << seed;
    for (const Routine& routine : kRoutines) EXPECT_FALSE(run.failed.count(routine.number)) << "seed " << seed;
  }
}

}  // namespace
}  // namespace r3k
