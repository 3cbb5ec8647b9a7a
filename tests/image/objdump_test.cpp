// The built image as GNU binutils read it: readelf and objdump accept the
// file, and objdump disassembles every word of the text as we do.
#include <gtest/gtest.h>

#include "elf/elf_writer.h"
#include "board/layout.h"
#include "support/image_run.h"
#include "support/tools.h"

namespace r3k {
namespace {

TEST(ImageObjdump, EveryTextWordDisassemblesAsIntended) {
  const std::string objdump = test::find_program("mipsel-linux-gnu-objdump");
  const std::string readelf = test::find_program("mipsel-linux-gnu-readelf");
  if (objdump.empty() || readelf.empty())
    GTEST_SKIP() << "mipsel-linux-gnu-objdump or -readelf not found (package binutils-mipsel-linux-gnu)";
  const Image& image = test::default_image();
  test::TempDir dir;
  elf::write_elf_file(image, dir.path("image.elf"));

  const auto header = test::run_command(readelf + " -a -W " + dir.path("image.elf"));
  EXPECT_EQ(header.exit_code, 0);
  EXPECT_EQ(header.err, "");

  const auto listing = test::run_command(objdump + " -d -z -M no-aliases " + dir.path("image.elf"));
  ASSERT_EQ(listing.exit_code, 0) << listing.err;
  EXPECT_EQ(listing.err, "");
  const auto theirs = test::objdump_lines(listing.out);
  const uint32_t code_end = image.text_end() - layout::kRegisterUsageSize;
  size_t compared = 0;
  for (uint32_t address = image.text_base; address < code_end; address += 4) {
    const uint32_t word = image.word_at(address);
    if (word == 0) continue;  // objdump prints nop as "sll zero,zero,0x0"
    const auto it = theirs.find(address);
    ASSERT_NE(it, theirs.end()) << std::hex << address;
    EXPECT_EQ(test::normalise_disassembly(isa::disassemble(word, address)), test::normalise_objdump(it->second))
        << std::hex << address;
    ++compared;
  }
  EXPECT_GT(compared, 300u);
}

}  // namespace
}  // namespace r3k
