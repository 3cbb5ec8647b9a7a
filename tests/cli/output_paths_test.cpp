// Where the commands write: empty names, an output that is an input or
// another output, a file-size limit, long names, pipes and a full disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "support/tools.h"

namespace r3k {
namespace {

namespace fs = std::filesystem;
const std::string kTool = R3K_TOOL_PATH;

std::set<std::string> entries(const std::string& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename());
  return names;
}

class OutputPaths : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(test::run_command(kTool + " build -o " + image()).exit_code, 0);
    fs::create_symlink(image(), dir_.path("link.elf"));
  }
  std::string image() const { return dir_.path("image.elf"); }
  std::string path(const std::string& name) const { return dir_.path(name); }
  test::TempDir dir_;
};

// Each refused: exit 2, one line naming the cause, and nothing written or
// replaced (the image still runs).
TEST_F(OutputPaths, EmptyAndSharedOutputsAreRefused) {
  const std::string same_place = dir_.dir() + "/./out.trace";
  const std::pair<std::string, std::string> cases[] = {
      {"run " + image() + " --trace ''", "run: --trace needs a file name, not an empty one"},
      {"run " + image() + " --junit ''", "run: --junit needs a file name"},
      {"build -o " + path("b.elf") + " --sources ''", "build: --sources needs a file name"},
      {"export " + image() + " --format bin -o ''", "export: -o needs a file name"},
      {"trace-diff - --image ''", "trace-diff: --image needs a file name"},
      {"run " + image() + " --trace " + image(), "--trace " + image() + " is the same file as the image"},
      {"run " + image() + " --junit " + dir_.dir() + "/./image.elf", "is the same file as the image"},
      {"run " + image() + " --trace " + path("link.elf"), "is the same file as the image"},
      {"run " + image() + " --trace " + path("out.trace") + " --junit " + same_place,
       "--junit " + same_place + " is the same file as --trace"},
      {"export " + path("link.elf") + " --format bin -o " + image(), "is the same file as the image"},
  };
  for (const auto& [arguments, message] : cases) {
    SCOPED_TRACE(arguments);
    const auto result = test::run_command(kTool + " " + arguments);
    EXPECT_EQ(result.exit_code, 2);
    EXPECT_NE(result.err.find(message), std::string::npos) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
  }
  EXPECT_EQ(entries(dir_.dir()), (std::set<std::string>{"image.elf", "link.elf"}));
  EXPECT_EQ(test::run_command(kTool + " run -q " + image()).exit_code, 0);
}

// A failed write is one line and exit 2, and leaves no temporary; a pipe
// or a long legal name is simply written.
TEST_F(OutputPaths, WriteFailuresPipesAndLongNamesBehave) {
  const std::string long_name = std::string(250, 'n');
  const struct {
    std::string command;
    int exit_code;
    std::string message;  // on standard error
  } cases[] = {
      {"(ulimit -f 64; " + kTool + " run -q " + image() + " --trace " + path("big.trace") + ")", 2,
       "cannot write " + path("big.trace") + ": File too large"},
      {"(ulimit -f 64; " + kTool + " export " + image() + " --format lst -o " + path("big.lst") + ")", 2,
       "File too large"},
      {"(" + kTool + " run -q " + image() + " >/dev/full)", 2,
       "cannot write to standard output: No space left on device"},
      {"({ " + kTool + " run " + image() + " --trace -; echo exit=$? >&2; } | head -1)", 0,
       "run: cannot write the trace to standard output: the reader has gone (broken pipe)\nexit=2"},
      {"({ " + kTool + " run -q " + image() + " --trace /dev/stdout; echo exit=$? >&2; } | tail -1)", 0, "exit=0"},
      {kTool + " run -q " + image() + " --trace " + path(long_name), 0, ""},
  };
  for (const auto& [command, exit_code, message] : cases) {
    SCOPED_TRACE(command);
    const auto result = test::run_command(command);
    EXPECT_EQ(result.exit_code, exit_code) << result.err;
    EXPECT_NE(result.err.find(message), std::string::npos) << result.err;
    EXPECT_LE(std::count(result.err.begin(), result.err.end(), '\n'), 2) << result.err;
  }
  EXPECT_EQ(entries(dir_.dir()), (std::set<std::string>{"image.elf", "link.elf", long_name}));
  EXPECT_GT(fs::file_size(path(long_name)), 3000000u);
}

}  // namespace
}  // namespace r3k
