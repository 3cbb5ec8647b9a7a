// The board model and the trace printer under real simulators: a replay of
// the reference's quick run drives every fetch, load and store on the
// board's ports and the retirement port, through the kit's top level. The
// board must judge as `run` judges, in its words; a changed display word
// with failing lamps names that routine; a replay cut short is no verdict;
// the printed trace is the reference's for trace-diff.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "cosim/cosim_support.h"
#include "kit/replay_support.h"
#include "support/tools.h"

namespace r3k::test {
namespace {

const std::string kTool = R3K_TOOL_PATH;
const std::string kHdl = R3K_SOURCE_DIR "/hdl/", kHere = R3K_SOURCE_DIR "/tests/kit/";

std::string sources() {
  return kHdl + "r3k_board.v " + kHdl + "r3k_trace_printer.v " + kHdl + "r3k_kit_top.v " + kHere +
         "r3k_bus_replay.v " + kHere + "r3k_core.v";
}

void write_text(const std::string& path, const std::string& text) {
  write_bytes(path, std::vector<unsigned char>(text.begin(), text.end()));
}

std::string last_line(const std::string& text) {
  const size_t end = text.find_last_not_of('\n');
  return text.substr(text.rfind('\n', end) + 1, end - text.rfind('\n', end));
}

constexpr ImageKind kImages[] = {ImageKind::main, ImageKind::supplement, ImageKind::exceptions};
std::string label(ImageKind kind) { return kind == ImageKind::main ? "main" : kind == ImageKind::supplement ? "supplement" : "exceptions"; }

struct ImageFiles {
  std::string elf, hex, names, verdict;  // verdict: `run`'s line
  int routines = 0;
  bool handles_exceptions = false;
};

class BoardReplay : public testing::TestWithParam<std::string> {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir;
    for (ImageKind kind : kImages) {
      ImageFiles& f = files_[static_cast<size_t>(kind)];
      const std::string stem = dir_->path(label(kind));
      f.elf = image_file(kind);
      f.handles_exceptions = kind == ImageKind::exceptions;
      f.hex = stem + ".hex";
      f.names = stem + ".names";
      run_command(kTool + " export " + f.elf + " --format hex -o " + f.hex);
      const CommandResult run = run_command(kTool + " run " + f.elf);
      f.verdict = last_line(run.out);
      // "  1 n1_lui_test   pass  0x01000001" -> "1 n1_lui_test"
      std::string names, rest = run.out;
      for (size_t at = 0, next; (next = rest.find('\n', at)) != std::string::npos; at = next + 1) {
        int number = 0;
        char name[128];
        if (std::sscanf(rest.substr(at, next - at).c_str(), "%d %127s", &number, name) == 2) {
          names += std::to_string(number) + " " + name + "\n";
          ++f.routines;
        }
      }
      write_text(f.names, names);
    }
  }
  static void TearDownTestSuite() { delete dir_; }

  void SetUp() override {
    const std::string& simulator = GetParam();
    const std::string program = simulator == "icarus" ? "iverilog" : "verilator";
    if (find_program(program).empty()) GTEST_SKIP() << "skipped: " << program << " is not installed";
    CommandResult& build = builds_[simulator];
    if (build.exit_code == -1) {
      const std::string defines = " -DR3K_IDLE_CYCLES=1000 ";
      build = simulator == "icarus"
                  ? run_command("iverilog -g2005 " + defines + "-o " + dir_->path("board.vvp") + " " + sources())
                  : run_command("verilator --binary --timing -Wall -j 2 " + defines + "--Mdir " + dir_->path("obj") +
                                " --top-module r3k_kit_top " + sources());
    }
    ASSERT_EQ(build.exit_code, 0) << build.out << build.err;
  }

  CommandResult replay(const ImageFiles& f, const std::vector<r3k_cosim_record>& records, const std::string& name) {
    const std::string path = dir_->path(name + ".records");
    write_text(path, records_hex(records));
    const std::string binary =
        GetParam() == "icarus" ? "vvp -n " + dir_->path("board.vvp") : dir_->path("obj/Vr3k_kit_top");
    return run_command(binary + " +records=" + path + " +count=" + std::to_string(records.size()) + " +r3k_rom=" +
                       f.hex + " +r3k_names=" + f.names + " +r3k_routines=" + std::to_string(f.routines) + (f.handles_exceptions ? " +r3k_handled_exceptions" : "") +
                       " +r3k_trace=" + dir_->path(name + ".trace"));
  }

  std::string trace_path(const std::string& name) const { return dir_->path(name + ".trace"); }

