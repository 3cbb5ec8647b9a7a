// run --trace, trace-diff, run --json and run --junit as a script or CI job
// sees them: exit codes, what the reports say, and outside parsers (python3's
// json and xml.etree) reading the machine-readable ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>

#include "image/case_index.h"
#include "isa/isa.h"
#include "support/image_run.h"
#include "support/tools.h"

namespace r3k {
namespace {

const std::string kTool = R3K_TOOL_PATH;

test::CommandResult tool(const std::string& arguments) { return test::run_command(kTool + " " + arguments); }

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

void write_text(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

// One image and its trace for every test here.
class TraceCli : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new test::TempDir;
    ASSERT_EQ(tool("build -o " + image()).exit_code, 0);
    const auto run = tool("run " + image() + " -q --trace " + golden());
    ASSERT_EQ(run.exit_code, 0) << run.err;
  }
  static void TearDownTestSuite() { delete dir_; }
  static std::string image() { return dir_->path("image.elf"); }
  static std::string golden() { return dir_->path("golden.trace"); }
  static std::string path(const std::string& name) { return dir_->path(name); }
  static test::TempDir* dir_;
};
test::TempDir* TraceCli::dir_ = nullptr;

TEST_F(TraceCli, TheTraceReadBackMatches) {
  const std::string text = test::read_text(golden());
  EXPECT_EQ(text.substr(0, 17), "r3kcheck-trace 1\n");
  const auto diff = tool("trace-diff " + golden() + " --image " + image());
  EXPECT_EQ(diff.exit_code, 0) << diff.out << diff.err;
  EXPECT_NE(diff.out.find("MATCH: "), std::string::npos) << diff.out;
  EXPECT_NE(diff.out.find("68 routines covered"), std::string::npos) << diff.out;
  // The same trace on standard output, with the verdict on standard error.
  const auto to_stdout = tool("run " + image() + " --trace -");
  EXPECT_EQ(to_stdout.exit_code, 0);
  EXPECT_EQ(to_stdout.out, text);
  EXPECT_NE(to_stdout.err.find("PASS: 68 of 68"), std::string::npos) << to_stdout.err;
}

TEST_F(TraceCli, AChangedLineIsNamedWithItsRoutineAndCase) {
  std::vector<std::string> lines = lines_of(test::read_text(golden()));
  const size_t number = 48213;  // 1-based
  std::string& line = lines[number - 1];
  ASSERT_NE(line.find('='), std::string::npos) << line;
  const std::string original = line;
  line.back() = line.back() == '0' ? '1' : '0';
  std::string text;
  for (const std::string& l : lines) text += l + "\n";
  write_text(path("changed.trace"), text);

  const auto diff = tool("trace-diff " + path("changed.trace") + " --image " + image());
  EXPECT_EQ(diff.exit_code, 1) << diff.err;
  EXPECT_NE(diff.out.find("DIVERGENCE at line " + std::to_string(number) + " of"), std::string::npos) << diff.out;
  EXPECT_NE(diff.out.find("design:   " + line + "\n"), std::string::npos) << diff.out;
  EXPECT_NE(diff.out.find("expected: " + original + "\n"), std::string::npos) << diff.out;
  const uint32_t pc = static_cast<uint32_t>(std::stoul(original.substr(0, 8), nullptr, 16));
  const Place place = find_place(test::default_image(), pc);
  ASSERT_NE(place.test_case, nullptr);
  EXPECT_NE(diff.out.find("place:    " + describe_place(place) + "\n"), std::string::npos) << diff.out;
  EXPECT_NE(diff.out.find(describe_case(*place.test_case)), std::string::npos) << diff.out;
  EXPECT_NE(diff.out.find("=> 0x" + original.substr(0, 8)), std::string::npos) << diff.out;
  EXPECT_NE(diff.out.find(isa::disassemble(test::default_image().word_at(pc), pc)), std::string::npos);
  EXPECT_NE(diff.out.find("line " + std::to_string(number - 1) + " "), std::string::npos) << diff.out;
  EXPECT_EQ(diff.out.find("line " + std::to_string(number - 9) + " "), std::string::npos) << diff.out;

  // Another seed's image: the same line, named from the symbols only.
  ASSERT_EQ(tool("build --seed 7 -o " + path("seed7.elf")).exit_code, 0);
  const auto other = tool("trace-diff " + path("changed.trace") + " --image " + image() + " --seed 7");
  EXPECT_EQ(other.exit_code, 1);
  EXPECT_NE(other.out.find("was not built with seed 0x00000007; pass --seed"), std::string::npos) << other.out;
  EXPECT_NE(other.out.find("place:    " + place.routine->name + "+0x"), std::string::npos) << other.out;
}

TEST_F(TraceCli, EndedEmptyOrUnreadableTracesAreNoVerdict) {
  const std::string text = test::read_text(golden());
  write_text(path("cut.trace"), text.substr(0, text.rfind('\n', text.size() / 2) + 1));
  write_text(path("empty.trace"), "");
  write_text(path("bad.trace"), "r3kcheck-trace 1\nbfc00000 0bf000e3\nhello world\n");
  const std::pair<std::string, std::string> cases[] = {
      {"cut.trace", "before the reference run reached the end loop"},
      {"empty.trace", "is empty"},
      {"bad.trace", "at line 3: expected an address in hex"},
  };
  for (const auto& [name, message] : cases) {
    SCOPED_TRACE(name);
    const auto diff = tool("trace-diff " + path(name) + " --image " + image());
    EXPECT_EQ(diff.exit_code, 2);
    EXPECT_NE(diff.out.find("NO VERDICT"), std::string::npos) << diff.out;
    EXPECT_NE(diff.out.find(message), std::string::npos) << diff.out;
  }
  const std::pair<std::string, std::string> bad_input[] = {
      {"trace-diff", "no trace given"},
      {"trace-diff " + path("missing.trace") + " --image " + image(), "cannot read"},
      {"trace-diff " + golden() + " --image " + path("missing.elf"), "missing.elf"},
      {"trace-diff " + golden() + " --image " + image() + " --keys pc", "bad --keys entry"},
      {"trace-diff " + golden() + " --image " + image() + " --keys colour=c", "unknown --keys field"},
      {"run " + image() + " --json --trace -", "both want standard output"},
      {"run " + image() + " --junit /proc/r3k/x.xml", "cannot write"},
      {"run " + image() + " --trace /proc/r3k/x.trace", "cannot write"},
  };
  for (const auto& [arguments, message] : bad_input) {
    SCOPED_TRACE(arguments);
    const auto result = tool(arguments);
    EXPECT_EQ(result.exit_code, 2);
    EXPECT_NE(result.err.find(message), std::string::npos) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
  }
  EXPECT_EQ(tool("trace-diff --help").exit_code, 0);
}

// An image whose routines 2 and 30 fail: the first case of each branches to
// its failure exit on equal values instead of unequal ones.
std::string failing_image(const std::string& path) {
  std::vector<unsigned char> bytes;
  {
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  const Image& image = test::default_image();
  for (int routine : {2, 30}) {
    const CaseRecord& first = *cases_of(image, routine).first;
    for (uint32_t address = first.address; address < first.end; address += 4) {
      const uint32_t word = image.word_at(address);
      if (isa::decode(word) != isa::Op::bne) continue;
      const uint32_t patched = isa::encode(isa::Op::beq, isa::fields_of(word));
      const size_t offset = 0x10000 + (address - image.text_base);
      for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<unsigned char>(patched >> (8 * i));
      break;
    }
  }
  const std::string patched_path = path + ".failing.elf";
  test::write_bytes(patched_path, bytes);
  return patched_path;
}

TEST_F(TraceCli, JsonAndJunitReportsReadByOutsideParsers) {
  if (test::find_program("python3").empty()) GTEST_SKIP() << "python3 not found (the JSON and XML parsers)";
  const std::string failing = failing_image(image());
  for (const auto& [elf, failed] : {std::pair{image(), std::string("")}, std::pair{failing, std::string("2,30")}}) {
    SCOPED_TRACE(elf);
    const std::string xml = path("report.xml");
    const auto json = tool("run " + elf + " --json --junit " + xml);
    const auto text = tool("run " + elf);
    EXPECT_EQ(json.exit_code, failed.empty() ? 0 : 1);
    EXPECT_EQ(text.exit_code, json.exit_code);
    EXPECT_EQ(std::count(json.out.begin(), json.out.end(), '\n'), 1);
    write_text(path("report.json"), json.out);
    // The routine lines of the text report, rebuilt from the JSON.
    const auto from_json = test::run_command(
        "python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); "
        "assert sorted(d) == sorted([\"verdict\",\"stop\",\"lamps\",\"display\",\"instructions\",\"exception\","
        "\"display_words\",\"routines\"]); "
        "assert d[\"display_words\"] == [r[\"display\"] for r in d[\"routines\"]]; "
        "print(d[\"verdict\"], d[\"stop\"], d[\"display\"], d[\"lamps\"][\"status_a\"], d[\"exception\"]); "
        "[print(\"%3d %-20s %s  0x%s\" % (r[\"number\"], r[\"name\"], \"pass\" if r[\"passed\"] else \"FAIL\", "
        "r[\"display\"][2:].upper())) for r in d[\"routines\"]]' " +
        path("report.json"));
    ASSERT_EQ(from_json.exit_code, 0) << from_json.err;
    std::vector<std::string> expected = lines_of(text.out);
    expected.pop_back();  // the verdict line
    std::vector<std::string> got = lines_of(from_json.out);
    EXPECT_EQ(got.front().substr(0, 31), failed.empty() ? "pass finished 0x44000044 1 None" : "fail finished 0x44000042 2 None");
    got.erase(got.begin());
    EXPECT_EQ(got, expected);

    const auto junit = test::run_command(
        "python3 -c 'import sys, xml.etree.ElementTree as E; r = E.parse(sys.argv[1]).getroot(); "
        "cases = r.findall(\"testsuite/testcase\"); print(len(cases)); "
        "print(\",\".join(str(i + 1) for i, c in enumerate(cases) if c.find(\"failure\") is not None)); "
        "print(\"\\n\".join(c.find(\"failure\").get(\"message\") for c in cases if c.find(\"failure\") is not None))' " +
        xml);
    ASSERT_EQ(junit.exit_code, 0) << junit.err;
    const std::vector<std::string> report = lines_of(junit.out);
    ASSERT_GE(report.size(), 2u);
    EXPECT_EQ(report[0], "68");
    EXPECT_EQ(report[1], failed);
    if (!failed.empty()) {
      EXPECT_EQ(report.at(2), "n2_addu_test (addu) failed: display 0x02000001 shows routine 2 without its pass");
      EXPECT_NE(report.at(3).find("(xor) failed: display 0x1E00001C"), std::string::npos) << report.at(3);
    }
  }
}

TEST_F(TraceCli, ANotReachedRoutineIsSkippedInJunit) {
  const auto run = tool("run " + image() + " --max-instructions 20000 --json --junit " + path("short.xml"));
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_NE(run.out.find("\"verdict\":\"none\",\"stop\":\"instruction limit\""), std::string::npos) << run.out;
  const std::string xml = test::read_text(path("short.xml"));
  EXPECT_NE(xml.find("<skipped message=\"not reached: the run stopped: instruction limit\"/>"), std::string::npos);
  size_t testcases = 0;
  for (size_t at = xml.find("<testcase "); at != std::string::npos; at = xml.find("<testcase ", at + 1)) ++testcases;
  EXPECT_EQ(testcases, 68u);
}

}  // namespace
}  // namespace r3k
