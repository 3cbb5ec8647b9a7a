// Every catalog fault on every image it runs on: the faulty processor's retirements,
// stepped through the C API, stop the checker at exactly the first
// instruction whose commit-trace lines differ from the correct processor's,
// and the report names a routine the catalog expects to fail.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "cosim/cosim_support.h"
#include "faults/campaign.h"
#include "faults/catalog.h"
#include "image/case_index.h"
#include "sim/trace.h"
#include "support/image_run.h"

namespace r3k::test {
namespace {

using faults::Outcome;

// A trace line without what a retirement record cannot carry: coprocessor
// 0's writes and an exception's EPC and unit.
std::string port_view(std::string line) {
  static const std::regex cop0(R"( (c0_\w+|epc|ce)=\S+)");
  return std::regex_replace(line, cop0, "");
}

std::vector<std::string> golden_lines(ImageKind kind) {
  std::vector<std::string> lines;
  auto sink = [&](const r3k_cosim_record&, const sim::TraceRecord* instruction, const sim::TraceRecord* exception) {
    if (instruction) lines.push_back(port_view(sim::format_trace_record(*instruction)));
    if (exception) lines.push_back(port_view(sim::format_trace_record(*exception)));
    return true;
  };
  RetirementPort<decltype(sink)> port(sink);
  sim::Machine machine(image_of(kind).boot_bytes());
  port.run(machine, sim::RunOptions{});
  return lines;
}

// Steps the checker with a faulty processor's records, noting the first
// step whose trace lines differ from the golden trace's.
struct FaultyCore {
  FaultyCore(r3k_cosim* checker, const std::vector<std::string>& golden) : checker(checker), golden(golden) {}
  r3k_cosim* checker;
  const std::vector<std::string>& golden;
  size_t line = 0;
  uint64_t steps = 0;
  std::optional<uint64_t> first_differing_step;
  std::string expected_there;  // the golden line at the first difference
  int result = R3K_COSIM_IN_STEP;

  bool operator()(const r3k_cosim_record& record, const sim::TraceRecord* instruction,
                  const sim::TraceRecord* exception) {
    ++steps;
    for (const sim::TraceRecord* r : {instruction, exception}) {
      if (!r) continue;
      const std::string text = port_view(sim::format_trace_record(*r));
      if (!first_differing_step && (line >= golden.size() || golden[line] != text)) {
        first_differing_step = steps;
        expected_there = line < golden.size() ? golden[line] : "(the end)";
      }
      ++line;
    }
    result = r3k_cosim_step(checker, &record);
    return result == R3K_COSIM_IN_STEP;
  }
};

uint32_t pc_of_line(const std::string& line) {
  const size_t at = line.find("pc=");
  return static_cast<uint32_t>(std::stoul(at == std::string::npos ? line.substr(0, 8) : line.substr(at + 3, 8), nullptr, 16));
}

class CosimFaults : public testing::TestWithParam<ImageKind> {};

TEST_P(CosimFaults, EveryFaultStopsTheCheckerAtItsFirstChangedInstruction) {
  const ImageKind kind = GetParam();
  const Image& image = image_of(kind);
  const std::vector<std::string> golden = golden_lines(kind);
  const faults::ImageShape shape = faults::shape_of(image, kind);
  size_t run = 0, in_failing_routine = 0;
  for (const faults::CatalogFault& fault : faults::catalog()) {
    const faults::Expectation& expected = fault.expected_on(kind);
    if (expected.outcome == Outcome::not_applicable) continue;
    SCOPED_TRACE(std::string(fault.name));
    ++run;
    const std::unique_ptr<r3k_cosim, void (*)(r3k_cosim*)> owner(open_checker(kind), r3k_cosim_close);
    r3k_cosim* checker = owner.get();
    ASSERT_NE(checker, nullptr);
    FaultyCore core(checker, golden);
    RetirementPort<FaultyCore> port(core);
    sim::Machine machine(image.boot_bytes());
    sim::RunOptions options;
    options.fault = fault.make(shape);
    options.max_instructions = kImageRunLimit;
    port.run(machine, options);
    if (!core.first_differing_step) {
      // Nothing it retires changes, so the verdict cannot (a store shows
      // what was stored, so a wrong word for the board shows too).
      EXPECT_EQ(core.result, R3K_COSIM_END_LOOP);
      EXPECT_TRUE(expected.outcome == Outcome::unseen || expected.outcome == Outcome::not_stated)
          << faults::outcome_name(expected.outcome);
      continue;
    }
    ASSERT_EQ(core.result, R3K_COSIM_MISMATCH) << r3k_cosim_verdict(checker);
    EXPECT_EQ(r3k_cosim_steps(checker), *core.first_differing_step) << r3k_cosim_report(checker);
    const std::string report = r3k_cosim_report(checker);
    EXPECT_NE(port_view(report).find("expected: " + core.expected_there + "\n"), std::string::npos) << report;
    // The place is where the first difference lies. Of the faults for which
    // the catalog names failing routines, that is one of them for about two
    // in three; the others retire something wrong earlier that no
    // self-check can see: a squashed slot holding a nop in the branch's own
    // routine, the broken instruction on both sides of a delay-slot
    // routine's comparison, or the start code and driver.
    ASSERT_NE(core.expected_there, "(the end)");
    const Place place = find_place(image, pc_of_line(core.expected_there));
    if (place.routine) {
      EXPECT_NE(report.find("place:    " + place.routine->name), std::string::npos) << report;
    }
    if (expected.outcome == Outcome::routines_fail && place.routine && expected.routines.count(place.routine->number))
      ++in_failing_routine;
  }
  EXPECT_GT(run, 0u);
  std::printf("%zu faults run, %zu stopped in a routine the catalog expects to fail\n", run, in_failing_routine);
}

std::string image_label(const testing::TestParamInfo<ImageKind>& info) {
  constexpr const char* kNames[] = {"Main", "Supplement", "Exceptions"};
  return kNames[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(EveryImage, CosimFaults,
                         testing::Values(ImageKind::main, ImageKind::supplement, ImageKind::exceptions), image_label);

}  // namespace
}  // namespace r3k::test
