// The ELF reader: what the writer writes comes back, and a malformed file is
// refused with a one-line message, never read out of bounds (this suite runs
// under AddressSanitizer).
#include "elf/elf_reader.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "common/error.h"
#include "elf/elf_format.h"
#include "elf/elf_symbols.h"
#include "elf/elf_test_image.h"
#include "elf/elf_writer.h"
#include "support/tools.h"

namespace r3k::elf {
namespace {

const std::vector<uint8_t>& written() {
  static const std::vector<uint8_t> file = elf_bytes(test::small_image());
  return file;
}

// Offsets of the fields the corruption cases change. The symbol table and its
// string table are found as a reader finds them: by type, then by link.
struct Fields {
  FileHeader header;
  uint32_t segment(int index) const { return header.program_header_offset + index * kProgramHeaderSize; }
  uint32_t section(int index) const { return header.section_header_offset + index * kSectionHeaderSize; }
  SectionHeader section_header(int index) const { return decode_section_header(&written()[section(index)]); }
  int symtab_index() const {
    for (int index = 1; index < header.section_header_count; ++index)
      if (section_header(index).type == kSectionSymtab) return index;
    throw std::logic_error("the written file has no symbol table");
  }
  int strtab_index() const { return static_cast<int>(section_header(symtab_index()).link); }
};
const Fields fields{decode_file_header(written().data())};

// The message if reading throws r3k::Error, "" if it reads.
std::string read_error(const std::vector<uint8_t>& bytes) {
  try {
    read_elf(bytes, "image.elf");
    return "";
  } catch (const Error& error) {
    return error.what();
  }
}

TEST(ElfReader, RoundTripGivesTheBootMemoryEntryAndSymbols) {
  const Image image = test::small_image();
  const LoadedElf loaded = read_elf(written(), "image.elf");
  EXPECT_EQ(loaded.entry, 0xBFC00000u);
  EXPECT_EQ(loaded.boot, image.boot_bytes());

  const std::vector<SymbolSpec> specs = image_symbols(image);
  ASSERT_EQ(loaded.symbols.size(), specs.size());
  for (size_t i = 0; i < specs.size(); ++i) {
    SCOPED_TRACE(specs[i].name);
    EXPECT_EQ(loaded.symbols[i].name, specs[i].name);
    EXPECT_EQ(loaded.symbols[i].value, specs[i].value);
    EXPECT_EQ(loaded.symbols[i].size, specs[i].size);
    EXPECT_EQ(loaded.symbols[i].binding, specs[i].binding);
    EXPECT_EQ(loaded.symbols[i].type, specs[i].type);
  }
  const ElfSymbol* routine = loaded.find_symbol("n1_addu_test");
  ASSERT_NE(routine, nullptr);
  EXPECT_EQ(routine->value, 0xBFC00900u);
  EXPECT_EQ(routine->section, 1);
  EXPECT_EQ(loaded.find_symbol("__main")->section, kSectionIndexUndefined);
  EXPECT_EQ(loaded.find_symbol("no_such_symbol"), nullptr);
}

TEST(ElfReader, ReadsFromAFileAndNamesAPathItCannotRead) {
  test::TempDir dir;
  write_elf_file(test::small_image(), dir.path("image.elf"));
  EXPECT_EQ(read_elf_file(dir.path("image.elf")).boot, test::small_image().boot_bytes());
  EXPECT_THROW(
      {
        try {
          read_elf_file(dir.path("absent.elf"));
        } catch (const Error& error) {
          EXPECT_EQ(std::string(error.what()),
                    "cannot read " + dir.path("absent.elf") + ": No such file or directory");
          throw;
        }
      },
      Error);
  EXPECT_THROW(read_elf_file(dir.dir()), Error);
}

TEST(ElfReader, FileWithoutSectionHeadersRunsWithoutNames) {
  std::vector<uint8_t> bytes = written();
  put32(&bytes[32], 0);  // e_shoff
  put16(&bytes[48], 0);  // e_shnum
  const LoadedElf loaded = read_elf(bytes, "image.elf");
  EXPECT_EQ(loaded.boot, test::small_image().boot_bytes());
  EXPECT_TRUE(loaded.symbols.empty());
}

TEST(ElfReader, SegmentsGoToTheirLoadAddressesWithGapsAndTailsZeroed) {
  std::vector<uint8_t> bytes = written();
  put32(&bytes[fields.segment(1) + 12], 0xBFFFFFF0);  // data at the very top of the boot memory
  put32(&bytes[fields.segment(1) + 20], 0x10);
  put32(&bytes[fields.segment(0) + 20], 0x1000);  // text memory size beyond its file size
  const LoadedElf loaded = read_elf(bytes, "image.elf");
  ASSERT_EQ(loaded.boot.size(), 0x400000u);
  const std::vector<uint8_t> text = test::small_image().boot_bytes();
  EXPECT_TRUE(std::equal(text.begin(), text.end() - 16, loaded.boot.begin()));
  EXPECT_TRUE(std::all_of(loaded.boot.begin() + (text.size() - 16), loaded.boot.end() - 16,
                          [](uint8_t b) { return b == 0; }));
  EXPECT_TRUE(std::equal(text.end() - 16, text.end(), loaded.boot.end() - 16));
}

// run reads through a private mapping of the file, building the boot memory
// in it where the segments allow: the same boot memory and symbols as
// reading the file whole, the file itself untouched, the same errors.
TEST(ElfReader, MappedReadGivesWhatTheWholeReadGives) {
  std::vector<std::pair<std::string, std::vector<uint8_t>>> files = {{"as written", written()}};
  std::vector<uint8_t> bytes = written();
  put32(&bytes[fields.segment(1) + 12], 0xBFFFFFF0);  // data at the top: the boot memory outgrows the file
  put32(&bytes[fields.segment(1) + 20], 0x10);
  put32(&bytes[fields.segment(0) + 20], 0x1000);
  files.push_back({"outgrows the file", bytes});
  bytes = written();
  put32(&bytes[fields.segment(0) + 20], get32(&bytes[fields.segment(0) + 20]) + 8);  // a zeroed tail, still fits
  put32(&bytes[fields.segment(1) + 12], get32(&bytes[fields.segment(1) + 12]) + 8);
  files.push_back({"text with a zeroed tail", bytes});
  bytes = written();
  put32(&bytes[32], 0), put16(&bytes[48], 0);  // no section headers
  files.push_back({"no section headers", bytes});
  bytes = written();
  bytes.resize(bytes.size() / 2);
  files.push_back({"truncated", bytes});
  test::TempDir dir;
  for (const auto& [name, contents] : files) {
    SCOPED_TRACE(name);
    const std::string path = dir.path("image.elf");
    test::write_bytes(path, contents);
    std::string whole_error, mapped_error;
    LoadedElf whole;
    MappedElf mapped;
    try {
      whole = read_elf_file(path);
    } catch (const Error& error) {
      whole_error = error.what();
    }
    try {
      mapped = map_elf_file(path);
    } catch (const Error& error) {
      mapped_error = error.what();
    }
    EXPECT_EQ(mapped_error, whole_error);
    EXPECT_EQ(std::vector<uint8_t>(mapped.boot.begin(), mapped.boot.end()), whole.boot);
    ASSERT_EQ(mapped.symbols.size(), whole.symbols.size());
    for (size_t i = 0; i < whole.symbols.size(); ++i) EXPECT_EQ(mapped.symbols[i].name, whole.symbols[i].name);
    EXPECT_EQ(test::read_text(path), std::string(contents.begin(), contents.end())) << "the file changed";
  }
}

TEST(ElfReader, RefusesEveryTruncationOfTheFile) {
  const std::vector<uint8_t>& file = written();
  std::vector<size_t> lengths;
  for (size_t length = 0; length < 0x200; ++length) lengths.push_back(length);
  for (size_t length = 0x200; length < file.size(); length += 0x777) lengths.push_back(length);
  for (uint32_t edge : {0x10000u, 0x20000u, fields.header.section_header_offset, uint32_t(file.size())})
    for (int delta = -9; delta <= -1; ++delta) lengths.push_back(edge + delta);
  for (size_t length : lengths) {
    const std::string message = read_error(std::vector<uint8_t>(file.begin(), file.begin() + length));
    EXPECT_EQ(message.rfind("image.elf: ", 0), 0u) << "length " << length << ": " << message;
    EXPECT_EQ(message.find('\n'), std::string::npos);
  }
}

struct Corruption {
  std::string what;
  std::function<void(std::vector<uint8_t>&)> apply;
  std::string expected;  // part of the message
};

TEST(ElfReader, RefusesEachMalformedFieldWithAMessageNamingIt) {
  const Fields& f = fields;
  const uint32_t text = f.segment(0), data = f.segment(1);
  const uint32_t symtab = f.section(f.symtab_index()), strtab = f.section(f.strtab_index());
  const uint32_t symtab_offset = get32(&written()[symtab + 16]), symtab_size = get32(&written()[symtab + 20]);
  ASSERT_EQ(f.section_header(f.strtab_index()).type, kSectionStrtab);
  const std::vector<Corruption> corruptions = {
      {"magic", [](auto& b) { b[1] = 'e'; }, "not an ELF file"},
      {"class", [](auto& b) { b[4] = 2; }, "not a 32-bit ELF file"},
      {"byte order", [](auto& b) { b[5] = 2; }, "not a little-endian ELF file"},
      {"machine", [](auto& b) { put16(&b[18], 3); }, "not a MIPS ELF file (machine 3)"},
      {"type", [](auto& b) { put16(&b[16], 1); }, "not an executable ELF file (type 1)"},
      {"program header size", [](auto& b) { put16(&b[42], 28); },
       "program header table entry size is 28, not 32"},
      {"program header offset", [](auto& b) { put32(&b[28], 0xFFFFFFF0); },
       "program header table (0x40 bytes at 0xFFFFFFF0)"},
      {"program header count", [](auto& b) { put16(&b[44], 0xFFFF); }, "program header table"},
      {"no program headers", [](auto& b) { put16(&b[44], 0); }, "no loadable segment"},
      {"no PT_LOAD", [=](auto& b) { put32(&b[text], 6), put32(&b[data], 0); }, "no loadable segment"},
      {"segment offset", [=](auto& b) { put32(&b[data + 4], 0xFFFFFFF8); }, "segment 1 file range"},
      {"segment file size", [=](auto& b) { put32(&b[text + 16], 0xFFFFFFFF); }, "segment 0 file range"},
      {"file size > memory size", [=](auto& b) { put32(&b[data + 20], 8); },
       "segment 1: file size 0x10 exceeds"},
      {"load address in RAM", [=](auto& b) { put32(&b[data + 12], 0x80000000); },
       "segment 1: load addresses 0x80000000..0x8000000F lie outside the boot memory 0xBFC00000..0xBFFFFFFF"},
      {"load past boot memory", [=](auto& b) { put32(&b[data + 12], 0xBFFFFFF8); },
       "outside the boot memory"},
      {"memory size wraps", [=](auto& b) { put32(&b[text + 20], 0xFFFFFFFF); }, "outside the boot memory"},
      {"overlap", [=](auto& b) { put32(&b[data + 12], 0xBFC00970); },
       "segments overlap at load address 0xBFC00970"},
      // Found by the fuzzer: an empty segment past the end of the others was
      // still copied, at an offset beyond the boot memory.
      {"every segment empty", [=](auto& b) { put32(&b[text + 16], 0), put32(&b[text + 20], 0), put32(&b[data + 16], 0),
                                               put32(&b[data + 20], 0); },
       "no loadable segment holds any bytes"},
      {"section header size", [](auto& b) { put16(&b[46], 0); },
       "section header table entry size is 0, not 40"},
      {"section header offset", [](auto& b) { put32(&b[32], 0xFFFFFFFF); }, "section header table"},
      {"section header count", [](auto& b) { put16(&b[48], 0xFFFF); }, "section header table"},
      {"symbol entry size", [=](auto& b) { put32(&b[symtab + 36], 8); }, "symbol table entry size is 8"},
      {"symbol table size", [=](auto& b) { put32(&b[symtab + 20], symtab_size + 3); },
       "not a whole number of entries"},
      {"symbol table range", [=](auto& b) { put32(&b[symtab + 20], 0xFFFFFFF0); },
       "symbol table (0xFFFFFFF0 bytes at 0x"},
      {"string table link", [=](auto& b) { put32(&b[symtab + 24], 0); }, "(section 0) is not a string table"},
      {"string table link range", [=](auto& b) { put32(&b[symtab + 24], 99); },
       "(section 99) is not a string table"},
      {"string table range", [=](auto& b) { put32(&b[strtab + 16], 0xFFFFFF00); }, "symbol string table"},
      {"string table cut short", [=](auto& b) { put32(&b[strtab + 20], 12); },
       "name runs past the end of its string table"},
      {"symbol name offset", [=](auto& b) { put32(&b[symtab_offset + 16 * 3], 0xFFFFFFFF); },
       "symbol 3: name runs past"},
  };
  for (const Corruption& corruption : corruptions) {
    std::vector<uint8_t> bytes = written();
    corruption.apply(bytes);
    const std::string message = read_error(bytes);
    EXPECT_NE(message.find(corruption.expected), std::string::npos)
        << corruption.what << ": got \"" << message << "\"";
    EXPECT_EQ(message.rfind("image.elf: ", 0), 0u) << corruption.what;
  }
}

// Random damage to the headers and tables, from a fixed seed: every result is
// a read or an r3k::Error, never a crash or an out-of-bounds access.
TEST(ElfReader, AnEmptySegmentMayLieBeyondTheOthers) {
  std::vector<uint8_t> bytes = written();
  const uint32_t data = fields.segment(1);
  put32(&bytes[data + 12], 0xBFFF0000);
  put32(&bytes[data + 16], 0);
  put32(&bytes[data + 20], 0);
  const LoadedElf elf = read_elf(bytes, "image.elf");
  EXPECT_EQ(elf.boot.size(), test::kSmallTextEnd - 0xBFC00000u);
}

TEST(ElfReader, SurvivesRandomDamageToHeadersAndTables) {
  const std::vector<uint8_t>& file = written();
  const uint32_t tables_start = 0x20000;  // .data, the debug sections, .pdr, the string and symbol tables, the section headers
  uint64_t state = 12345;
  auto next = [&state] {
    state = state * 6364136223846793005u + 1442695040888963407u;
    return static_cast<uint32_t>(state >> 32);
  };
  const uint32_t edge_values[] = {0, 1, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0xBFC00000, 0xFFFFFFF0};
  int refused = 0;
  for (int trial = 0; trial < 400; ++trial) {
    std::vector<uint8_t> bytes = file;
    for (int change = 0, changes = 1 + next() % 3; change < changes; ++change) {
      const bool in_headers = next() % 2 == 0;
      const uint32_t at = in_headers ? next() % (kFileHeaderSize + 2 * kProgramHeaderSize - 3)
                                     : tables_start + next() % (uint32_t(file.size()) - tables_start - 3);
      put32(&bytes[at], next() % 2 ? next() : edge_values[next() % std::size(edge_values)]);
    }
    const std::string message = read_error(bytes);
    if (!message.empty()) ++refused;
    EXPECT_EQ(message.find('\n'), std::string::npos);
  }
  EXPECT_GT(refused, 100);  // the damage does reach the checks
}

}  // namespace
}  // namespace r3k::elf
