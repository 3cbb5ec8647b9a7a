// What the commands built on src/report/ say about files and words they did
// not make themselves: symbol names from another tool, the supplement, a
// patched image, the last display word of a run, an image of the wrong kind.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "common/hex.h"
#include "image/case_index.h"
#include "support/image_run.h"
#include "support/tools.h"

namespace r3k {
namespace {

const std::string kTool = R3K_TOOL_PATH;

test::CommandResult tool(const std::string& arguments) { return test::run_command(kTool + " " + arguments); }
size_t line_count(const std::string& text) { return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')); }

std::vector<unsigned char> read_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// The main image and the supplement of the default seed, built once.
class ReportCli : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new test::TempDir;
    ASSERT_EQ(tool("build -o " + main_image()).exit_code, 0);
    ASSERT_EQ(tool("build --supplement -o " + supplement()).exit_code, 0);
  }
  static void TearDownTestSuite() { delete dir_; }
  static std::string main_image() { return dir_->path("image.elf"); }
  static std::string supplement() { return dir_->path("supplement.elf"); }
  static std::string path(const std::string& name) { return dir_->path(name); }
  static test::TempDir* dir_;
};
test::TempDir* ReportCli::dir_ = nullptr;

// An ELF file from elsewhere may name a routine with any bytes: a control
// character, bytes that are not UTF-8. JSON and XML parsers must still read
// the reports.
TEST_F(ReportCli, HostileRoutineNamesGiveValidJsonAndXml) {
  if (test::find_program("python3").empty()) GTEST_SKIP() << "python3 not found (the JSON and XML parsers)";
  std::vector<unsigned char> bytes = read_bytes(main_image());
  const std::string name = "n2_addu_test";
  const auto at = std::search(bytes.begin(), bytes.end(), name.begin(), name.end());
  ASSERT_NE(at, bytes.end());
  const std::string hostile = "n2_\x01\xfe<\xc3_test";  // a control byte, a stray byte, a cut sequence
  ASSERT_EQ(hostile.size(), name.size());
  std::copy(hostile.begin(), hostile.end(), at);
  test::write_bytes(path("hostile.elf"), bytes);

  const auto run = tool("run " + path("hostile.elf") + " --json --junit " + path("hostile.xml"));
  ASSERT_EQ(run.exit_code, 0) << run.err;
  test::write_bytes(path("hostile.json"), std::vector<unsigned char>(run.out.begin(), run.out.end()));
  // What python3 reads as routine 2's name in each report, strictly as UTF-8.
  const std::pair<std::string, std::string> reads[] = {
      {"import json; d = json.loads(open(f, \"rb\").read().decode(\"utf-8\")); name = d[\"routines\"][1][\"name\"]",
       "hostile.json"},
      {"import xml.etree.ElementTree as E; name = E.parse(f).getroot().findall(\"testsuite/testcase\")[1].get(\"name\")",
       "hostile.xml"},
  };
  std::string names;
  for (const auto& [script, file] : reads) {
    const auto read = test::run_command("python3 -c 'import sys; f = sys.argv[1]; " + script + "; print(ascii(name))' " +
                                        path(file));
    EXPECT_EQ(read.exit_code, 0) << read.err;
    names += read.out;
  }
  // JSON escapes the control byte, XML cannot carry it; the other bytes become U+FFFD.
  EXPECT_EQ(names, "'n2_\\x01\\ufffd<\\ufffd_test'\n'n2_\\ufffd\\ufffd<\\ufffd_test'\n");
}

// The supplement is named routine by routine and case by case like the main
// image, by explain, the listing and trace-diff.
TEST_F(ReportCli, TheSupplementsPlacesAreNamed) {
  const Image& built = test::supplement_image();
  const CaseRecord& record = *(cases_of(built, 6).first + 4);
  const std::string address = hex(record.address, {.upper = true});
  const auto explained = tool("explain " + address + " --image " + supplement());
  ASSERT_EQ(explained.exit_code, 0) << explained.err;
  EXPECT_EQ(explained.out.rfind(address + ": routine 6 n6_branch_compare_halves_test (beq), case 5", 0), 0u)
      << explained.out;
  const auto listed = tool("export " + supplement() + " --format lst -o " + path("supplement.lst"));
  ASSERT_EQ(listed.exit_code, 0) << listed.err;
  EXPECT_NE(test::read_text(path("supplement.lst")).find("; ==== routine 18: n18_forward_zero_test"),
            std::string::npos);

  // A design whose trace of the supplement goes wrong at that case's first instruction.
  ASSERT_EQ(tool("run -q " + supplement() + " --trace " + path("supplement.trace")).exit_code, 0);
  std::string trace = test::read_text(path("supplement.trace"));
  const std::string line = hex(record.address).substr(2) + " ";
  const size_t found = trace.find("\n" + line);
  ASSERT_NE(found, std::string::npos);
  trace.replace(found + 1, 8, hex(record.address + 4).substr(2));
  test::write_bytes(path("changed.trace"), std::vector<unsigned char>(trace.begin(), trace.end()));
  const auto diff = tool("trace-diff " + path("changed.trace") + " --image " + supplement());
  EXPECT_EQ(diff.exit_code, 1) << diff.out << diff.err;
  EXPECT_EQ(diff.out.find("note:"), std::string::npos) << diff.out;
  EXPECT_NE(diff.out.find("  place:    n6_branch_compare_halves_test case 5\n"), std::string::npos) << diff.out;
}

// A patched word is named as such: no --seed can help there.
TEST_F(ReportCli, APatchedImageIsToldByItsChangedWords) {
  const Image& built = test::default_image();
  const CaseRecord& record = *cases_of(built, 21).first;
  std::vector<unsigned char> bytes = read_bytes(main_image());
  bytes.at(0x10000 + (record.address - built.text_base)) ^= 0x10;
  test::write_bytes(path("patched.elf"), bytes);
  const std::string said = path("patched.elf") + " is the main image of seed 0x52334B31 with 1 word changed: at " +
                           hex(record.address, {.upper = true}) + " (n21_add_test case 1: ";
  for (const std::string& command :
       {"explain 21 --image " + path("patched.elf"), "export " + path("patched.elf") + " --format lst"}) {
    SCOPED_TRACE(command);
    const auto result = tool(command);
    EXPECT_EQ(result.exit_code, 2);
    EXPECT_EQ(line_count(result.err), 1u) << result.err;
    EXPECT_NE(result.err.find(said), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("--seed"), std::string::npos) << result.err;
  }
}

TEST_F(ReportCli, DiagnoseReadsTheLastWordsOfARunAndRefusesNone) {
  const std::pair<std::string, std::string> answers[] = {
      {"--display 0x44000044", "no routine failed: nothing to diagnose."},
      {"--display 0,0x44000044", "no routine failed: nothing to diagnose."},
      {"--display 0x42000042,0x43000043,0x44000044", "no routine failed: nothing to diagnose."},
      {"--display 0x43000043,0x44000043", "failed: 68 (n68_swr_test)\n"},
      {"--supplement --display 0x13000013", "no routine failed: nothing to diagnose."},
  };
  for (const auto& [arguments, answer] : answers) {
    SCOPED_TRACE(arguments);
    const auto result = tool("diagnose " + arguments);
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out.rfind(answer, 0), 0u) << result.out;
  }
  const std::pair<std::string, std::string> refusals[] = {
      {"--display ''", "--display has no display words"},
      {"--display 0x43000042", "counts 66 passes in routines 1 to 67, but not which routines failed"},
  };
  for (const auto& [arguments, message] : refusals) {
    SCOPED_TRACE(arguments);
    const auto result = tool("diagnose " + arguments);
    EXPECT_EQ(result.exit_code, 2);
    EXPECT_EQ(line_count(result.err), 1u) << result.err;
    EXPECT_NE(result.err.find(message), std::string::npos) << result.err;
  }
}

TEST_F(ReportCli, FaultsRefusesAnImageOfTheOtherKind) {
  const std::pair<std::string, std::string> cases[] = {
      {"--supplement-image " + main_image() + " --images supplement",
       "faults: --supplement-image " + main_image() + " is the main image, not the supplement"},
      {"--image " + supplement() + " --images main",
       "faults: --image " + supplement() + " is the supplement, not the main image"},
  };
  for (const auto& [arguments, message] : cases) {
    SCOPED_TRACE(arguments);
    const auto result = tool("faults " + arguments);
    EXPECT_EQ(result.exit_code, 2);
    EXPECT_EQ(result.err, "r3kcheck: " + message + "\n");
    EXPECT_EQ(result.out, "");
  }
}

}  // namespace
}  // namespace r3k
