// The exceptions image: it passes on the reference simulator for three
// seeds, keeps the board protocol and puts its handler at both vectors, and
// its drawn values keep their rules. (The catalog's exception faults, each
// failing exactly the routines that check it, are in tests/faults/.)
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "board/board.h"
#include "board/layout.h"
#include "exceptions/exceptions.h"
#include "exceptions/trap_draws.h"
#include "support/image_run.h"

namespace r3k {
namespace {

using isa::Op;

constexpr uint32_t kSeeds[] = {kDefaultSeed, 2, 0xDE1A7};
constexpr int kRoutines = 15;

TEST(ExceptionsImage, PassesOnTheReferenceSimulatorForThreeSeeds) {
  for (uint32_t seed : kSeeds) {
    SCOPED_TRACE(seed);
    const Image image = exceptions::build(seed);
    ASSERT_EQ(image.routines.size(), static_cast<size_t>(kRoutines));
    const test::ImageRun run = test::run_image(image);
    ASSERT_TRUE(run.finished());
    EXPECT_TRUE(run.failed.empty());
    EXPECT_EQ(run.display_words, board::display_words_when_failing({}, kRoutines));
    EXPECT_EQ(run.result.board.status_lamp_a, board::kPassLamps.status_a);
    EXPECT_EQ(run.result.quick_run_flag_reads, static_cast<uint64_t>(kRoutines));
    // Every trapping case traps once, and the handler took them all.
    EXPECT_GE(run.result.exceptions_taken, 200u);
  }
}

TEST(ExceptionsImage, KeepsTheBoardProtocolAndAnswersAtBothVectors) {
  const Image& main_image = test::default_image();
  const Image image = exceptions::build();
  // Up to the R3000's vector, the main image's words.
  const size_t shared = (layout::kBootVector - layout::kResetVector) / 4;
  EXPECT_TRUE(std::equal(image.text.begin(), image.text.begin() + shared, main_image.text.begin()));
  EXPECT_EQ(image.start_labels.at(0).name, "test_finish");
  EXPECT_EQ(image.word_at(layout::kBootVector), isa::encode(Op::addiu, {.rt = isa::k1, .imm = 0x180}));
  EXPECT_EQ(isa::decode(image.word_at(layout::kExceptionLoop)), Op::j);
  EXPECT_EQ(isa::fields_of(image.word_at(layout::kExceptionLoop)).target << 2, layout::kExceptionHandler & 0x0FFFFFFF);
  EXPECT_FALSE(sim::Machine(image.boot_bytes()).exceptions_stop_run());
  EXPECT_TRUE(sim::Machine(main_image.boot_bytes()).exceptions_stop_run());
  EXPECT_TRUE(sim::Machine(test::supplement_image().boot_bytes()).exceptions_stop_run());
}

// The draws keep their rules: overflow is what 64-bit arithmetic says, the
// unsigned forms never trap, reserved words decode to no row.
TEST(ExceptionsDraws, OverflowAndReservedWordsAreRightOverSeeds) {
  for (uint32_t seed : kSeeds) {
    Random random(seed, 1);
    size_t trapping = 0;
    for (const exceptions::ArithmeticCase& c : exceptions::draw_overflow_cases(random, true)) {
      const int64_t b = c.op == Op::addi ? int16_t(c.b) : int64_t(int32_t(c.b));
      const int64_t exact = c.op == Op::sub ? int64_t(int32_t(c.a)) - b : int64_t(int32_t(c.a)) + b;
      EXPECT_EQ(c.traps, exact < INT32_MIN || exact > INT32_MAX) << c.a << " " << c.b;
      trapping += c.traps;
    }
    EXPECT_GE(trapping, 15u);
    for (const exceptions::ArithmeticCase& c : exceptions::draw_overflow_cases(random, false)) EXPECT_FALSE(c.traps);
    const auto reserved = exceptions::reserved_words(random);
    EXPECT_GE(reserved.size(), 40u);
    for (const exceptions::ReservedWord& w : reserved) EXPECT_EQ(isa::decode(w.word), Op::invalid) << w.word;
  }
}

}  // namespace
}  // namespace r3k
