// `r3kcheck kit` end to end: the directory it writes builds and runs with
// `make -C DIR` under Icarus and Verilator with the bus replay in the place
// for the core, and the board's line is `run`'s; the image's own files
// (a supplement given with --image) go with it.
#include <gtest/gtest.h>

#include <string>

#include "cosim/cosim_support.h"
#include "kit/replay_support.h"
#include "support/tools.h"

namespace r3k::test {
namespace {

const std::string kTool = R3K_TOOL_PATH;
const std::string kHere = R3K_SOURCE_DIR "/tests/kit/";

TEST(KitCommand, TheDirectoryRunsTheReplayWithMakeOnBothSimulators) {
  for (const char* program : {"iverilog", "verilator", "make"})
    if (find_program(program).empty()) GTEST_SKIP() << "skipped: " << program << " is not installed";
  TempDir dir;
  const std::string kit = dir.path("kit");
  const std::string& image = image_file(ImageKind::supplement);
  const CommandResult written = run_command(kTool + " kit -o " + kit + " --image " + image);
  ASSERT_EQ(written.exit_code, 0) << written.out << written.err;

  // With the stand-in core nothing retires: no verdict, and make says so.
  const CommandResult idle = run_command("make -C " + kit + " icarus");
  EXPECT_NE(idle.exit_code, 0);
  EXPECT_EQ(read_text(kit + "/icarus/verdict"), "NONE\n");

  const std::vector<r3k_cosim_record> records = to_the_end_loop(reference_retirements(ImageKind::supplement));
  const std::string text = records_hex(records);
  write_bytes(dir.path("records.hex"), std::vector<unsigned char>(text.begin(), text.end()));
  run_command("cp " + kHere + "r3k_core.v " + kHere + "r3k_bus_replay.v " + kit);
  const CommandResult run = run_command(
      "make -C " + kit + " CORE_SOURCES='r3k_core.v r3k_bus_replay.v' PLUSARGS='+records=" + dir.path("records.hex") +
      " +count=" + std::to_string(records.size()) + "'");
  EXPECT_EQ(run.exit_code, 0) << run.out << run.err;
  const CommandResult reference = run_command(kTool + " run " + image);
  const std::string verdict = reference.out.substr(reference.out.rfind("PASS: "));
  for (const char* simulator : {"icarus", "verilator"}) {
    SCOPED_TRACE(simulator);
    EXPECT_NE(read_text(kit + "/" + simulator + "/run.log").find(verdict + "R3K VERDICT PASS\n"), std::string::npos);
    EXPECT_EQ(read_text(kit + "/" + simulator + "/verdict"), "PASS\n");
    const CommandResult diff =
        run_command(kTool + " trace-diff " + kit + "/" + simulator + "/trace.txt --image " + kit + "/image.elf");
    EXPECT_EQ(diff.exit_code, 0) << diff.out << diff.err;
  }
}

// --lockstep: the checker rides on the same port and ends the run on the
// reference's word; a changed store is a FAIL from the checker.
TEST(KitCommand, LockStepRunsTheCheckerBesideTheBoard) {
  for (const char* program : {"verilator", "make"})
    if (find_program(program).empty()) GTEST_SKIP() << "skipped: " << program << " is not installed";
  TempDir dir;
  const std::string kit = dir.path("kit"), library = R3K_COSIM_SHARED_PATH;
  const std::string& image = image_file(ImageKind::supplement);
  ASSERT_EQ(run_command(kTool + " kit -o " + kit + " --simulator verilator --lockstep --image " + image).exit_code, 0);
  run_command("cp " + kHere + "r3k_core.v " + kHere + "r3k_bus_replay.v " + kit);
  std::vector<r3k_cosim_record> records = to_the_end_loop(reference_retirements(ImageKind::supplement));
  auto make = [&](const std::string& name) {
    const std::string text = records_hex(records), path = dir.path(name);
    write_bytes(path, std::vector<unsigned char>(text.begin(), text.end()));
    return run_command("make -C " + kit + " CORE_SOURCES='r3k_core.v r3k_bus_replay.v' R3K_COSIM_LIBS='" R3K_SANITIZER_LINK_FLAGS " " + library +
                       " -Wl,-rpath," + library.substr(0, library.rfind('/')) + "' PLUSARGS='+records=" + path +
                       " +count=" + std::to_string(records.size()) + "'");
  };
  const CommandResult good = make("good");
  EXPECT_EQ(good.exit_code, 0) << good.out << good.err;
  EXPECT_EQ(read_text(kit + "/verilator/verdict"), "PASS\n");
  for (r3k_cosim_record& r : records)
    if (r.store_mask == 0xF && r.store_addr >= 0x80000000 && r.store_addr < 0x80040000) {
      r.store_data ^= 1;
      break;
    }
  const CommandResult bad = make("bad");
  EXPECT_NE(bad.exit_code, 0);
  EXPECT_EQ(read_text(kit + "/verilator/verdict"), "FAIL\n") << read_text(kit + "/verilator/run.log");
}

}  // namespace
}  // namespace r3k::test
