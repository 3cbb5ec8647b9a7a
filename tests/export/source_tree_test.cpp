// The exported source tree against GNU as and ld: rebuilt with them, it gives
// our text, data, load addresses and symbol values; assembled with their
// debug information, its line table says what ours says.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <sstream>

#include "elf/elf_writer.h"
#include "export/source_tree.h"
#include "image/build.h"
#include "support/image_run.h"
#include "support/tools.h"

namespace r3k::source {
namespace {

const char* const kTools[] = {"make", "mipsel-linux-gnu-as", "mipsel-linux-gnu-ld", "mipsel-linux-gnu-objcopy",
                              "mipsel-linux-gnu-readelf", "mipsel-linux-gnu-nm", "mipsel-linux-gnu-addr2line"};

std::string missing_tool() {
  for (const char* tool : kTools)
    if (test::find_program(tool).empty()) return tool;
  return "";
}

std::string output_of(const std::string& command) {
  const test::CommandResult result = test::run_command(command);
  EXPECT_EQ(result.exit_code, 0) << command << "\n" << result.err;
  return result.out;
}

// Writes our ELF and the tree, and rebuilds the tree with GNU as and ld.
struct Rebuilt {
  explicit Rebuilt(const Image& image) : tree(render_source_tree(image)) {
    elf::write_elf_file(image, ours);
    write_source_tree(tree, dir.path("src"));
    const test::CommandResult make = test::run_command("make -s -C " + dir.path("src") + " 2>&1");
    EXPECT_EQ(make.exit_code, 0) << make.out;
    EXPECT_EQ(make.out, "") << "GNU as or ld complained";
  }
  test::TempDir dir;
  const std::string ours = dir.path("ours.elf");
  const std::string theirs = dir.path("src/image.elf");
  SourceTree tree;
};

std::string section_bytes(const std::string& elf, const std::string& section, const std::string& out) {
  output_of("mipsel-linux-gnu-objcopy -O binary -j " + section + " " + elf + " " + out);
  return test::read_text(out);
}

// "LOAD offset virtual physical size ..." rows less the file offset.
std::string load_segments(const std::string& elf) {
  std::istringstream lines(output_of("mipsel-linux-gnu-readelf -l -W " + elf));
  std::string result;
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string type, offset, rest;
    words >> type >> offset;
    if (type != "LOAD") continue;
    std::getline(words, rest);
    result += rest + "\n";
  }
  return result;
}

// "value name" for every defined symbol (several routines share inst_error).
std::multiset<std::string> defined_symbols(const std::string& elf) {
  std::istringstream lines(output_of("mipsel-linux-gnu-nm " + elf));
  std::multiset<std::string> symbols;
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string value, kind, name;
    if (words >> value >> kind >> name) symbols.insert(value + " " + name);
  }
  return symbols;
}

class SourceTreeRebuild : public ::testing::TestWithParam<uint32_t> {};

TEST_P(SourceTreeRebuild, GnuAsAndLdGiveOurTextDataAddressesAndSymbols) {
  if (const std::string tool = missing_tool(); !tool.empty())
    GTEST_SKIP() << tool << " not found (packages make, binutils-mipsel-linux-gnu)";
  const Image image = GetParam() == kDefaultSeed ? test::default_image() : build_image(GetParam());
  Rebuilt rebuilt(image);
  const std::string& ours = rebuilt.ours;
  const std::string& theirs = rebuilt.theirs;
  const std::string scratch = rebuilt.dir.path("section.bin");

  const std::string text = section_bytes(ours, ".text", scratch);
  EXPECT_EQ(text.size(), image.text.size() * 4);
  EXPECT_TRUE(text == section_bytes(theirs, ".text", scratch)) << "the rebuilt .text differs";
  EXPECT_EQ(section_bytes(ours, ".data", scratch), section_bytes(theirs, ".data", scratch));
  EXPECT_EQ(load_segments(ours), load_segments(theirs));

  const std::multiset<std::string> our_symbols = defined_symbols(ours), their_symbols = defined_symbols(theirs);
  EXPECT_EQ(our_symbols.size(), 5 + 68 * 2 + 19u);  // start labels, routines and inst_error, link-time symbols
  for (const std::string& symbol : our_symbols)
    EXPECT_EQ(their_symbols.count(symbol), our_symbols.count(symbol)) << symbol;
}

INSTANTIATE_TEST_SUITE_P(Seeds, SourceTreeRebuild, ::testing::Values(kDefaultSeed, 2u, 0xDE1A7u));

// file:line of each address, as addr2line says, with the directory part
// (ours ".", GNU as's the absolute path it ran in) taken off.
std::vector<std::string> addr2line(const std::string& elf, const std::vector<uint32_t>& addresses,
                                   const std::string& scratch, const std::string& root) {
  std::string input;
  char buffer[16];
  for (uint32_t address : addresses) std::snprintf(buffer, sizeof buffer, "0x%x\n", address), input += buffer;
  test::write_bytes(scratch, std::vector<unsigned char>(input.begin(), input.end()));
  std::istringstream lines(output_of("mipsel-linux-gnu-addr2line -e " + elf + " < " + scratch));
  std::vector<std::string> result;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(root, 0) == 0) line.erase(0, root.size());
    if (line.rfind("./", 0) == 0) line.erase(0, 2);
    result.push_back(line);
  }
  return result;
}

TEST(SourceTreeLines, OurLineTableSaysWhatGnuAsWritesForTheTree) {
  if (const std::string tool = missing_tool(); !tool.empty())
    GTEST_SKIP() << tool << " not found (packages make, binutils-mipsel-linux-gnu)";
  const Image& image = test::default_image();
  Rebuilt rebuilt(image);
  // Every word the tree writes as an instruction: GNU as gives no rows to
  // data directives (the start code's runs of zero words, `.space`).
  std::vector<uint32_t> addresses;
  for (size_t i = 0; i < image.text.size(); ++i) {
    const SourcePosition& at = rebuilt.tree.positions[i];
    if (at.line == 0) continue;
    std::istringstream text(rebuilt.tree.files[at.file].text);
    std::string line;
    for (uint32_t n = 0; n < at.line; ++n) std::getline(text, line);
    if (line.find(".space") == std::string::npos) addresses.push_back(image.text_base + 4 * static_cast<uint32_t>(i));
  }
  ASSERT_GT(addresses.size(), image.text.size() * 9 / 10);
  const std::string root = rebuilt.dir.path("src/");
  const auto ours = addr2line(rebuilt.ours, addresses, rebuilt.dir.path("a.txt"), root);
  const auto theirs = addr2line(rebuilt.theirs, addresses, rebuilt.dir.path("b.txt"), root);
  ASSERT_EQ(ours.size(), addresses.size());
  ASSERT_EQ(theirs.size(), addresses.size());
  size_t differing = 0;
  for (size_t i = 0; i < addresses.size(); ++i)
    if (ours[i] != theirs[i] && ++differing <= 5)
      ADD_FAILURE() << std::hex << addresses[i] << ": ours " << ours[i] << ", GNU as " << theirs[i];
  EXPECT_EQ(differing, 0u);
}

}  // namespace
}  // namespace r3k::source
