// The HI/LO transfer routines: the drawn words and the code the cases become.
#include <gtest/gtest.h>

#include <array>
#include <set>

#include "common/error.h"
#include "families/hilo_family_text.h"
#include "families/hilo_moves.h"
#include "image/run_order.h"
#include "support/image_run.h"

namespace r3k::test {
namespace {

using isa::Op;

struct Routine {
  int number;
  Op op;
  int cases;  // the zero case included
  const char* write;
  const char* read;
};
constexpr std::array<Routine, 4> kRoutines = {{
    {48, Op::mfhi, 115, "mthi", "mfhi"},
    {49, Op::mflo, 115, "mtlo", "mflo"},
    {50, Op::mthi, 107, "mthi", "mfhi"},
    {51, Op::mtlo, 60, "mtlo", "mflo"},
}};
constexpr std::array<uint32_t, 5> kSeeds = {kDefaultSeed, 1, 2, 0xDEADBEEF, 0xFFFFFFFF};

std::vector<uint32_t> drawn(const Routine& routine, uint32_t seed = kDefaultSeed) {
  Random random(seed, static_cast<uint32_t>(routine.number));
  return hilo_moves::draw_cases(routine.op, random);
}

TEST(HiLoMoveCases, CountsWithTheZeroCaseLast) {
  for (const Routine& routine : kRoutines) {
    SCOPED_TRACE(isa::info(routine.op).mnemonic);
    ASSERT_EQ(run_order()[routine.number - 1].op, routine.op);
    const auto words = drawn(routine);
    ASSERT_EQ(static_cast<int>(words.size()), routine.cases);
    EXPECT_EQ(words.back(), 0u);
    EXPECT_EQ(routine_numbered(test::default_image(), routine.number).cases, routine.cases);
  }
  EXPECT_THROW(hilo_moves::member(Op::mult), std::logic_error);
}

TEST(HiLoMoveCases, WordsNeverRepeatWithinOrAcrossRoutines) {
  for (const uint32_t seed : kSeeds) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::set<uint32_t> seen;
    for (const Routine& routine : kRoutines) {
      const auto words = drawn(routine, seed);
      for (size_t i = 0; i + 1 < words.size(); ++i) {
        EXPECT_NE(words[i], 0u) << isa::info(routine.op).mnemonic << " case " << i + 1;
        EXPECT_TRUE(seen.insert(words[i]).second) << std::hex << "repeated " << words[i];
      }
    }
  }
}

// Keeping to a quarter of the word space must not bend the distribution of
// random words: low bits stay rare (bit 0 in one word in eight, bit 1 in one
// in four), the sign bit is set in half.
TEST(HiLoMoveCases, AQuarterKeepsTheDistributionOfRandomWords) {
  Random random(kDefaultSeed, 1000);
  std::array<std::array<int, 3>, 4> bits{};  // per quarter: bit 0, bit 1, bit 31
  std::array<int, 4> counts{};
  for (int i = 0; i < 80000; ++i) {
    const uint32_t word = random.word();
    if (word == 0) continue;
    const unsigned quarter = hilo_moves::word_class(word);
    ++counts[quarter];
    bits[quarter][0] += word & 1;
    bits[quarter][1] += word >> 1 & 1;
    bits[quarter][2] += word >> 31;
  }
  for (size_t q = 0; q < 4; ++q) {
    SCOPED_TRACE("quarter " + std::to_string(q));
    EXPECT_NEAR(counts[q] / 80000.0, 0.25, 0.01);
    EXPECT_NEAR(double(bits[q][0]) / counts[q], 1.0 / 8, 0.01);
    EXPECT_NEAR(double(bits[q][1]) / counts[q], 1.0 / 4, 0.015);
    EXPECT_NEAR(double(bits[q][2]) / counts[q], 1.0 / 2, 0.015);
  }
}

TEST(HiLoMoveImage, EveryCaseFollowsTheTemplate) {
  const Image& image = test::default_image();
  for (const Routine& routine : kRoutines) {
    const RoutineInfo& info = routine_numbered(image, routine.number);
    const std::string fail = hex_text(info.inst_error);
    expect_body_matches(image, info, drawn(routine), [&](uint32_t word) {
      Lines lines = constant_load_text("$t0", word);
      append(lines, {std::string(routine.write) + " $t0", std::string(routine.read) + " $v0"});
      append(lines, constant_load_text("$s5", word));
      append(lines, {"bne $v0, $s5, " + fail, "nop"});
      return lines;
    });
  }
}

// MIPS-I leaves HI and LO undefined when a move to them follows a read within
// two instructions; the template keeps four between.
TEST(HiLoMoveImage, NoMoveCloseAfterARead) {
  for (const Routine& routine : kRoutines) {
    const RoutineInfo& info = routine_numbered(test::default_image(), routine.number);
    EXPECT_GE(fewest_instructions_from_read_to_write(test::default_image(), info), 4) << info.name;
  }
}

}  // namespace
}  // namespace r3k::test
