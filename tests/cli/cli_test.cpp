// The command line as a script sees it: exit codes, one-line errors, files.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/tools.h"

namespace r3k {
namespace {

const std::string kTool = R3K_TOOL_PATH;

test::CommandResult tool(const std::string& arguments) { return test::run_command(kTool + " " + arguments); }

size_t line_count(const std::string& text) { return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')); }

TEST(Cli, BuildThenRunPasses) {
  test::TempDir dir;
  const auto built = tool("build -o " + dir.path("sub/image.elf"));
  ASSERT_EQ(built.exit_code, 0) << built.err;
  EXPECT_NE(built.out.find("68 routines"), std::string::npos) << built.out;
  const auto run = tool("run " + dir.path("sub/image.elf"));
  EXPECT_EQ(run.exit_code, 0) << run.out << run.err;
  EXPECT_NE(run.out.find(" 68 n68_swr_test         pass  0x44000044"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("PASS: 68 of 68 routines passed"), std::string::npos) << run.out;
  EXPECT_EQ(line_count(run.out), 69u);
  const auto quiet = tool("run -q " + dir.path("sub/image.elf"));
  EXPECT_EQ(line_count(quiet.out), 1u);
  // No temporary file is left beside the output.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path("sub")), {}), 1);
}

TEST(Cli, SameSeedSameBytes) {
  test::TempDir dir;
  ASSERT_EQ(tool("build --seed 0x1234 -o " + dir.path("a.elf")).exit_code, 0);
  ASSERT_EQ(tool("build --seed 4660 -o " + dir.path("b.elf")).exit_code, 0);
  EXPECT_EQ(test::read_text(dir.path("a.elf")), test::read_text(dir.path("b.elf")));
}

TEST(Cli, InstructionLimitGivesNoVerdict) {
  test::TempDir dir;
  ASSERT_EQ(tool("build -o " + dir.path("image.elf")).exit_code, 0);
  const auto run = tool("run --max-instructions 100 " + dir.path("image.elf"));
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_NE(run.out.find("NO VERDICT: instruction limit of 100"), std::string::npos) << run.out;
}

// Bad input: one line on standard error naming the problem, exit code 2.
TEST(Cli, BadInputIsOneLineAndExitTwo) {
  test::TempDir dir;
  ASSERT_EQ(tool("build -o " + dir.path("image.elf")).exit_code, 0);
  const std::string truncated = dir.path("truncated.elf");
  std::filesystem::copy_file(dir.path("image.elf"), truncated);
  std::filesystem::resize_file(truncated, 100);
  test::write_bytes(dir.path("text.elf"), {'h', 'e', 'l', 'l', 'o'});

  const std::pair<std::string, std::string> cases[] = {
      {"", "usage"},
      {"frobnicate", "unknown command"},
      {"build --bogus", "unknown option --bogus"},
      {"build --seed", "needs a value"},
      {"build --seed 12abc", "bad number for --seed"},
      {"build --seed 0x100000000", "bad number for --seed"},
      {"build --seed -1", "bad number for --seed"},
      {"build -o /proc/r3k/image.elf", "cannot write"},
      {"build -o " + dir.dir(), "cannot write"},
      {"run", "no image given"},
      {"run " + dir.path("missing.elf"), "missing.elf"},
      {"run " + truncated, "truncated.elf"},
      {"run " + dir.path("text.elf"), "text.elf"},
      {"run --flag x " + dir.path("image.elf"), "bad number for --flag"},
      {"run --max-instructions -5 " + dir.path("image.elf"), "bad number for --max-instructions"},
      {"run a.elf b.elf", "unexpected argument"},
  };
  for (const auto& [arguments, message] : cases) {
    SCOPED_TRACE(arguments);
    const auto result = tool(arguments);
    EXPECT_EQ(result.exit_code, 2);
    EXPECT_NE(result.err.find(message), std::string::npos) << result.err;
    if (!arguments.empty()) {
      EXPECT_EQ(line_count(result.err), 1u) << result.err;
    }
  }
}

TEST(Cli, HelpForEveryCommand) {
  for (const std::string command : {"--help", "build --help", "run --help"}) {
    const auto result = tool(command);
    EXPECT_EQ(result.exit_code, 0) << command;
    EXPECT_NE(result.out.find("usage: r3kcheck"), std::string::npos) << command;
  }
}

}  // namespace
}  // namespace r3k
