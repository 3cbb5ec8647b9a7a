// The memory files as their real readers see them: objcopy makes the same
// bin, Icarus Verilog's $readmemh reads the hex at every width, srec_cat
// reads the mif back, and the coe keeps its format's rules.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "export/memory_files.h"
#include "support/tools.h"

namespace r3k {
namespace {

const std::string kTool = R3K_TOOL_PATH;

test::CommandResult tool(const std::string& arguments) { return test::run_command(kTool + " " + arguments); }

std::vector<uint8_t> read_bytes(const std::string& path) {
  const std::string text = test::read_text(path);
  return {text.begin(), text.end()};
}

// One image and its exports, made by the tool once for all tests here.
class MemoryFiles : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new test::TempDir;
    const auto built = tool("build -o " + dir_->path("image.elf"));
    ASSERT_EQ(built.exit_code, 0) << built.err;
    for (const char* format : {"bin", "coe", "mif"}) {
      const auto exported = tool("export " + dir_->path("image.elf") + " --format " + format);
      ASSERT_EQ(exported.exit_code, 0) << exported.err;
    }
    for (const char* width : {"8", "16", "32", "64"}) {
      const auto exported = tool("export " + dir_->path("image.elf") + " --format hex --width " + width + " -o " +
                                 dir_->path("image" + std::string(width) + ".hex"));
      ASSERT_EQ(exported.exit_code, 0) << exported.err;
    }
    boot_ = new std::vector<uint8_t>(read_bytes(dir_->path("image.bin")));
  }
  static void TearDownTestSuite() {
    delete boot_;
    delete dir_;
  }
  static test::TempDir* dir_;
  static std::vector<uint8_t>* boot_;
};
test::TempDir* MemoryFiles::dir_ = nullptr;
std::vector<uint8_t>* MemoryFiles::boot_ = nullptr;

// objcopy -O binary writes every loaded section at its load address, from
// the lowest one: the text at 0xBFC00000 and .data (run at 0x80000000) at its
// load address _etext, right after it, exactly the boot memory.
TEST_F(MemoryFiles, BinEqualsObjcopy) {
  const std::string objcopy = test::find_program("mipsel-linux-gnu-objcopy");
  if (objcopy.empty()) GTEST_SKIP() << "mipsel-linux-gnu-objcopy not found (package binutils-mipsel-linux-gnu)";
  const auto copied = test::run_command(objcopy + " -O binary " + dir_->path("image.elf") + " " + dir_->path("objcopy.bin"));
  ASSERT_EQ(copied.exit_code, 0) << copied.err;
  EXPECT_EQ(read_bytes(dir_->path("objcopy.bin")), *boot_);
  EXPECT_EQ(boot_->size() % 4, 0u);
  EXPECT_GT(boot_->size(), 0x80000u);
}

// The memory word at index `i` of a `width`-bit little-endian memory, as hex digits.
std::string expected_word(const std::vector<uint8_t>& boot, unsigned width, size_t i) {
  const size_t bytes = width / 8;
  std::string text;
  for (size_t b = bytes; b-- > 0;) {
    char digits[3];
    const size_t at = i * bytes + b;
    std::snprintf(digits, sizeof digits, "%02x", at < boot.size() ? boot[at] : 0);
    text += digits;
  }
  return text;
}

TEST_F(MemoryFiles, IcarusReadsTheHexAtEveryWidth) {
  const std::string iverilog = test::find_program("iverilog"), vvp = test::find_program("vvp");
  if (iverilog.empty() || vvp.empty()) GTEST_SKIP() << "iverilog or vvp not found (package iverilog)";
  for (unsigned width : {8u, 16u, 32u, 64u}) {
    SCOPED_TRACE(width);
    const size_t depth = (boot_->size() * 8 + width - 1) / width;
    const size_t stride = 1 + depth / 4000;  // every word would only slow the test: a sample, and the last word
    const std::string bench = dir_->path("bench" + std::to_string(width) + ".v");
    std::ofstream(bench) << "module bench;\n"
                         << "  reg [" << width - 1 << ":0] mem [0:" << depth - 1 << "];\n"
                         << "  integer i;\n"
                         << "  initial begin\n"
                         << "    $readmemh(\"" << dir_->path("image" + std::to_string(width) + ".hex") << "\", mem);\n"
                         << "    for (i = 0; i < " << depth << "; i = i + " << stride << ") $display(\"%0d %h\", i, mem[i]);\n"
                         << "    $display(\"%0d %h\", " << depth - 1 << ", mem[" << depth - 1 << "]);\n"
                         << "    $finish;\n  end\nendmodule\n";
    const std::string compiled = dir_->path("bench" + std::to_string(width));
    const auto built = test::run_command(iverilog + " -o " + compiled + " " + bench);
    ASSERT_EQ(built.exit_code, 0) << built.err;
    const auto run = test::run_command(vvp + " -n " + compiled);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.err.find("WARNING"), std::string::npos) << run.err;  // e.g. too few or too many words
    std::istringstream lines(run.out);
    size_t index = 0, seen = 0;
    std::string word;
    while (lines >> index >> word) {
      ASSERT_EQ(word, expected_word(*boot_, width, index)) << "word " << index;
      ++seen;
    }
    EXPECT_GT(seen, 3000u);
  }
}

