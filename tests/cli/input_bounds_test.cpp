// Inputs without a natural end (/dev/zero, a directory, a huge number) are
// refused in one line, quickly and with their real cause.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "support/tools.h"

namespace r3k {
namespace {

const std::string kTool = R3K_TOOL_PATH;

TEST(InputBounds, UnboundedOrWrongInputsAreRefusedInOneLine) {
  test::TempDir dir;
  const std::string image = dir.path("image.elf");
  ASSERT_EQ(test::run_command(kTool + " build -o " + image).exit_code, 0);
  const struct {
    std::string arguments;
    bool on_stdout;  // a NO VERDICT report rather than an error
    std::string message;
  } cases[] = {
      {"export " + image + " --format hex --depth 1099511627776", false, "above the most this tool writes, 16777216"},
      {"export " + image + " --format mif --depth 16777217 -o " + dir.path("m.mif"), false, "above the most"},
      {"trace-diff /dev/zero --image " + image, true, "at line 1: longer than 65536 bytes"},
      {"trace-diff " + dir.dir() + " --image " + image, false, "is a directory"},
      {"diagnose --json " + dir.dir(), false, "is a directory"},
      {"diagnose --json /dev/zero", false, "larger than 1048576 bytes, too large for a report of run --json"},
      {"faults --list --only '" + std::string(60, '*') + "x'", false, "no fault of the catalog matches"},
      {"faults --images main --limit 1000 --only jal-link-own-address", false,
       "a limit of 1000 instructions is below the 131921 the main image runs without a fault"},
  };
  for (const auto& [arguments, on_stdout, message] : cases) {
    SCOPED_TRACE(arguments);
    const auto result = test::run_command("timeout 60 " + kTool + " " + arguments);
    EXPECT_EQ(result.exit_code, 2);
    const std::string& shown = on_stdout ? result.out : result.err;
    EXPECT_NE(shown.find(message), std::string::npos) << shown.substr(0, 400);
    EXPECT_EQ(std::count(shown.begin(), shown.end(), '\n'), 1) << shown.substr(0, 400);
  }
  EXPECT_FALSE(std::filesystem::exists(dir.path("m.mif")));
}

}  // namespace
}  // namespace r3k
