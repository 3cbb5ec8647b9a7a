// ALU faults whose runs end in the exception loop, and where: the catalog
// (tests/faults) holds every ALU fault and checks the routines each fails;
// these pin what it does not say, the place the run stops.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "image/build.h"
#include "board/layout.h"
#include "sim/report.h"
#include "sim/semantics.h"
#include "support/image_run.h"
#include "board/board.h"

namespace r3k::test {
namespace {

using isa::Op;
using sim::Cpu;
using sim::Decoded;

uint32_t rs(const Cpu& c, const Decoded& d) { return c.reg(d.rs); }
uint32_t rt(const Cpu& c, const Decoded& d) { return c.reg(d.rt); }

// Routines that fail on the fault-free processor, so that a fault row still
// shows exactly what its own fault adds (the image test below wants none).
const std::set<int>& unfaulted_failures() {
  static const std::set<int> failures = run_default_image().failed;
  return failures;
}

std::vector<uint32_t> first_display_words(const std::set<int>& failing, size_t count) {
  std::vector<uint32_t> words = expected_display_words(failing);
  words.resize(count);
  return words;
}

bool in_routine(uint32_t address, int number) {
  const RoutineInfo& routine = default_image().routines.at(number - 1);
  return address >= routine.address && address < routine.address + routine.size;
}

TEST(AluFaults, UnfaultedImagePasses) { EXPECT_TRUE(run_default_image().passed()); }

TEST(AluFaults, AluRoutinesPassWithOtherSeeds) {
  for (const uint32_t seed : {1u, 0xDEADBEEFu, 0xFFFFFFFFu}) {
    const ImageRun run = run_image(build_image(seed));
    ASSERT_TRUE(run.finished()) << seed;
    EXPECT_TRUE(run.failed.empty()) << seed;
  }
}

// The carry left over from the addu routine's failing case goes into the
// address of the next long-form store, which then traps.
TEST(AluFaults, AdduKeepingItsCarryFailsAdduThenTrapsLater) {
  const sim::Fault fault{Op::addu, [carry = uint32_t(0)](Cpu& c, const Decoded& d) mutable {
                           const uint64_t sum = uint64_t(rs(c, d)) + rt(c, d) + carry;
                           carry = uint32_t(sum >> 32);
                           c.set_reg(d.rd, uint32_t(sum));
                         }};
  const ImageRun run = run_default_image(fault);
  ASSERT_FALSE(run.display_words.empty());
  EXPECT_FALSE(run.passed());
  EXPECT_EQ(run.failed.count(2), 1u);
  EXPECT_EQ(run.display_words, first_display_words({2}, run.display_words.size()));
}

// An add whose overflow test reads the carry out of bit 31 traps on the first
// case that adds two negative numbers or carries, so the run stops in the
// exception loop inside the add routine, before its display word.
TEST(AluFaults, AddTrappingOnACarryStopsInTheAddRoutine) {
  const sim::Fault fault{Op::add, [](Cpu& c, const Decoded& d) {
                           if ((uint64_t(rs(c, d)) + rt(c, d)) >> 32) c.raise(sim::Cause::ArithmeticOverflow);
                           else c.set_reg(d.rd, rs(c, d) + rt(c, d));
                         }};
  const ImageRun run = run_default_image(fault);
  EXPECT_EQ(run.result.stop, sim::StopReason::ExceptionLoop);
  ASSERT_TRUE(run.result.exception.has_value());
  EXPECT_EQ(run.result.exception->cause, sim::Cause::ArithmeticOverflow);
  EXPECT_TRUE(in_routine(run.result.exception->pc, 21));
  std::set<int> earlier;
  for (int n : unfaulted_failures())
    if (n < 21) earlier.insert(n);
  EXPECT_EQ(run.display_words, first_display_words(earlier, 20));
}

}  // namespace
}  // namespace r3k::test
