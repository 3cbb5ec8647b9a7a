// The ELF writer, read back field by field from the bytes it produces.
#include "elf/elf_writer.h"

#include <gtest/gtest.h>

#include <sstream>

#include "elf/elf_format.h"
#include "elf/elf_test_image.h"
#include "support/tools.h"

namespace r3k::elf {
namespace {

using test::kSmallTextEnd;

struct SymbolRow {
  std::string name;
  uint32_t value, size;
  uint8_t binding, type;
  uint16_t section;
  bool operator==(const SymbolRow&) const = default;
};

std::ostream& operator<<(std::ostream& out, const SymbolRow& row) {
  return out << row.name << " value=0x" << std::hex << row.value << " size=" << std::dec << row.size
             << " bind=" << int{row.binding} << " type=" << int{row.type} << " section=" << row.section;
}

class ElfWriterTest : public ::testing::Test {
 protected:
  const Image image = test::small_image();
  const std::vector<uint8_t> file = elf_bytes(image);

  FileHeader header() const { return decode_file_header(file.data()); }
  ProgramHeader segment(int index) const {
    return decode_program_header(file.data() + header().program_header_offset + index * kProgramHeaderSize);
  }
  SectionHeader section(int index) const {
    return decode_section_header(file.data() + header().section_header_offset + index * kSectionHeaderSize);
  }
  std::string section_name(int index) const {
    return test::string_at(file, section(header().section_name_index).offset, section(index).name);
  }

  void checkSection(int index, const std::string& name, uint32_t type, uint32_t flags, uint32_t address,
                    uint32_t size) const {
    SCOPED_TRACE("section " + std::to_string(index) + " " + name);
    const SectionHeader s = section(index);
    EXPECT_EQ(section_name(index), name);
    EXPECT_EQ(s.type, type);
    EXPECT_EQ(s.flags, flags);
    EXPECT_EQ(s.address, address);
    EXPECT_EQ(s.size, size);
    EXPECT_LE(uint64_t{s.offset} + s.size, header().section_header_offset);
  }

