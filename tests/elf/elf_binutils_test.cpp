// GNU binutils as an independent reader of the files the writer produces.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "elf/elf_test_image.h"
#include "elf/elf_writer.h"
#include "support/tools.h"

namespace r3k::elf {
namespace {

using Row = std::vector<std::string>;

std::vector<Row> rows(const std::string& text) {
  std::vector<Row> result;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    Row row;
    for (std::string word; words >> word;) row.push_back(word);
    if (!row.empty()) result.push_back(row);
  }
  return result;
}

class ElfBinutilsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    readelf_ = test::find_program("mipsel-linux-gnu-readelf");
    objdump_ = test::find_program("mipsel-linux-gnu-objdump");
    if (readelf_.empty()) GTEST_SKIP() << "mipsel-linux-gnu-readelf not found";
    if (objdump_.empty()) GTEST_SKIP() << "mipsel-linux-gnu-objdump not found";
    write_elf_file(test::small_image(), path_);
  }

  // Runs the tool on the image and insists it finds nothing to complain about.
  std::string run(const std::string& tool, const std::string& options) {
    const test::CommandResult result = test::run_command(tool + " " + options + " " + path_);
    EXPECT_EQ(result.exit_code, 0) << options << "\n" << result.err;
    EXPECT_EQ(result.err.find("Warning"), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("Error"), std::string::npos) << result.err;
    EXPECT_EQ(result.out.find("Warning"), std::string::npos) << result.out;
    return result.out;
  }

  test::TempDir dir_;
  const std::string path_ = dir_.path("image.elf");
  std::string readelf_, objdump_;
};

TEST_F(ElfBinutilsTest, ReadelfAcceptsTheWholeFileAndReadsTheHeaderFlags) {
  const std::string all = run(readelf_, "-a -W");
  EXPECT_NE(all.find("Flags:                             0x1001, noreorder, o32, mips1"), std::string::npos)
      << all;
  EXPECT_NE(all.find("Machine:                           MIPS R3000"), std::string::npos);
  EXPECT_NE(all.find("Entry point address:               0xbfc00000"), std::string::npos);
}

TEST_F(ElfBinutilsTest, ReadelfSeesBothSegmentsAndEverySection) {
  const std::string segments = run(readelf_, "-l -W");
  EXPECT_NE(segments.find("LOAD           0x010000 0xbfc00000 0xbfc00000 0x0097c 0x0097c R E 0x10000"),
            std::string::npos)
      << segments;
  EXPECT_NE(segments.find("LOAD           0x020000 0x80000000 0xbfc0097c 0x00010 0x00010 RW  0x10000"),
            std::string::npos)
      << segments;

  std::vector<std::string> names;
  for (const Row& row : rows(run(readelf_, "-S -W")))
    if (row.size() > 2 && row[0] == "[" && row[1].back() == ']') names.push_back(row[2]);
  // The null section has no name; its type stands in the name column.
  EXPECT_EQ(names,
            (std::vector<std::string>{"NULL", ".text", ".data", ".debug_aranges", ".pdr", ".debug_line",
                                      ".debug_info", ".debug_abbrev", ".shstrtab", ".symtab", ".strtab"}));
}

TEST_F(ElfBinutilsTest, ReadelfListsTheSymbolsWithTheirKinds) {
  // name -> value, size, type, binding, section, as readelf -s prints them
  std::map<std::string, Row> symbols;
  for (const Row& row : rows(run(readelf_, "-s -W")))
    if (row.size() == 8 && row[0].back() == ':') symbols[row[7]] = {row[1], row[2], row[3], row[4], row[6]};
  EXPECT_EQ(symbols["start.S"], (Row{"00000000", "0", "FILE", "LOCAL", "ABS"}));
  EXPECT_EQ(symbols["locate"], (Row{"bfc0038c", "0", "NOTYPE", "LOCAL", "1"}));
  EXPECT_EQ(symbols["n1_addu_test"], (Row{"bfc00900", "100", "FUNC", "GLOBAL", "1"}));
  EXPECT_EQ(symbols["_etext"], (Row{"bfc0097c", "0", "NOTYPE", "GLOBAL", "1"}));
  EXPECT_EQ(symbols["__DTOR_LIST__"], (Row{"80000008", "0", "NOTYPE", "GLOBAL", "2"}));
  EXPECT_EQ(symbols["_gp"], (Row{"80008000", "0", "NOTYPE", "GLOBAL", "ABS"}));
  EXPECT_EQ(symbols["__main"], (Row{"00000000", "0", "NOTYPE", "GLOBAL", "UND"}));
}

TEST_F(ElfBinutilsTest, ObjdumpDisassemblesTheTextUnderTheRoutineNames) {
  const std::string listing = run(objdump_, "-d");
  EXPECT_NE(listing.find("file format elf32-tradlittlemips"), std::string::npos);
  EXPECT_NE(listing.find("bfc00880 <n2_sll_test>:"), std::string::npos) << listing;
  EXPECT_NE(listing.find("bfc00900 <n1_addu_test>:"), std::string::npos);
  EXPECT_NE(listing.find("bfc00950 <inst_error>:"), std::string::npos);
  EXPECT_NE(listing.find("bfc00900:\t24000240 \t"), std::string::npos);
}

}  // namespace
}  // namespace r3k::elf
