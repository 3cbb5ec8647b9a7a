// The command line as a script sees it: exit codes, one-line errors, files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "elf/elf_writer.h"
#include "board/layout.h"
#include "support/image_run.h"
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
  // "help COMMAND" is "COMMAND --help".
  for (const std::string command : {"build", "run"}) {
    const auto result = tool("help " + command);
    EXPECT_EQ(result.exit_code, 0) << command;
    EXPECT_EQ(result.out, tool(command + " --help").out);
    EXPECT_NE(result.out.find("usage: r3kcheck " + command), std::string::npos) << result.out;
  }
  const auto unknown = tool("help frobnicate");
  EXPECT_EQ(unknown.exit_code, 2);
  EXPECT_EQ(unknown.err, "r3kcheck: unknown command 'frobnicate' (see r3kcheck --help)\n");
}

// Whatever the user typed, an error is one line: control characters are
// shown escaped, and a number is digits only.
TEST(Cli, ErrorsStayOneLineAndNumbersAreDigitsOnly) {
  // printf makes the control characters: the tests' shell need not be bash.
  const auto newline = tool("build --seed \"$(printf '1\\n2')\"");
  EXPECT_EQ(newline.exit_code, 2);
  EXPECT_EQ(newline.err,
            "r3kcheck: build: bad number for --seed: '1\\n2' (expected 0 to 4294967295, decimal or 0x hex)\n");
  const auto option = tool("build \"$(printf -- '--x\\ty\\033')\"");
  EXPECT_EQ(option.err, "r3kcheck: build: unknown option --x\\ty\\x1b (see r3kcheck build --help)\n");
  for (const std::string seed : {"\"$(printf '\\t5')\"", "\"$(printf '5\\t')\"", "' 5'", "'0x 5'", "0x-5", "+5", "0x", "''"}) {
    const auto result = tool("build -o /nonexistent/never-written.elf --seed " + seed);
    EXPECT_EQ(result.exit_code, 2) << seed;
    EXPECT_NE(result.err.find("bad number for --seed"), std::string::npos) << seed << ": " << result.err;
    EXPECT_EQ(line_count(result.err), 1u) << result.err;
  }
}

// A FIFO stands for /dev/null: a tool with the fault would replace the real
// device of the machine running the tests.
TEST(Cli, OutputPathsAreCheckedWithTheirRealCause) {
  test::TempDir dir;
  ASSERT_EQ(::mkfifo(dir.path("fifo").c_str(), 0644), 0);
  const std::pair<std::string, std::string> cases[] = {
      {"''", "r3kcheck: build: -o needs a file name, not an empty one\n"},
      {dir.path("newdir/"),
       "r3kcheck: cannot write " + dir.path("newdir/") + ": the name ends in '/', so it names a directory, not a file\n"},
      {dir.path("fifo"), "r3kcheck: cannot write " + dir.path("fifo") + ": it is a FIFO that no process reads; nothing written\n"},
  };
  for (const auto& [path, message] : cases) {
    const auto result = tool("build -o " + path);
    EXPECT_EQ(result.exit_code, 2) << path;
    EXPECT_EQ(result.err, message);
  }
  EXPECT_FALSE(std::filesystem::exists(dir.path("newdir")));
  EXPECT_TRUE(std::filesystem::is_fifo(dir.path("fifo")));
}

// Images patched to end in odd places, written as ELF files.
class PatchedImages : public testing::Test {
 protected:
  std::string write(const Image& image, const std::string& name) {
    const std::string path = dir_.path(name);
    elf::write_elf_file(image, path);
    return path;
  }
  uint32_t& word(Image& image, uint32_t address) { return image.text.at((address - image.text_base) / 4); }

  test::TempDir dir_;
};

// The very first instruction is a syscall: the run ends in the exception loop
// with the pc outside every routine.
TEST_F(PatchedImages, WordsOfTheVerdictLineFitTheirNumbers) {
  Image image = test::default_image();
  word(image, layout::kResetVector) = 0x0000000C;  // syscall
  const auto run = tool("run -q " + write(image, "syscall.elf"));
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_EQ(run.out.find(" ;"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("  "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("after syscall at pc 0xBFC00000 (address"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("; 1 instruction\n"), std::string::npos) << run.out;
  const auto limit = tool("run -q --max-instructions 1 " + write(test::default_image(), "image.elf"));
  EXPECT_NE(limit.out.find("instruction limit of 1 reached at pc 0xBFC00004; lamps"), std::string::npos) << limit.out;
}

// The driver calls routine 1's failure exit in place of routines 2 and 3:
// routine 1's display word then shows up three times, twice as a failure,
// and the failed list names it once.
TEST_F(PatchedImages, AFailedRoutineIsListedOnce) {
  Image image = test::default_image();
  const RoutineInfo& first = image.routines.at(0);
  int patched = 0;
  for (uint32_t address = layout::kInstTest; patched < 2; address += 4) {
    const uint32_t target = image.routines.at(1 + patched).address;
    if (word(image, address) != (0x0C000000u | ((target >> 2) & 0x03FFFFFF))) continue;
    word(image, address) = 0x0C000000u | ((first.inst_error >> 2) & 0x03FFFFFF);
    ++patched;
  }
  const auto run = tool("run -q " + write(image, "twice.elf"));
  EXPECT_EQ(run.exit_code, 1) << run.out << run.err;
  EXPECT_NE(run.out.find("(failed: " + first.name + ")"), std::string::npos) << run.out;
}

}  // namespace
}  // namespace r3k
