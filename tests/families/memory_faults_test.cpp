// A broken lw or sw, with which every memory case writes and chases its
// neighbour words, stops the run: where, and what the board shows by then.
// The faults are the catalog's; tests/faults checks the rest of them.
#include <gtest/gtest.h>

#include <set>

#include "faults/campaign.h"
#include "faults/catalog.h"
#include "report/verdict.h"
#include "support/image_run.h"

namespace r3k::test {
namespace {

using isa::Op;

// lw and sw write and chase the neighbour words of every memory case, so a
// fault that spoils a neighbour word in RAM hands the next follow-up load a
// base that is no address at all: the run stops in the exception loop at a
// follow-up load of the first memory routine, n6_lw_test, with the display
// still showing routine 5 and the lamps never lit.
TEST(MemoryFaults, WordFaultsInRamStopTheRunAtTheFirstFollowUpLoad) {
  const Image& image = default_image();
  const faults::ImageShape shape = faults::shape_of(image, faults::ImageKind::main);
  const RoutineInfo& lw_routine = image.routines[5];
  std::vector<uint32_t> first_five = expected_display_words({});
  first_five.resize(5);
  for (const char* name : {"sw-long-form-low-base", "lw-big-endian-in-ram", "sw-big-endian-in-ram"}) {
    SCOPED_TRACE(name);
    const ImageRun run = run_default_image(faults::find_fault(name)->make(shape));
    EXPECT_EQ(run.result.stop, sim::StopReason::ExceptionLoop);
    ASSERT_TRUE(run.result.exception);
    const uint32_t pc = run.result.exception->pc;
    ASSERT_TRUE(pc >= lw_routine.address && pc < lw_routine.address + lw_routine.size) << std::hex << pc;
    const uint32_t word = image.word_at(pc);
    EXPECT_EQ(isa::decode(word), Op::lw);
    EXPECT_TRUE(isa::fields_of(word).rt >= isa::a0 && isa::fields_of(word).rt <= isa::a2) << isa::disassemble(word, pc);
    EXPECT_EQ(run.display_words, first_five);
    EXPECT_EQ(report::verdict_of(run.result), report::Verdict::None);
  }
}

}  // namespace
}  // namespace r3k::test