  static inline TempDir* dir_ = nullptr;
  static inline ImageFiles files_[3];
  static inline std::map<std::string, CommandResult> builds_;
};

TEST_P(BoardReplay, TheVerdictAndTheTraceAreRunsForEveryImage) {
  for (ImageKind kind : kImages) {
    const ImageFiles& f = files_[static_cast<size_t>(kind)];
    SCOPED_TRACE(f.elf);
    const std::string name = label(kind);
    const CommandResult run = replay(f, to_the_end_loop(reference_retirements(kind)), name);
    ASSERT_EQ(f.verdict.rfind("PASS: ", 0), 0u) << f.verdict;
    EXPECT_NE(run.out.find(f.verdict + "\nR3K VERDICT PASS\n"), std::string::npos) << run.out << run.err;
    EXPECT_EQ(run.out.find("r3k_board: a"), std::string::npos) << run.out;  // nothing flagged
    const CommandResult diff = run_command(kTool + " trace-diff " + trace_path(name) + " --image " + f.elf);
    EXPECT_EQ(diff.exit_code, 0) << diff.out << diff.err;
  }
}

TEST_P(BoardReplay, AFailingDisplayWordIsNamedAndACutReplayIsNoVerdict) {
  const ImageFiles& f = files_[0];
  std::vector<r3k_cosim_record> records = reference_retirements(ImageKind::main);
  // Routine 5 shows no pass (its display word and the later ones count one
  // pass less), and the end writes the failing lamps as the image then would.
  for (r3k_cosim_record& r : records) {
    if (r.store_mask == 0xF && r.store_addr == 0xFFFFF010 && r.store_data >= 0x05000005) r.store_data -= 1;
    if (r.store_mask == 0xF && (r.store_addr == 0xFFFFF004 || r.store_addr == 0xFFFFF008) && r.store_data == 1 &&
        r.pc < 0xBFC00880 && &r > &records[records.size() / 2])
      r.store_data = 2;
  }
  r3k_cosim_record bank = records.back();  // and the lamp bank goes dark
  bank.store_mask = 0xF, bank.store_addr = 0xFFFFF000, bank.store_data = 0;
  records.push_back(bank);
  records = to_the_end_loop(records);
  const CommandResult fail = replay(f, records, "fail");
  EXPECT_NE(fail.out.find("FAIL: "), std::string::npos) << fail.out;
  EXPECT_NE(fail.out.find("FAIL: 67 of 68 routines passed (failed: n5_bne_test); lamps A=2 B=2 bank=0x0000"), std::string::npos) << fail.out;
  EXPECT_NE(fail.out.find("\nR3K VERDICT FAIL\n"), std::string::npos) << fail.out;

  records = reference_retirements(ImageKind::main);
  records.resize(records.size() / 2);
  const CommandResult cut = replay(f, records, "cut");
  EXPECT_NE(cut.out.find("NO VERDICT: nothing retired for 1000 cycles"), std::string::npos) << cut.out;
  EXPECT_NE(cut.out.find("\nR3K VERDICT NONE\n"), std::string::npos) << cut.out;
}

// A core without a retirement port: the board judges by the end loop's
// fetches, once they come END_FETCHES (64) times with nothing else between.
TEST(BoardFetchFallback, SixtyFourFetchesOfTheEndLoopInARowAreTheEnd) {
  if (find_program("iverilog").empty()) GTEST_SKIP() << "skipped: iverilog is not installed";
  TempDir dir;
  const CommandResult build = run_command("iverilog -g2005 -DR3K_RETIREMENT=0 -DR3K_IDLE_CYCLES=1000 -o " +
                                          dir.path("board.vvp") + " " + sources());
  ASSERT_EQ(build.exit_code, 0) << build.out << build.err;
  const std::string hex = dir.path("supplement.hex");
  run_command(kTool + " export " + image_file(ImageKind::supplement) + " --format hex -o " + hex);
  auto replay = [&](const std::vector<r3k_cosim_record>& records, const std::string& name) {
    const std::string path = dir.path(name), text = records_hex(records);
    write_text(path, text);
    return run_command("vvp -n " + dir.path("board.vvp") + " +records=" + path + " +count=" +
                       std::to_string(records.size()) + " +r3k_rom=" + hex + " +r3k_routines=19" +
                       " +r3k_trace=" + path + ".trace");
  };
  std::vector<r3k_cosim_record> records = reference_retirements(ImageKind::supplement);
  r3k_cosim_record loop{}, slot{};
  loop.pc = 0xBFC00100, slot.pc = 0xBFC00104;
  for (int i = 0; i < 63; ++i) records.push_back(loop), records.push_back(slot);
  const CommandResult short_of_it = replay(records, "63");
  EXPECT_NE(short_of_it.out.find("R3K VERDICT NONE"), std::string::npos) << short_of_it.out;
  records.push_back(loop);
  const CommandResult enough = replay(records, "64");
  EXPECT_NE(enough.out.find("PASS: 19 of 19 routines passed; lamps A=1 B=1 bank=0xFFFF, display 0x13000013"),
            std::string::npos) << enough.out;
  EXPECT_NE(enough.out.find("R3K VERDICT PASS"), std::string::npos) << enough.out;
}

INSTANTIATE_TEST_SUITE_P(Simulators, BoardReplay, testing::Values("icarus", "verilator"));

}  // namespace
}  // namespace r3k::test
