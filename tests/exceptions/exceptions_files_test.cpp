// The exceptions image through the tool's files, as the other two: its
// assembler sources rebuild to the same text with GNU as and ld and its line
// table names each case's file; its memory file are its boot memory; the
// listing, explain and trace-diff name its routines and cases.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/hex.h"
#include "exceptions/exceptions.h"
#include "image/case_index.h"
#include "support/tools.h"

namespace r3k {
namespace {

const std::string kTool = R3K_TOOL_PATH;
test::CommandResult tool(const std::string& arguments) { return test::run_command(kTool + " " + arguments); }

class ExceptionsFiles : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new test::TempDir;
    image_ = new Image(exceptions::build());
    const auto built = tool("build --exceptions -o " + elf() + " --sources " + path("src"));
    ASSERT_EQ(built.exit_code, 0) << built.err;
  }
  static void TearDownTestSuite() {
    delete image_;
    delete dir_;
  }
  static std::string path(const std::string& name) { return dir_->path(name); }
  static std::string elf() { return path("exceptions.elf"); }
  // The first word of case `number` of routine `routine`.
  static uint32_t case_address(int routine, int number) {
    return (cases_of(*image_, routine).first + (number - 1))->address;
  }
  static test::TempDir* dir_;
  static Image* image_;
};
test::TempDir* ExceptionsFiles::dir_ = nullptr;
Image* ExceptionsFiles::image_ = nullptr;

TEST_F(ExceptionsFiles, SourcesRebuildWithGnuAsAndTheLineTableNamesEachCase) {
  for (const char* program : {"make", "mipsel-linux-gnu-as", "mipsel-linux-gnu-ld", "mipsel-linux-gnu-objcopy",
                              "mipsel-linux-gnu-addr2line"})
    if (test::find_program(program).empty())
      GTEST_SKIP() << program << " not found (packages make, binutils-mipsel-linux-gnu)";
  const auto made = test::run_command("make -s -C " + path("src") + " 2>&1");
  ASSERT_EQ(made.exit_code, 0) << made.out;
  for (const std::string& file : {elf(), path("src/image.elf")})
    ASSERT_EQ(test::run_command("mipsel-linux-gnu-objcopy -O binary -j .text " + file + " " + file + ".text").exit_code, 0);
  EXPECT_TRUE(test::read_text(elf() + ".text") == test::read_text(path("src/image.elf.text")))
      << "GNU as and ld rebuilt another text";
  // A case's words are its file's; the handler's are start.S's.
  const auto lines = test::run_command("mipsel-linux-gnu-addr2line -e " + elf() + " " +
                                       hex(case_address(12, 5)) + " " + hex(0xBFC00184));
  ASSERT_EQ(lines.exit_code, 0) << lines.err;
  EXPECT_NE(lines.out.find("inst/n12_status_stack.S:"), std::string::npos) << lines.out;
  EXPECT_NE(lines.out.find("start.S:"), std::string::npos) << lines.out;
}

TEST_F(ExceptionsFiles, MemoryFilesHoldTheBootMemory) {
  const auto exported = tool("export " + elf() + " --format bin -o " + path("exceptions.bin"));
  ASSERT_EQ(exported.exit_code, 0) << exported.err;
  const std::vector<uint8_t> boot = image_->boot_bytes();
  EXPECT_TRUE(test::read_text(path("exceptions.bin")) == std::string(boot.begin(), boot.end()));
}

TEST_F(ExceptionsFiles, ListingExplainAndTraceDiffNameItsRoutinesAndCases) {
  const uint32_t address = case_address(12, 5);
  const std::string text = hex(address, {.upper = true});
  const auto explained = tool("explain " + text + " --image " + elf());
  ASSERT_EQ(explained.exit_code, 0) << explained.err;
  EXPECT_EQ(explained.out.rfind(text + ": routine 12 n12_status_stack_test (rfe), case 5", 0), 0u) << explained.out;

  const auto listed = tool("export " + elf() + " --format lst -o " + path("exceptions.lst"));
  ASSERT_EQ(listed.exit_code, 0) << listed.err;
  const std::string listing = test::read_text(path("exceptions.lst"));
  EXPECT_NE(listing.find("; ==== routine 15: n15_user_mode_return_test"), std::string::npos);
  EXPECT_NE(listing.find("; exception_handler"), std::string::npos);

  // The reference's own trace agrees with itself; one changed address is
  // named by its routine and case.
  ASSERT_EQ(tool("run -q " + elf() + " --trace " + path("exceptions.trace")).exit_code, 0);
  std::string trace = test::read_text(path("exceptions.trace"));
  EXPECT_NE(trace.find("\nexception Sys "), std::string::npos);
  test::write_bytes(path("same.trace"), std::vector<unsigned char>(trace.begin(), trace.end()));
  const auto same = tool("trace-diff " + path("same.trace") + " --image " + elf());
  EXPECT_EQ(same.exit_code, 0) << same.out << same.err;
  const size_t found = trace.find("\n" + hex(address).substr(2) + " ");
  ASSERT_NE(found, std::string::npos);
  trace.replace(found + 1, 8, hex(address + 4).substr(2));
  test::write_bytes(path("changed.trace"), std::vector<unsigned char>(trace.begin(), trace.end()));
  const auto diff = tool("trace-diff " + path("changed.trace") + " --image " + elf());
  EXPECT_EQ(diff.exit_code, 1) << diff.out << diff.err;
  EXPECT_NE(diff.out.find("  place:    n12_status_stack_test case 5\n"), std::string::npos) << diff.out;
}

}  // namespace
}  // namespace r3k