TEST_F(MemoryFiles, SrecordReadsTheMifBack) {
  const std::string srec_cat = test::find_program("srec_cat");
  if (srec_cat.empty()) GTEST_SKIP() << "srec_cat not found (package srecord)";
  // srec_cat lays each 32-bit MIF word down least significant byte first (its
  // manual page says big-endian; the program does not), as the memory holds it.
  const auto read = test::run_command(srec_cat + " " + dir_->path("image.mif") + " -Memory_Initialization_File -o " +
                                      dir_->path("mif.bin") + " -binary");
  ASSERT_EQ(read.exit_code, 0) << read.err;
  EXPECT_EQ(read_bytes(dir_->path("mif.bin")), *boot_);
  const std::string mif = test::read_text(dir_->path("image.mif"));
  EXPECT_NE(mif.find("WIDTH=32;\nDEPTH=" + std::to_string(boot_->size() / 4) + ";"), std::string::npos);
  EXPECT_NE(mif.find("\n\t00007 : 00000000;\n"), std::string::npos);
}

// The coe's rules: the radix line, the vector line, then one 8-digit hex
// entry per line, each ended by ',' but the last, ended by ';'.
TEST_F(MemoryFiles, CoeKeepsItsFormat) {
  std::istringstream lines(test::read_text(dir_->path("image.coe")));
  std::string line;
  while (std::getline(lines, line) && line.rfind(";", 0) == 0) {}  // comments
  EXPECT_EQ(line, "memory_initialization_radix=16;");
  std::getline(lines, line);
  EXPECT_EQ(line, "memory_initialization_vector=");
  std::vector<uint8_t> bytes;
  bool ended = false;
  while (std::getline(lines, line)) {
    ASSERT_FALSE(ended) << "entries after the last one: " << line;
    ASSERT_EQ(line.size(), 9u) << line;
    ASSERT_TRUE(line.back() == ',' || line.back() == ';') << line;
    ended = line.back() == ';';
    const unsigned long word = std::stoul(line.substr(0, 8), nullptr, 16);
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<uint8_t>(word >> shift));
  }
  EXPECT_TRUE(ended);
  EXPECT_EQ(bytes, *boot_);
}

TEST(MemoryFileWriters, DepthPadsOrRefuses) {
  const std::vector<uint8_t> boot = {0x01, 0x02, 0x03, 0x04, 0x05};
  EXPECT_EQ(exporting::verilog_hex(boot, 32, 0).substr(exporting::verilog_hex(boot, 32, 0).find('\n') + 1), "04030201\n00000005\n");
  const std::string padded = exporting::verilog_hex(boot, 16, 4);
  EXPECT_EQ(padded.substr(padded.find('\n') + 1), "0201\n0403\n0005\n0000\n");
  const std::string wide = exporting::verilog_hex(boot, 64, 0);
  EXPECT_EQ(wide.substr(wide.find('\n') + 1), "0000000504030201\n");
  EXPECT_THROW(exporting::xilinx_coe(boot, 1), std::exception);
  const std::string mif = exporting::intel_mif(std::vector<uint8_t>(8, 0), 100);
  EXPECT_NE(mif.find("DEPTH=100;"), std::string::npos);
  EXPECT_NE(mif.find("\t63 : 00000000;\nEND;"), std::string::npos) << mif;
}

}  // namespace
}  // namespace r3k
