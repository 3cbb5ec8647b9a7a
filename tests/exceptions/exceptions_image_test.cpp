// The exceptions image: it passes on the reference simulator for three
// seeds, keeps the board protocol and puts its handler at both vectors, and
// a processor broken in one of the ways it checks fails exactly the routines
// that check it, the others still reporting.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>

#include "board/board.h"
#include "board/layout.h"
#include "exceptions/exceptions.h"
#include "exceptions/trap_draws.h"
#include "faults/campaign.h"
#include "faults/catalog.h"
#include "sim/cop0.h"
#include "sim/cpu.h"
#include "sim/semantics.h"
#include "support/image_run.h"

namespace r3k {
namespace {

using isa::Op;
using sim::Cpu;
using sim::Decoded;

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

// A processor broken in one way, and the routines that must fail.
struct Broken {
  const char* what;
  std::function<sim::Fault(const faults::ImageShape&)> make;
  std::set<int> failing;
};

sim::Fault replace(Op op, sim::Semantics semantics) { return {op, std::move(semantics)}; }

// mfc0 that reads `reg` as `spoil` makes it.
sim::Fault spoilt_read(uint8_t reg, std::function<uint32_t(const Cpu&, uint32_t)> spoil) {
  return replace(Op::mfc0, [=](Cpu& c, const Decoded& d) {
    sim::execute_normal(c, d);
    if (d.rd == reg) c.set_reg(d.rt, spoil(c, c.reg(d.rt)));
  });
}

sim::Fault catalog_fault(const char* name, const faults::ImageShape& shape) { return faults::find_fault(name)->make(shape); }

std::vector<Broken> broken_processors() {
  return {
      {"add never traps", [](const auto& s) { return catalog_fault("add-never-traps", s); }, {1, 10, 11}},
      {"sub never traps", [](const auto& s) { return catalog_fault("sub-never-traps", s); }, {1}},
      {"addu traps on overflow",
       [](const auto&) {
         return replace(Op::addu, [](Cpu& c, const Decoded& d) {
           const uint32_t a = c.reg(d.rs), b = c.reg(d.rt), sum = a + b;
           if (((a ^ sum) & (b ^ sum)) >> 31) c.raise(sim::Cause::ArithmeticOverflow);
           else c.set_reg(d.rd, sum);
         });
       },
       {2}},
      {"lb raises RI (an unexpected exception)",
       [](const auto&) { return replace(Op::lb, [](Cpu& c, const Decoded&) { c.raise(sim::Cause::ReservedInstruction); }); },
       {5}},
      {"BD never set", [](const auto&) { return spoilt_read(isa::kCause, [](const Cpu&, uint32_t v) { return v & 0x7FFFFFFF; }); },
       {10}},
      {"EPC of a delay-slot exception at the slot",
       [](const auto&) {
         return spoilt_read(isa::kEpc, [](const Cpu& c, uint32_t v) { return c.cop0.cause >> 31 ? v + 4 : v; });
       },
       {10}},
      {"BadVAddr not written", [](const auto&) { return spoilt_read(isa::kBadVAddr, [](const Cpu&, uint32_t) { return 0u; }); },
       {3, 4, 6, 10, 11, 15}},
      {"rfe pops nothing", [](const auto&) { return replace(Op::rfe, [](Cpu&, const Decoded&) {}); }, {12, 15}},
      {"mtc0 never lets an interrupt in",
       [](const auto&) { return replace(Op::mtc0, [](Cpu& c, const Decoded& d) { c.cop0.write(d.rd, c.reg(d.rt)); }); },
       {13}},
      {"syscall raises Bp", [](const auto&) { return replace(Op::syscall, [](Cpu& c, const Decoded&) { c.raise(sim::Cause::Breakpoint); }); },
       {7, 10, 11, 12, 14}},
  };
}

TEST(ExceptionsImage, EachBrokenProcessorFailsTheRoutinesThatCheckIt) {
  for (uint32_t seed : kSeeds) {
    const Image image = exceptions::build(seed);
    const faults::ImageShape shape = faults::shape_of(image, ImageKind::exceptions);
    for (const Broken& broken : broken_processors()) {
      SCOPED_TRACE(std::string(broken.what) + ", seed " + std::to_string(seed));
      const test::ImageRun run = test::run_image(image, broken.make(shape));
      ASSERT_TRUE(run.finished());
      EXPECT_EQ(run.failed, broken.failing);
      EXPECT_EQ(run.display_words, board::display_words_when_failing(broken.failing, kRoutines));
    }
  }
}

}  // namespace
}  // namespace r3k
