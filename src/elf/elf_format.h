// The ELF32 little-endian structures the writer and the reader share: the
// constants of the format and the byte encoding of each header and record.
//
// The structures are encoded field by field rather than copied from memory, so
// the file is the same whatever the host's byte order or struct padding.
#pragma once

#include <cstdint>

namespace r3k::elf {

// Identification bytes (e_ident).
inline constexpr uint8_t kMagic[4] = {0x7F, 'E', 'L', 'F'};
inline constexpr int kIdentSize = 16;
inline constexpr int kIdentClass = 4, kIdentData = 5, kIdentVersion = 6;
inline constexpr uint8_t kClass32 = 1;           // ELFCLASS32
inline constexpr uint8_t kDataLittleEndian = 1;  // ELFDATA2LSB
inline constexpr uint8_t kVersionCurrent = 1;    // EV_CURRENT

// File header.
inline constexpr uint16_t kTypeExecutable = 2;          // ET_EXEC
inline constexpr uint16_t kMachineMips = 8;             // EM_MIPS
inline constexpr uint32_t kMipsNoReorder = 0x00000001;  // EF_MIPS_NOREORDER
inline constexpr uint32_t kMipsAbiO32 = 0x00001000;     // EF_MIPS_ABI_O32
inline constexpr uint32_t kMipsArch1 = 0x00000000;      // EF_MIPS_ARCH_1

// Record sizes in the file.
inline constexpr uint32_t kFileHeaderSize = 52;
inline constexpr uint32_t kProgramHeaderSize = 32;
inline constexpr uint32_t kSectionHeaderSize = 40;
inline constexpr uint32_t kSymbolSize = 16;
inline constexpr uint32_t kProcedureDescriptorSize = 32;

// Program headers.
inline constexpr uint32_t kSegmentLoad = 1;  // PT_LOAD
// PF_X, PF_W, PF_R
inline constexpr uint32_t kSegmentExecute = 1, kSegmentWrite = 2, kSegmentRead = 4;

// Section headers.
inline constexpr uint32_t kSectionNull = 0;      // SHT_NULL
inline constexpr uint32_t kSectionProgbits = 1;  // SHT_PROGBITS
inline constexpr uint32_t kSectionSymtab = 2;    // SHT_SYMTAB
inline constexpr uint32_t kSectionStrtab = 3;    // SHT_STRTAB
inline constexpr uint32_t kSectionMipsDwarf = 0x7000001E;  // SHT_MIPS_DWARF: a DWARF section
// SHF_WRITE, SHF_ALLOC, SHF_EXECINSTR
inline constexpr uint32_t kSectionWrite = 1, kSectionAlloc = 2, kSectionExecute = 4;
inline constexpr uint16_t kSectionIndexUndefined = 0;      // SHN_UNDEF
inline constexpr uint16_t kSectionIndexAbsolute = 0xFFF1;  // SHN_ABS

// Symbols: st_info = binding << 4 | type.
inline constexpr uint8_t kBindLocal = 0, kBindGlobal = 1;  // STB_LOCAL, STB_GLOBAL
// STT_NOTYPE, STT_OBJECT, STT_FUNC, STT_SECTION, STT_FILE
inline constexpr uint8_t kSymbolNoType = 0, kSymbolObject = 1, kSymbolFunction = 2, kSymbolSection = 3,
                         kSymbolFile = 4;

struct FileHeader {
  uint16_t type = 0;
  uint16_t machine = 0;
  uint32_t entry = 0;
  uint32_t program_header_offset = 0;
  uint32_t section_header_offset = 0;
  uint32_t flags = 0;
  uint16_t program_header_size = 0;
  uint16_t program_header_count = 0;
  uint16_t section_header_size = 0;
  uint16_t section_header_count = 0;
  uint16_t section_name_index = 0;  // e_shstrndx
};

struct ProgramHeader {
  uint32_t type = 0;
  uint32_t offset = 0;
  uint32_t virtual_address = 0;
  uint32_t physical_address = 0;
  uint32_t file_size = 0;
  uint32_t memory_size = 0;
  uint32_t flags = 0;
  uint32_t alignment = 0;
};

struct SectionHeader {
  uint32_t name = 0;  // offset in .shstrtab
  uint32_t type = 0;
  uint32_t flags = 0;
  uint32_t address = 0;
  uint32_t offset = 0;
  uint32_t size = 0;
  uint32_t link = 0;
  uint32_t info = 0;
  uint32_t alignment = 0;
  uint32_t entry_size = 0;
};

struct SymbolRecord {
  uint32_t name = 0;  // offset in the linked string table
  uint32_t value = 0;
  uint32_t size = 0;
  uint8_t binding = 0;
  uint8_t type = 0;
  uint16_t section = 0;
};

// Little-endian fields.
inline void put16(uint8_t* out, uint16_t value) {
  out[0] = static_cast<uint8_t>(value);
  out[1] = static_cast<uint8_t>(value >> 8);
}
inline void put32(uint8_t* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}
inline uint16_t get16(const uint8_t* in) { return static_cast<uint16_t>(in[0] | in[1] << 8); }
inline uint32_t get32(const uint8_t* in) {
  return static_cast<uint32_t>(in[0]) | static_cast<uint32_t>(in[1]) << 8 |
         static_cast<uint32_t>(in[2]) << 16 | static_cast<uint32_t>(in[3]) << 24;
}

// Each encode writes exactly the record's size in bytes; each decode reads it.
void encode(const FileHeader& header, uint8_t* out);  // identification included
void encode(const ProgramHeader& header, uint8_t* out);
void encode(const SectionHeader& header, uint8_t* out);
void encode(const SymbolRecord& symbol, uint8_t* out);
FileHeader decode_file_header(const uint8_t* in);  // identification not checked
ProgramHeader decode_program_header(const uint8_t* in);
SectionHeader decode_section_header(const uint8_t* in);
SymbolRecord decode_symbol(const uint8_t* in);

}  // namespace r3k::elf
