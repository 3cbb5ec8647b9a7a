// The multiply and divide routines: the drawn operand lists, their expected
// LO and HI, and the code the cases become.
#include <gtest/gtest.h>

#include <array>
#include <set>

#include "common/error.h"
#include "families/hilo_family_text.h"
#include "families/multiply_divide.h"
#include "image/build.h"
#include "image/run_order.h"
#include "support/image_run.h"

namespace r3k::test {
namespace {

using multiply_divide::Case;
using multiply_divide::HiLoPair;
using isa::Op;
using Kind = multiply_divide::OperandPairKind;

struct Routine {
  int number;
  Op op;
  std::array<int, 4> counts;  // random pairs, random x 0, 0 x random, 0 x 0
};
constexpr std::array<Routine, 4> kRoutines = {{
    {44, Op::div, {119, 0, 3, 0}},
    {45, Op::divu, {171, 0, 7, 0}},
    {46, Op::mult, {138, 12, 8, 1}},
    {47, Op::multu, {131, 6, 4, 1}},
}};
constexpr std::array<uint32_t, 5> kSeeds = {kDefaultSeed, 1, 2, 0xDEADBEEF, 0xFFFFFFFF};

std::vector<Case> drawn(const Routine& routine, uint32_t seed = kDefaultSeed) {
  Random random(seed, static_cast<uint32_t>(routine.number));
  return multiply_divide::draw_cases(routine.op, random);
}

bool is_divide(Op op) { return op == Op::div || op == Op::divu; }

// The product from four 16-bit partial products and explicit carries, in
// 32-bit arithmetic only; a signed product then takes off the other operand
// once for each negative operand.
HiLoPair long_multiply(uint32_t x, uint32_t y, bool is_signed) {
  const uint32_t xl = x & 0xFFFF, xh = x >> 16, yl = y & 0xFFFF, yh = y >> 16;
  const uint32_t ll = xl * yl, lh = xl * yh, hl = xh * yl, hh = xh * yh;
  const uint32_t middle = (ll >> 16) + (lh & 0xFFFF) + (hl & 0xFFFF);
  HiLoPair result{(ll & 0xFFFF) | middle << 16, hh + (lh >> 16) + (hl >> 16) + (middle >> 16)};
  if (is_signed) result.hi -= (x >> 31 ? y : 0) + (y >> 31 ? x : 0);
  return result;
}

// A quotient q and remainder r are the truncating division of x by y exactly
// when x = q*y + r, |r| < |y| and r is 0 or has x's sign.
void expect_signed_division(uint32_t x, uint32_t y, HiLoPair got) {
  const int64_t n = int32_t(x), d = int32_t(y), q = int32_t(got.lo), r = int32_t(got.hi);
  EXPECT_EQ(q * d + r, n) << std::hex << x << " / " << y;
  EXPECT_LT(r < 0 ? -r : r, d < 0 ? -d : d) << std::hex << x << " / " << y;
  EXPECT_TRUE(r == 0 || (r < 0) == (n < 0)) << std::hex << x << " / " << y;
}
void expect_unsigned_division(uint32_t x, uint32_t y, HiLoPair got) {
  EXPECT_EQ(uint64_t(got.lo) * y + got.hi, uint64_t(x)) << std::hex << x << " / " << y;
  EXPECT_LT(got.hi, y) << std::hex << x << " / " << y;
}

TEST(MultiplyDivideValues, TellingRows) {
  struct Row {
    Op op;
    uint32_t x, y, lo, hi;
  };
  const Row rows[] = {
      {Op::mult, 0x45B90738, 0xD70D64F0, 0x0A20A480, 0xF4D903BB},
      {Op::mult, 0x99A451B0, 0xBE3D9998, 0x8552B080, 0x1A4B01AE},
      {Op::mult, 0x99B80B00, 0x6C463000, 0x84100000, 0xD4BD99C9},
      {Op::multu, 0x99C9A500, 0x6C1A1B60, 0xB204E000, 0x40F0C088},
      {Op::mult, 0x530194F0, 0x00000000, 0x00000000, 0x00000000},
      {Op::div, 0x56BEDFA4, 0x20831400, 0x00000002, 0x15B8B7A4},
      {Op::div, 0xFDA5EA8A, 0xFAC1873C, 0x00000000, 0xFDA5EA8A},
      {Op::div, 0x91913C20, 0x0D7FA4A0, 0xFFFFFFF8, 0xFD8E6120},
      {Op::div, 0x6D394D48, 0xFDDFC888, 0xFFFFFFCD, 0x00CE4060},
      {Op::div, 0x00000000, 0xA7BB1EF0, 0x00000000, 0x00000000},
      {Op::divu, 0x4E775A80, 0xB26795EC, 0x00000000, 0x4E775A80},
      {Op::divu, 0xD7042938, 0x018A7078, 0x0000008B, 0x00D91810},
  };
  for (const Row& row : rows)
    EXPECT_EQ(multiply_divide::result(row.op, row.x, row.y), (HiLoPair{row.lo, row.hi}))
        << isa::info(row.op).mnemonic << std::hex << " " << row.x << ", " << row.y;
}

TEST(MultiplyDivideValues, UndefinedDivisionsAreRefused) {
  EXPECT_THROW(multiply_divide::result(Op::div, 5, 0), std::logic_error);
  EXPECT_THROW(multiply_divide::result(Op::divu, 5, 0), std::logic_error);
  EXPECT_THROW(multiply_divide::result(Op::div, 0x80000000, 0xFFFFFFFF), std::logic_error);
  EXPECT_EQ(multiply_divide::result(Op::divu, 0x80000000, 0xFFFFFFFF), (HiLoPair{0, 0x80000000}));
  EXPECT_EQ(multiply_divide::result(Op::mult, 0x80000000, 0xFFFFFFFF), (HiLoPair{0x80000000, 0}));
  EXPECT_THROW(multiply_divide::result(Op::addu, 1, 2), std::logic_error);
  EXPECT_THROW(multiply_divide::member(Op::mfhi), std::logic_error);
}

TEST(MultiplyDivideCases, KindsRunInOrderWithTheirCounts) {
  for (const Routine& routine : kRoutines) {
    SCOPED_TRACE(isa::info(routine.op).mnemonic);
    ASSERT_EQ(run_order()[routine.number - 1].op, routine.op);
    const auto cases = drawn(routine);
    std::array<int, 4> counts{};
    for (size_t i = 0; i < cases.size(); ++i) {
      ++counts[static_cast<size_t>(cases[i].kind)];
      if (i > 0) {
        EXPECT_LE(cases[i - 1].kind, cases[i].kind) << "case " << i + 1;
      }
    }
    EXPECT_EQ(counts, routine.counts);
    EXPECT_EQ(routine_numbered(test::default_image(), routine.number).cases, static_cast<int>(cases.size()));
  }
}

TEST(MultiplyDivideCases, ValueRulesHoldWhateverTheSeed) {
  for (const uint32_t seed : kSeeds)
    for (const Routine& routine : kRoutines) {
      SCOPED_TRACE(std::string(isa::info(routine.op).mnemonic) + " seed " + std::to_string(seed));
      std::set<uint32_t> seen;
      unsigned sign_combinations = 0;
      for (const Case& c : drawn(routine, seed)) {
        const bool zero_x = c.kind == Kind::zero_times_random || c.kind == Kind::zero_times_zero;
        const bool zero_y = c.kind == Kind::random_times_zero || c.kind == Kind::zero_times_zero;
        EXPECT_EQ(c.x == 0, zero_x);
        EXPECT_EQ(c.y == 0, zero_y);
        if (is_divide(routine.op)) {
          EXPECT_NE(c.y, 0u);
        }
        EXPECT_FALSE(routine.op == Op::div && c.x == 0x80000000 && c.y == 0xFFFFFFFF);
        for (const uint32_t operand : {c.x, c.y})
          if (operand != 0) {
            EXPECT_TRUE(seen.insert(operand).second) << std::hex << "repeated " << operand;
          }
        if (c.kind == Kind::random_pair) sign_combinations |= 1u << ((c.x >> 31) * 2 + (c.y >> 31));
      }
      EXPECT_EQ(sign_combinations, 0b1111u);
    }
}

TEST(MultiplyDivideCases, ExpectedValuesAgreeWithIndependentArithmetic) {
  for (const uint32_t seed : kSeeds)
    for (const Routine& routine : kRoutines)
      for (const Case& c : drawn(routine, seed)) {
        switch (routine.op) {
          case Op::mult: EXPECT_EQ(c.expected, long_multiply(c.x, c.y, true)); break;
          case Op::multu: EXPECT_EQ(c.expected, long_multiply(c.x, c.y, false)); break;
          case Op::div: expect_signed_division(c.x, c.y, c.expected); break;
          default: expect_unsigned_division(c.x, c.y, c.expected); break;
        }
        if (c.x == 0 || c.y == 0) {
          EXPECT_EQ(c.expected, (HiLoPair{0, 0}));
        }
      }
}

TEST(MultiplyDivideImage, EveryCaseFollowsTheTemplate) {
  const Image& image = test::default_image();
  for (const Routine& routine : kRoutines) {
    const RoutineInfo& info = routine_numbered(image, routine.number);
    const std::string under_test = std::string(isa::info(routine.op).mnemonic) + " $t0, $t1";
    const std::string fail = hex_text(info.inst_error);
    expect_body_matches(image, info, drawn(routine), [&](const Case& c) {
      Lines lines = constant_load_text("$t0", c.x);
      append(lines, constant_load_text("$t1", c.y));
      append(lines, {under_test, "mflo $s5", "mfhi $s6"});
      append(lines, constant_load_text("$v0", c.expected.lo));
      append(lines, constant_load_text("$v1", c.expected.hi));
      append(lines, {"bne $v0, $s5, " + fail, "nop", "bne $v1, $s6, " + fail, "nop"});
      return lines;
    });
  }
}

// The text shows neither the destination field of a divide nor the unused
// fields; the words themselves must be the bare instructions.
TEST(MultiplyDivideImage, InstructionsUnderTestAreTheBareEncodings) {
  const Image& image = test::default_image();
  const std::array<uint32_t, 4> encodings = {0x0109001A, 0x0109001B, 0x01090018, 0x01090019};
  for (size_t i = 0; i < kRoutines.size(); ++i) {
    const RoutineInfo& info = routine_numbered(image, kRoutines[i].number);
    int found = 0;
    for (uint32_t at = body_begin(info); at < body_end(info); at += 4) {
      const uint32_t word = image.word_at(at);
      if (isa::decode(word) != kRoutines[i].op) continue;
      ++found;
      EXPECT_EQ(word, encodings[i]) << std::hex << at;
      EXPECT_EQ(image.word_at(at + 4), 0x0000A812u) << "mflo $s5";
      EXPECT_EQ(image.word_at(at + 8), 0x0000B010u) << "mfhi $s6";
    }
    EXPECT_EQ(found, info.cases) << info.name;
  }
}

// MIPS-I leaves HI and LO undefined when a multiply or divide follows a read
// of them within two instructions; the template keeps eight between.
TEST(MultiplyDivideImage, NoMultiplyOrDivideCloseAfterARead) {
  for (const Routine& routine : kRoutines) {
    const RoutineInfo& info = routine_numbered(test::default_image(), routine.number);
    EXPECT_GE(fewest_instructions_from_read_to_write(test::default_image(), info), 8) << info.name;
  }
}

}  // namespace
}  // namespace r3k::test
