// The recorder of a run without a fault does not look for registers the
// instruction table does not name (the lock-step checker and trace-diff run
// the reference that way). Over whole runs of every image, with exceptions,
// interrupts and coprocessor 0, its lines are the lines of a recorder that
// looks at every register after every instruction.
#include <gtest/gtest.h>

#include "exceptions/exceptions.h"
#include "sim/machine.h"
#include "sim/trace.h"
#include "support/image_run.h"

namespace r3k {
namespace {

struct BothRecorders {
  sim::TraceRecorder looking{sim::TraceRecorder::Run::any}, trusting{sim::TraceRecorder::Run::faultless};
  sim::TraceLines a, b;
  uint64_t lines = 0, differing = 0;
  std::string first_difference;

  void on_instruction(const sim::Cpu& cpu, const sim::Decoded& decoded) {
    looking.record(cpu, decoded, a);
    trusting.record(cpu, decoded, b);
    ++lines;
    const std::string x = sim::format_trace_record(a.instruction), y = sim::format_trace_record(b.instruction);
    if (x != y && differing++ == 0) first_difference = x + " | " + y;
  }
};

TEST(FaultlessRecorder, WritesTheLinesOfOneThatLooksAtEveryRegisterOnEveryImage) {
  const Image exceptions_image = exceptions::build();
  for (const Image* image : {&test::default_image(), &test::supplement_image(), &exceptions_image}) {
    BothRecorders both;
    sim::Machine machine(image->boot_bytes());
    sim::RunOptions options;
    options.max_instructions = test::kImageRunLimit;
    const sim::RunResult result = machine.run(options, both);
    EXPECT_EQ(result.stop, sim::StopReason::Finished);
    EXPECT_GT(both.lines, 10'000u);
    EXPECT_EQ(both.differing, 0u) << both.first_difference;
  }
}

}  // namespace
}  // namespace r3k
