// A linking routine that goes wrong still returns to the driver, thanks to
// the $ra restore on its wrong path. Which routines notice each delay-slot
// fault is in the fault catalog (tests/faults).
#include <gtest/gtest.h>

#include <set>

#include "families/case_listing.h"
#include "families/delay_slot_text.h"
#include "image/build.h"
#include "sim/report.h"
#include "sim/semantics.h"
#include "support/image_run.h"

namespace r3k {
namespace {

using isa::Op;
using sim::Cpu;
using sim::Decoded;
using sim::Fault;

// bltzal that never branches (the catalog's bltzal-never-taken fails n41
// and n56 and the run goes on), with the restore of n56's first case's
// wrong-path exit replaced by a nop: the routine's jr $ra goes back to the link, the
// b inst_error of its own first case, and it reports again and again and
// never reaches the next routine. So such faults do take the
// wrong-path exit, and the restore there is what saves the run.
TEST(DelaySlotFaults, WithoutTheWrongPathRestoreTheRunIsLost) {
  Image image = test::default_image();
  const RoutineInfo& n56 = test::routine_named(image, "n56_bltzal_ds_test");
  const test::EmittedCase first = test::emitted_cases(image, n56).front();
  const std::vector<size_t> exits = first.indices_of(Op::beq);  // b inst_error
  ASSERT_EQ(exits.size(), 1u);
  const size_t slot = (first.address_of(exits[0] + 1) - image.text_base) / 4;
  ASSERT_EQ(isa::disassemble(image.text.at(slot), 0), "addu $ra, $zero, $s7");
  image.text[slot] = 0;
  const Fault never_branches{Op::bltzal, [](Cpu& c, const Decoded&) { c.set_reg(isa::ra, c.link_address()); },
                             sim::PipelineEffect::none};
  const test::ImageRun run = test::run_image(image, never_branches);
  EXPECT_EQ(run.result.stop, sim::StopReason::InstructionLimit);
  // n41 failed before: 54 passes when n56 first reports, then n56 again
  // and again, never n57.
  ASSERT_GT(run.display_words.size(), 57u);
  for (size_t i = 55; i < 58; ++i) EXPECT_EQ(run.display_words[i], 0x38000036u) << i;
}

TEST(DelaySlotFaults, ImagePassesWithOtherSeeds) {
  EXPECT_TRUE(test::run_default_image().passed());
  for (const uint32_t seed : {2u, 0xDE1A7u, 0xFFFFFFFFu}) EXPECT_TRUE(test::run_image(build_image(seed)).passed()) << seed;
}

}  // namespace
}  // namespace r3k
