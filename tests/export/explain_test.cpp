// explain, in-process against the build's own record, and the export and
// explain commands' refusals as a script sees them.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/error.h"
#include "export/explain.h"
#include "image/build.h"
#include "image/case_index.h"
#include "support/tools.h"

namespace r3k {
namespace {

const std::string kTool = R3K_TOOL_PATH;

test::CommandResult tool(const std::string& arguments) { return test::run_command(kTool + " " + arguments); }
size_t line_count(const std::string& text) { return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')); }

std::string hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

const Image& image() {
  static const Image built = build_image();
  return built;
}

std::string explain(const std::string& what) {
  return exporting::explain(image(), what, std::optional<uint32_t>(std::stoul(what, nullptr, 0)));
}

TEST(Explain, EveryInstErrorNamesItsRoutinesExit) {
  for (const RoutineInfo& routine : image().routines) {
    const std::string text = explain(hex(routine.inst_error));
    EXPECT_EQ(text.rfind(hex(routine.inst_error) + ": routine " + std::to_string(routine.number) + " " + routine.name + " (", 0), 0u)
        << text;
    EXPECT_NE(text.find("exit (inst_error at " + hex(routine.inst_error)), std::string::npos) << text;
    EXPECT_NE(text.find("=> "), std::string::npos) << text;
  }
}

TEST(Explain, SampledCaseAddressesNameTheirCase) {
  const std::vector<CaseRecord>& cases = image().cases;
  for (size_t i = 0; i < cases.size(); i += 97) {
    const CaseRecord& record = cases[i];
    const uint32_t address = record.address + 4 * static_cast<uint32_t>((i / 97) % ((record.end - record.address) / 4));
    const std::string text = explain(hex(address));
    const RoutineInfo& routine = image().routines.at(record.routine - 1);
    EXPECT_NE(text.find(": routine " + std::to_string(record.routine) + " " + routine.name), std::string::npos) << text;
    EXPECT_NE(text.find(describe_case(record) + "\n"), std::string::npos) << text;
    char marked[24];
    std::snprintf(marked, sizeof marked, "=> 0x%08x:", address);
    EXPECT_NE(text.find(marked), std::string::npos) << text;
    EXPECT_EQ(line_count(text), 1 + (record.end - record.address) / 4);
  }
}

TEST(Explain, StartCodeDisplayWordsAndRoutines) {
  EXPECT_EQ(explain("0xBFC00104").rfind("0xBFC00104: start code, test_finish (end loop)", 0), 0u);
  EXPECT_NE(explain("0xBFC00200").find("152 zero words"), std::string::npos);
  const std::string passing = explain("0x25000025");
  EXPECT_NE(passing.find("routine 37 n37_bgez_test (bgez)"), std::string::npos) << passing;
  EXPECT_NE(passing.find("routines 1 to 37 all passed"), std::string::npos) << passing;
  const std::string failing = explain("0x25000023");
  EXPECT_NE(failing.find("35 of the 37 routines run so far passed: 2 routines up to and including 37 failed"),
            std::string::npos)
      << failing;
  const std::string routine = exporting::explain(image(), "n21_add_test", std::nullopt);
  EXPECT_EQ(routine, exporting::explain(image(), "add", std::nullopt));
  EXPECT_EQ(routine, explain("21"));
  EXPECT_NE(routine.find("group 1 (A and B random): 149 cases, 1 to 149"), std::string::npos) << routine;
  EXPECT_THROW(explain("0x45000045"), Error);
  EXPECT_THROW(explain("0x00000100"), Error);
  EXPECT_THROW(exporting::explain(image(), "beqq", std::nullopt), Error);
}

// One line on standard error, exit 2, and no file left behind.
TEST(ExportAndExplainCommands, RefuseBadInputInOneLine) {
  test::TempDir dir;
  ASSERT_EQ(tool("build -o " + dir.path("image.elf")).exit_code, 0);
  ASSERT_EQ(tool("build --seed 2 -o " + dir.path("seed2.elf")).exit_code, 0);
  const std::string elf = dir.path("image.elf");
  std::filesystem::copy_file(elf, dir.path("bad.elf"));
  std::filesystem::resize_file(dir.path("bad.elf"), 200);

  const std::pair<std::string, std::string> cases[] = {
      {"export " + elf, "no --format"},
      {"export " + elf + " --format srec", "unknown format 'srec'"},
      {"export " + elf + " --format bin --width 32", "--width"},
      {"export " + elf + " --format hex --width 12", "--width"},
      {"export " + elf + " --format hex --depth 100", "does not fit a depth of 100"},
      {"export " + dir.path("bad.elf") + " --format bin -o " + dir.path("bad.bin"), "bad.elf"},
      {"export " + elf + " --format bin -o /proc/r3k/image.bin", "cannot write"},
      {"export " + elf + " --format bin -o " + elf, "is the same file as the image"},
      {"export " + dir.path("seed2.elf") + " --format lst -o " + dir.path("seed2.lst"),
       dir.path("seed2.elf") + " was not built with seed 0x52334B31; pass --seed"},
      {"explain 0x25000024 --image " + dir.path("seed2.elf"),
       dir.path("seed2.elf") + " was not built with seed 0x52334B31; pass --seed"},
      {"explain 0x25000024 --image " + elf + " --seed 2", "was not built with seed 0x00000002"},
      {"explain 0xBFD00000 --image " + elf, "0xBFD00000 is not a routine number"},
      {"explain 0x00000100 --image " + elf, "is not a routine number"},
      {"explain 0x45000001 --image " + elf, "is not a routine number"},
      {"explain 0x12zz --image " + elf, "'0x12zz' is not"},
      {"explain --image " + elf, "nothing to explain"},
      {"explain 5 --image " + dir.path("missing.elf"), "missing.elf"},
  };
  for (const auto& [arguments, message] : cases) {
    SCOPED_TRACE(arguments);
    const auto result = tool(arguments);
    EXPECT_EQ(result.exit_code, 2);
    EXPECT_NE(result.err.find(message), std::string::npos) << result.err;
    EXPECT_EQ(line_count(result.err), 1u) << result.err;
  }
  for (const auto& entry : std::filesystem::directory_iterator(dir.dir()))
    EXPECT_EQ(entry.path().extension(), ".elf") << entry.path() << " was left behind";

  const auto explained = tool("explain 0x25000024 --image " + dir.path("seed2.elf") + " --seed 2");
  EXPECT_EQ(explained.exit_code, 0) << explained.err;
  EXPECT_NE(explained.out.find("n37_bgez_test"), std::string::npos);
  const auto listed = tool("export " + dir.path("seed2.elf") + " --format lst --seed 2");
  EXPECT_EQ(listed.exit_code, 0) << listed.err;
  EXPECT_TRUE(std::filesystem::exists(dir.path("seed2.lst")));
}

TEST(ExportAndExplainCommands, HelpForEach) {
  for (const std::string command : {"export --help", "explain --help"}) {
    const auto result = tool(command);
    EXPECT_EQ(result.exit_code, 0) << command;
    EXPECT_NE(result.out.find("usage: r3kcheck"), std::string::npos) << command;
  }
  const auto usage = tool("--help");
  EXPECT_NE(usage.out.find("  export "), std::string::npos);
  EXPECT_NE(usage.out.find("  explain "), std::string::npos);
}

}  // namespace
}  // namespace r3k
