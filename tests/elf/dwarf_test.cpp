// The image's debug sections read by GNU binutils and LLVM: accepted without a
// complaint, and addr2line names the exported file and line of every case
// and start-code label.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>

#include "elf/elf_writer.h"
#include "source/source_tree.h"
#include "support/image_run.h"
#include "support/tools.h"
#include "image/case_index.h"

namespace r3k::elf {
namespace {

class ImageDebugSections : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new test::TempDir;
    write_elf_file(test::default_image(), dir_->path("image.elf"));
  }
  static void TearDownTestSuite() { delete dir_; }
  static std::string elf() { return dir_->path("image.elf"); }
  static std::string scratch(const std::string& name) { return dir_->path(name); }

  static test::TempDir* dir_;
};
test::TempDir* ImageDebugSections::dir_ = nullptr;

std::string line_of(const std::string& text, uint32_t number) {
  std::istringstream lines(text);
  std::string line;
  for (uint32_t n = 0; n < number && std::getline(lines, line);) ++n;
  return line;
}

TEST_F(ImageDebugSections, ReadelfAndLlvmDwarfdumpFindNothingWrong) {
  const std::string readelf = test::find_program("mipsel-linux-gnu-readelf");
  const std::string dwarfdump = test::find_program("llvm-dwarfdump");
  if (readelf.empty()) GTEST_SKIP() << "mipsel-linux-gnu-readelf not found (package binutils-mipsel-linux-gnu)";
  if (dwarfdump.empty()) GTEST_SKIP() << "llvm-dwarfdump not found (package llvm)";

  const test::CommandResult dump = test::run_command(readelf + " --debug-dump=info,line,aranges " + elf());
  EXPECT_EQ(dump.exit_code, 0);
  EXPECT_EQ(dump.err, "");
  for (const char* complaint : {"Warning", "warning", "Error", "error", "corrupt"})
    EXPECT_EQ(dump.out.find(complaint), std::string::npos) << complaint;
  size_t units = 0;
  for (size_t at = dump.out.find("DW_TAG_compile_unit"); at != std::string::npos;
       at = dump.out.find("DW_TAG_compile_unit", at + 1))
    ++units;
  EXPECT_EQ(units, 69u);
  EXPECT_NE(dump.out.find("(MIPS assembler)"), std::string::npos);  // DW_LANG_Mips_Assembler

  const test::CommandResult verify = test::run_command(dwarfdump + " --verify " + elf());
  EXPECT_EQ(verify.exit_code, 0) << verify.out << verify.err;
  EXPECT_NE(verify.out.find("No errors."), std::string::npos) << verify.out;
  EXPECT_EQ(verify.out.find("warning"), std::string::npos) << verify.out;
  EXPECT_EQ(verify.err, "");
}

// For every case of every routine, its first and its last instruction lead
// to the line of the exported file that the case's comment names; every
// start-code label leads to the line right under "label:".
TEST_F(ImageDebugSections, Addr2lineNamesTheLineOfEveryCaseAndLabel) {
  const std::string addr2line = test::find_program("mipsel-linux-gnu-addr2line");
  if (addr2line.empty()) GTEST_SKIP() << "mipsel-linux-gnu-addr2line not found (package binutils-mipsel-linux-gnu)";
  const Image& image = test::default_image();
  const source::SourceTree tree = source::render_source_tree(image);
  std::map<std::string, const std::string*> files;
  for (const source::SourceFile& file : tree.files) files[file.path] = &file.text;

  struct Query {
    uint32_t address;
    std::string file, expected;  // text the named line must hold
    bool at_start_of_next;       // expected is the line before instead
  };
  std::vector<Query> queries;
  for (size_t i = 0; i < image.text.size(); ++i) {
    const SourceLoc loc = image.lines[i];
    if (loc.file == 0 || loc.line < 2) continue;
    const bool first = i == 0 || image.lines[i - 1].file != loc.file || image.lines[i - 1].line != loc.line;
    const bool last = i + 1 == image.lines.size() || image.lines[i + 1].file != loc.file ||
                      image.lines[i + 1].line != loc.line;
    const auto& routine = *std::find_if(image.routines.begin(), image.routines.end(),
                                        [&](const RoutineInfo& r) { return r.file == loc.file; });
    if (loc.line > static_cast<uint32_t>(routine.cases) + 1) continue;  // the exit
    const std::string comment = "# " + describe_case(cases_of(image, routine.number).first[loc.line - 2]);
    if (first || last)
      queries.push_back({image.text_base + 4 * static_cast<uint32_t>(i), image.files[loc.file], comment, false});
  }
  EXPECT_GE(queries.size(), 11000u);
  for (const StartLabel& label : image.start_labels) queries.push_back({label.address, "start.S", label.name + ":", true});

  std::string input;  // addr2line reads hex addresses
  char buffer[16];
  for (const Query& query : queries) std::snprintf(buffer, sizeof buffer, "%x\n", query.address), input += buffer;
  test::write_bytes(scratch("addresses.txt"), std::vector<unsigned char>(input.begin(), input.end()));
  const test::CommandResult result = test::run_command(addr2line + " -e " + elf() + " < " + scratch("addresses.txt"));
  ASSERT_EQ(result.exit_code, 0) << result.err;
  std::istringstream answers(result.out);
  size_t wrong = 0;
  for (const Query& query : queries) {
    std::string answer;
    ASSERT_TRUE(std::getline(answers, answer));
    const std::string prefix = "./" + query.file + ":";
    std::string found;
    if (answer.rfind(prefix, 0) == 0) {
      const auto line = static_cast<uint32_t>(std::stoul(answer.substr(prefix.size())));
      found = line_of(*files.at(query.file), query.at_start_of_next ? line - 1 : line);
    }
    const bool right = query.at_start_of_next ? found == query.expected
                                              : found.size() >= query.expected.size() &&
                                                    found.compare(found.size() - query.expected.size(),
                                                                  query.expected.size(), query.expected) == 0;
    if (!right && ++wrong <= 5)
      ADD_FAILURE() << std::hex << query.address << ": addr2line says " << answer << ", whose line is \"" << found
                    << "\"; expected " << query.expected;
  }
  EXPECT_EQ(wrong, 0u);
}

TEST(ImageDebugOption, WithoutDebugTheFileHasNoDwarfAndTheSameLoadedBytes) {
  const Image& image = test::default_image();
  const std::vector<uint8_t> with = elf_bytes(image), without = elf_bytes(image, {.debug = false});
  const std::string plain(without.begin(), without.end()), full(with.begin(), with.end());
  EXPECT_EQ(plain.find(".debug_"), std::string::npos);
  EXPECT_NE(full.find(".debug_line"), std::string::npos);
  // The text at 0x10000 and the data on the next 0x10000 boundary: the same
  // bytes at the same offsets.
  const size_t loaded_end = 0x10000 + (image.text.size() * 4 + 0xFFFF) / 0x10000 * 0x10000 + image.data.size();
  ASSERT_GT(without.size(), loaded_end);
  EXPECT_TRUE(std::equal(with.begin() + 0x10000, with.begin() + loaded_end, without.begin() + 0x10000));
}

}  // namespace
}  // namespace r3k::elf
