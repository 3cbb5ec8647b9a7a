#include "elf/elf_format.h"

#include <algorithm>
#include <iterator>

namespace r3k::elf {

void encode(const FileHeader& header, uint8_t* out) {
  std::fill(out, out + kFileHeaderSize, 0);
  std::copy(std::begin(kMagic), std::end(kMagic), out);
  out[kIdentClass] = kClass32;
  out[kIdentData] = kDataLittleEndian;
  out[kIdentVersion] = kVersionCurrent;
  put16(out + 16, header.type);
  put16(out + 18, header.machine);
  put32(out + 20, kVersionCurrent);
  put32(out + 24, header.entry);
  put32(out + 28, header.program_header_offset);
  put32(out + 32, header.section_header_offset);
  put32(out + 36, header.flags);
  put16(out + 40, kFileHeaderSize);
  put16(out + 42, header.program_header_size);
  put16(out + 44, header.program_header_count);
  put16(out + 46, header.section_header_size);
  put16(out + 48, header.section_header_count);
  put16(out + 50, header.section_name_index);
}

FileHeader decode_file_header(const uint8_t* in) {
  FileHeader header;
  header.type = get16(in + 16);
  header.machine = get16(in + 18);
  header.entry = get32(in + 24);
  header.program_header_offset = get32(in + 28);
  header.section_header_offset = get32(in + 32);
  header.flags = get32(in + 36);
  header.program_header_size = get16(in + 42);
  header.program_header_count = get16(in + 44);
  header.section_header_size = get16(in + 46);
  header.section_header_count = get16(in + 48);
  header.section_name_index = get16(in + 50);
  return header;
}

void encode(const ProgramHeader& header, uint8_t* out) {
  const uint32_t fields[] = {
      header.type,      header.offset,      header.virtual_address, header.physical_address,
      header.file_size, header.memory_size, header.flags,           header.alignment};
  for (uint32_t field : fields) put32(out, field), out += 4;
}

ProgramHeader decode_program_header(const uint8_t* in) {
  return {get32(in),      get32(in + 4),  get32(in + 8),  get32(in + 12),
          get32(in + 16), get32(in + 20), get32(in + 24), get32(in + 28)};
}

void encode(const SectionHeader& header, uint8_t* out) {
  const uint32_t fields[] = {header.name, header.type, header.flags, header.address,   header.offset,
                             header.size, header.link, header.info,  header.alignment, header.entry_size};
  for (uint32_t field : fields) put32(out, field), out += 4;
}

SectionHeader decode_section_header(const uint8_t* in) {
  return {get32(in),      get32(in + 4),  get32(in + 8),  get32(in + 12), get32(in + 16),
          get32(in + 20), get32(in + 24), get32(in + 28), get32(in + 32), get32(in + 36)};
}

void encode(const SymbolRecord& symbol, uint8_t* out) {
  put32(out, symbol.name);
  put32(out + 4, symbol.value);
  put32(out + 8, symbol.size);
  out[12] = static_cast<uint8_t>(symbol.binding << 4 | (symbol.type & 0xF));
  out[13] = 0;  // st_other: default visibility
  put16(out + 14, symbol.section);
}

SymbolRecord decode_symbol(const uint8_t* in) {
  SymbolRecord symbol;
  symbol.name = get32(in);
  symbol.value = get32(in + 4);
  symbol.size = get32(in + 8);
  symbol.binding = static_cast<uint8_t>(in[12] >> 4);
  symbol.type = static_cast<uint8_t>(in[12] & 0xF);
  symbol.section = get16(in + 14);
  return symbol;
}

}  // namespace r3k::elf