  std::vector<SymbolRow> symbols() const {
    const SectionHeader symtab = section(5), strtab = section(symtab.link);
    std::vector<SymbolRow> rows;
    for (uint32_t at = 0; at < symtab.size; at += kSymbolSize) {
      const SymbolRecord s = decode_symbol(file.data() + symtab.offset + at);
      rows.push_back(
          {test::string_at(file, strtab.offset, s.name), s.value, s.size, s.binding, s.type, s.section});
    }
    return rows;
  }
};

TEST_F(ElfWriterTest, FileHeaderDescribesAnO32MipsIExecutableEnteredAtTheResetVector) {
  const uint8_t ident[] = {0x7F, 'E', 'L', 'F', 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_TRUE(std::equal(std::begin(ident), std::end(ident), file.begin()));
  const FileHeader h = header();
  EXPECT_EQ(h.type, 2);             // ET_EXEC
  EXPECT_EQ(h.machine, 8);          // EM_MIPS
  EXPECT_EQ(get32(&file[20]), 1u);  // e_version
  EXPECT_EQ(h.entry, 0xBFC00000u);
  EXPECT_EQ(h.flags, 0x1001u);
  EXPECT_EQ(get16(&file[40]), 52);  // e_ehsize
  EXPECT_EQ(h.program_header_offset, 52u);
  EXPECT_EQ(h.program_header_size, 32);
  EXPECT_EQ(h.program_header_count, 2);
  EXPECT_EQ(h.section_header_size, 40);
  EXPECT_EQ(h.section_header_count, 7);
  EXPECT_EQ(h.section_name_index, 4);
  EXPECT_EQ(uint64_t{h.section_header_offset} + 7 * 40, file.size());
}

TEST_F(ElfWriterTest, TextAndDataSegmentsSitOnSegmentBoundariesAndDataLoadsAtEndOfText) {
  const ProgramHeader text = segment(0), data = segment(1);
  EXPECT_EQ(text.type, 1u);  // PT_LOAD
  EXPECT_EQ(text.offset, 0x10000u);
  EXPECT_EQ(text.virtual_address, 0xBFC00000u);
  EXPECT_EQ(text.physical_address, 0xBFC00000u);
  EXPECT_EQ(text.file_size, kSmallTextEnd - 0xBFC00000);
  EXPECT_EQ(text.memory_size, text.file_size);
  EXPECT_EQ(text.flags, 5u);  // R+X
  EXPECT_EQ(text.alignment, 0x10000u);

  EXPECT_EQ(data.type, 1u);
  EXPECT_EQ(data.offset, 0x20000u);
  EXPECT_EQ(data.virtual_address, 0x80000000u);
  EXPECT_EQ(data.physical_address, kSmallTextEnd);
  EXPECT_EQ(data.file_size, 0x10u);
  EXPECT_EQ(data.memory_size, 0x10u);
  EXPECT_EQ(data.flags, 6u);  // R+W
  EXPECT_EQ(data.alignment, 0x10000u);

  EXPECT_EQ(get32(&file[0x10000]), image.text[0]);
  EXPECT_EQ(get32(&file[0x10000 + text.file_size - 24]), 0x800B7F70u);  // the register-usage record
  EXPECT_TRUE(std::equal(image.data.begin(), image.data.end(), file.begin() + 0x20000));
}

TEST_F(ElfWriterTest, SectionsInOrder) {
  EXPECT_EQ(section(0).type, 0u);
  EXPECT_EQ(section(0).size, 0u);
  checkSection(1, ".text", 1, 6, 0xBFC00000, kSmallTextEnd - 0xBFC00000);  // PROGBITS, AX
  checkSection(2, ".data", 1, 3, 0x80000000, 0x10);                        // PROGBITS, WA
  checkSection(3, ".debug_aranges", 0x7000001E, 0, 0, section(3).size);  // MIPS_DWARF
  checkSection(4, ".pdr", 1, 0, 0, 2 * 32);
  checkSection(5, ".debug_line", 0x7000001E, 0, 0, section(5).size);
  checkSection(6, ".debug_info", 0x7000001E, 0, 0, section(6).size);
  checkSection(7, ".debug_abbrev", 0x7000001E, 0, 0, section(7).size);
  checkSection(8, ".shstrtab", 3, 0, 0, section(8).size);
  checkSection(9, ".symtab", 2, 0, 0, 35 * 16);
  checkSection(10, ".strtab", 3, 0, 0, section(10).size);
  EXPECT_EQ(section(1).offset, 0x10000u);
  EXPECT_EQ(section(2).offset, 0x20000u);
  EXPECT_EQ(section(9).link, 10u);
  EXPECT_EQ(section(9).info, 13u);  // first global
  EXPECT_EQ(section(9).entry_size, 16u);
  // Three units (the start code and two routines): one address-range table each.
  EXPECT_EQ(section(3).size, 3 * 32u);
  for (int i = 3; i <= 10; ++i) EXPECT_GT(section(i).offset, section(i - 1).offset);
}

TEST_F(ElfWriterTest, SymbolsLocalsFirstThenRoutinesThenLinkTimeSymbols) {
  constexpr uint8_t L = kBindLocal, G = kBindGlobal;
  constexpr uint8_t NOTYPE = kSymbolNoType, FUNC = kSymbolFunction, SECTION = kSymbolSection,
                    SRCFILE = kSymbolFile;
  constexpr uint16_t TEXT = 1, DATA = 2, ABS = 0xFFF1, UND = 0;
  const std::vector<SymbolRow> expected = {
      {"", 0, 0, L, NOTYPE, UND},
      {"", 0xBFC00000, 0, L, SECTION, TEXT},
      {"", 0x80000000, 0, L, SECTION, DATA},
      {"start.S", 0, 0, L, SRCFILE, ABS},
      {"test_finish", 0xBFC00100, 0, L, NOTYPE, TEXT},
      {"locate", 0xBFC0038C, 0, L, NOTYPE, TEXT},
      {"inst_test", 0xBFC003C0, 0, L, NOTYPE, TEXT},
      {"test_end", 0xBFC00800, 0, L, NOTYPE, TEXT},
      {"wait_1s", 0xBFC0084C, 0, L, NOTYPE, TEXT},
      {"inst/n2_sll.S", 0, 0, L, SRCFILE, ABS},  // link order, not run order
      {"inst_error", 0xBFC00880 + 120 - 20, 0, L, NOTYPE, TEXT},
      {"inst/n1_addu.S", 0, 0, L, SRCFILE, ABS},
      {"inst_error", 0xBFC00900 + 100 - 20, 0, L, NOTYPE, TEXT},
      {"n2_sll_test", 0xBFC00880, 120, G, FUNC, TEXT},
      {"n1_addu_test", 0xBFC00900, 100, G, FUNC, TEXT},
      {"_start", 0xBFC00000, 0, G, NOTYPE, TEXT},
      {"start", 0xBFC00000, 0, G, NOTYPE, TEXT},
      {"_ftext", 0xBFC00000, 0, G, NOTYPE, TEXT},
      {"_etext", kSmallTextEnd, 0, G, NOTYPE, TEXT},
      {"rodata_end", kSmallTextEnd, 0, G, NOTYPE, TEXT},
      {"data_load_start", kSmallTextEnd, 0, G, NOTYPE, ABS},
      {"_fdata", 0x80000000, 0, G, NOTYPE, DATA},
      {"__CTOR_LIST__", 0x80000000, 0, G, NOTYPE, DATA},
      {"__CTOR_END__", 0x80000008, 0, G, NOTYPE, DATA},
      {"__DTOR_LIST__", 0x80000008, 0, G, NOTYPE, DATA},
      {"__DTOR_END__", 0x80000010, 0, G, NOTYPE, DATA},
      {"_edata", 0x80000010, 0, G, NOTYPE, DATA},
      {"__bss_start", 0x80000010, 0, G, NOTYPE, DATA},
      {"_fbss", 0x80000010, 0, G, NOTYPE, DATA},
      {"_end", 0x80000010, 0, G, NOTYPE, DATA},
      {"data_size", 0x10, 0, G, NOTYPE, ABS},
      {"_gp", 0x80008000, 0, G, NOTYPE, ABS},
      {"_stack", 0x80003FE0, 0, G, NOTYPE, ABS},
      {"_heap", 0x80000100, 0, G, NOTYPE, ABS},
      {"__main", 0, 0, G, NOTYPE, UND},
  };
  const std::vector<SymbolRow> actual = symbols();
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(actual[i], expected[i]) << "symbol " << i;
}

TEST_F(ElfWriterTest, ProcedureDescriptorsDeclareFramelessLeavesReturningThroughRa) {
  const SectionHeader pdr = section(3);
  std::vector<uint32_t> words;
  for (uint32_t at = 0; at < pdr.size; at += 4) words.push_back(get32(&file[pdr.offset + at]));
  EXPECT_EQ(words, (std::vector<uint32_t>{0xBFC00880, 0, 0, 0, 0, 0, 29, 31,  //
                                          0xBFC00900, 0, 0, 0, 0, 0, 29, 31}));
}

TEST_F(ElfWriterTest, OutputIsTheSameEveryTimeAndThroughEveryEntryPoint) {
  EXPECT_EQ(elf_bytes(test::small_image()), file);
  std::ostringstream stream;
  write_elf(image, stream);
  EXPECT_EQ(stream.str(), std::string(file.begin(), file.end()));
  test::TempDir dir;
  write_elf_file(image, dir.path("image.elf"));
  EXPECT_EQ(test::read_text(dir.path("image.elf")), std::string(file.begin(), file.end()));
}

// The data goes to the first segment boundary at or after the end of the text.
TEST(ElfWriter, DataSegmentOffsetFollowsTheTextSize) {
  const std::pair<uint32_t, uint32_t> text_size_to_data_offset[] = {
      {4, 0x20000}, {0xFFFC, 0x20000}, {0x10000, 0x20000}, {0x10004, 0x30000}};
  for (auto [text_size, data_offset] : text_size_to_data_offset) {
    Image image;
    image.text_base = 0xBFC00000;
    image.text.assign(text_size / 4, 0x01234567);
    image.data.assign(16, 0xAB);
    const std::vector<uint8_t> file = elf_bytes(image);
    const FileHeader h = decode_file_header(file.data());
    const ProgramHeader data =
        decode_program_header(file.data() + h.program_header_offset + kProgramHeaderSize);
    EXPECT_EQ(data.offset, data_offset) << "text size 0x" << std::hex << text_size;
    EXPECT_EQ(data.physical_address, 0xBFC00000 + text_size);
    EXPECT_EQ(file.at(data_offset), 0xAB);
  }
}

}  // namespace
}  // namespace r3k::elf
