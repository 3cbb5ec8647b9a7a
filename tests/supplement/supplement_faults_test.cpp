// Each fault the supplementary image exists for fails the supplement routine
// meant for it (with the run still reporting through the display), and the
// main image's result for it stays what it is.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>

#include "board/board.h"
#include "supplement/supplement.h"
#include "supplement/supplement_faults.h"
#include "support/image_run.h"

namespace r3k {
namespace {

const Image& supplement_image() {
  static const Image image = supplement::build();
  return image;
}

std::string outcome(const test::ImageRun& run) {
  if (!run.finished()) return run.result.stop == sim::StopReason::ExceptionLoop ? "exception" : "no end";
  std::string failed;
  for (int n : run.failed) failed += " " + std::to_string(n);
  return "failed:" + failed;
}

TEST(SupplementFaults, EachFailsItsRoutineAndTheReportStillWorks) {
  for (const supplement::SupplementFault& f : supplement::supplement_faults()) {
    SCOPED_TRACE(f.name);
    const test::ImageRun run = test::run_image(supplement_image(), f.fault);
    ASSERT_TRUE(run.finished()) << outcome(run);
    EXPECT_TRUE(run.failed.count(f.routine)) << outcome(run);
    if (std::getenv("R3K_SHOW")) std::printf("%s: %s\n", f.name.c_str(), outcome(run).c_str());
    EXPECT_EQ(run.display_words.size(), supplement::run_order().size()) << outcome(run);
    EXPECT_EQ(run.result.board.status_lamp_a, board::kFailLamps.status_a);
  }
}

// What the main image shows for each of them: most pass it unseen, which is
// why the supplement exists.
TEST(SupplementFaults, MainImageResultsAreUnchanged) {
  const std::map<std::string, std::string> expected = {
      {"jal links its own address + 4", "failed:"},
      {"jalr links into $31", "failed:"},
      {"slt from the sign of the difference", "failed: 8"},
      {"slti from the sign of the difference", "failed:"},
      {"sltiu from the sign of the difference", "failed: 10"},
      {"beq decides on bits 15..0", "failed:"},
      {"bne decides on bits 15..0", "failed:"},
      {"mthi writes HI and LO", "failed:"},
      {"mtlo writes HI and LO", "failed:"},
      {"sllv uses the whole amount register", "failed:"},
      {"srlv uses the whole amount register", "failed:"},
      {"srav uses the whole amount register", "failed:"},
      {"a load's base right after a load is stale", "failed:"},
      {"no bypass from the instruction just before", "no end"},
      {"the older of two results wins the bypass", "no end"},
      {"a write to $zero is forwarded", "failed:"},
  };
  for (const supplement::SupplementFault& f : supplement::supplement_faults()) {
    SCOPED_TRACE(f.name);
    const test::ImageRun run = test::run_default_image(f.fault);
    const auto it = expected.find(f.name);
    const std::string want = it != expected.end() ? it->second : "failed:";  // slot twice: unseen
    EXPECT_EQ(outcome(run), want);
  }
}

}  // namespace
}  // namespace r3k
