// The supplement's framework (start code, routine entries and exits) must
// keep working on a processor that lost one bypass path of a five-stage
// pipeline, so that the forwarding routines are the ones that report it.
// Checked two ways: over the run of the built words (no framework
// instruction reads a register one of the three instructions before it
// wrote, whatever code ran before it; none writes $zero), and by running
// the supplement with each per-distance bypass fault of the catalog.
#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "common/hex.h"
#include "faults/campaign.h"
#include "faults/catalog.h"
#include "image/frame.h"
#include "report/verdict.h"
#include "supplement/supplement.h"
#include "support/image_run.h"

namespace r3k {
namespace {

// Where the framework lies: the start code before the first routine and
// each routine's entry and exit.
class Framework {
 public:
  explicit Framework(const Image& image) {
    const uint32_t exit = frame_exit_bytes(frame_style_of(image.kind));
    spans_.push_back({image.text_base, image.routines.front().address});
    for (const RoutineInfo& routine : image.routines) {
      spans_.push_back({routine.address, routine.address + kFrameEntryBytes});
      spans_.push_back({routine.address + routine.size - exit, routine.address + routine.size});
    }
  }
  bool contains(uint32_t pc) const {
    for (const auto& [begin, end] : spans_)
      if (pc >= begin && pc < end) return true;
    return false;
  }

 private:
  std::vector<std::pair<uint32_t, uint32_t>> spans_;
};

// Follows the run: the registers the last three instructions wrote (cases
// included), and every framework instruction that reads one of them.
struct GapWatcher {
  explicit GapWatcher(const Framework& f) : framework(f) {}
  const Framework& framework;
  std::array<int, 3> written{-1, -1, -1};  // newest first; -1 for no register
  std::vector<std::string> problems;
  size_t framework_instructions = 0;

  void on_instruction(const sim::Cpu& cpu, const sim::Decoded& d) {
    const std::optional<uint8_t> dest = sim::named_destination(d);
    if (framework.contains(cpu.pc)) {
      ++framework_instructions;
      const isa::Reads& reads = isa::info(d.op()).reads;
      for (const auto& [reads_it, reg] : {std::pair{reads.rs, d.rs}, std::pair{reads.rt, d.rt}})
        for (size_t back = 0; back < written.size() && reads_it && reg != 0; ++back)
          if (written[back] == reg)
            problems.push_back(hex(cpu.pc) + " reads $" + std::string(isa::reg_name(isa::Reg(reg))) +
                               ", written " + std::to_string(back + 1) + " back");
      if (dest == 0 && d.word != 0) problems.push_back(hex(cpu.pc) + " writes $zero");
    }
    written = {dest && !cpu.exception_raised ? int(*dest) : -1, written[0], written[1]};
  }
};

TEST(SupplementFramework, NoFrameworkInstructionReadsARegisterWrittenThreeBeforeIt) {
  for (const uint32_t seed : {kDefaultSeed, 0x2u}) {
    const Image image = supplement::build(seed);
    const Framework framework(image);
    GapWatcher watcher(framework);
    const test::ImageRun run = test::run_image_observed(image, {}, watcher);
    ASSERT_TRUE(run.finished()) << "seed " << seed;
    EXPECT_GT(watcher.framework_instructions, 18u * 20u) << "seed " << seed;
    EXPECT_TRUE(watcher.problems.empty()) << "seed " << seed << ": " << watcher.problems.size() << " reads, first "
                                          << watcher.problems.front();
  }
}

// The watcher itself: the main image's plain frame reads its registers at once.
TEST(SupplementFramework, TheWatcherFindsThePlainFramesShortGaps) {
  const Framework framework(test::default_image());
  GapWatcher watcher(framework);
  test::run_image_observed(test::default_image(), {}, watcher);
  EXPECT_GT(watcher.problems.size(), 68u);
}

// The routines that read a result one to three instructions after it is
// written on purpose: the forwarding routines, and the load chain (each
// base two instructions after its load).
bool reads_results_early(const RoutineSpec& spec) {
  const std::string_view name = spec.name;
  return name.find("forward") != std::string_view::npos || name.find("load_chain") != std::string_view::npos;
}

// With one path lost the run reaches the end loop with the fail lamps and
// exactly the routines the catalog names failing, all of them routines that
// read results early.
TEST(SupplementFramework, EachLostBypassPathFailsOnlyItsForwardingRoutines) {
  const Image& image = test::supplement_image();
  const faults::ImageShape shape = faults::shape_of(image, ImageKind::supplement);
  size_t checked = 0;
  for (const faults::CatalogFault& fault : faults::catalog()) {
    if (!fault.name.ends_with("-lost") || fault.name.find("-bypass-") == std::string_view::npos) continue;
    ++checked;
    const faults::Expectation& expected = fault.on_supplement;
    ASSERT_EQ(expected.outcome, faults::Outcome::routines_fail) << fault.name;
    EXPECT_FALSE(expected.routines.empty()) << fault.name;
    for (int n : expected.routines)
      EXPECT_TRUE(reads_results_early(supplement::run_order()[n - 1])) << fault.name << " expects " << n;
    const test::ImageRun run = test::run_image(image, fault.make(shape));
    EXPECT_TRUE(run.finished()) << fault.name << " stops at " << hex(run.result.pc);
    EXPECT_EQ(run.display_words.size(), image.routines.size()) << fault.name;
    EXPECT_EQ(run.failed, expected.routines) << fault.name;
    EXPECT_EQ(report::verdict_of(run.result), board::Verdict::Fail) << fault.name;
  }
  EXPECT_EQ(checked, 6u);
}

}  // namespace
}  // namespace r3k
