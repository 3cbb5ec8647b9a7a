#include "elf/elf_sections.h"

#include <algorithm>

#include "elf/elf_layout.h"
#include "board/layout.h"

namespace r3k::elf {
namespace {

SectionHeader section_header(uint32_t type, uint32_t flags, uint32_t address, uint32_t alignment,
                             uint32_t entry_size = 0) {
  SectionHeader header;
  header.type = type;
  header.flags = flags;
  header.address = address;
  header.alignment = alignment;
  header.entry_size = entry_size;
  return header;
}

const SectionHeader kNoSection{};

ProgramHeader load_segment(uint32_t offset, uint32_t virtual_address, uint32_t physical_address,
                           uint32_t size, uint32_t flags) {
  ProgramHeader segment;
  segment.type = kSegmentLoad;
  segment.offset = offset;
  segment.virtual_address = virtual_address;
  segment.physical_address = physical_address;
  segment.file_size = segment.memory_size = size;
  segment.flags = flags;
  segment.alignment = kSegmentAlignment;
  return segment;
}

}  // namespace

std::vector<const Chunk*> Output::sections() const {
  std::vector<const Chunk*> sections;
  for (const auto& chunk : chunks)
    if (chunk->is_section()) sections.push_back(chunk.get());
  return sections;
}

const Chunk& Output::section(std::string_view name) const {
  for (const auto& chunk : chunks)
    if (chunk->name == name) return *chunk;
  throw std::logic_error("ELF writer: missing section " + std::string(name));
}

uint32_t StringTable::add(const std::string& text) {
  if (text.empty()) return 0;
  auto [at, added] = offsets_.try_emplace(text, static_cast<uint32_t>(bytes_.size()));
  if (added) bytes_.append(text).push_back('\0');
  return at->second;
}

// ---- headers ---------------------------------------------------------------

FileHeaderChunk::FileHeaderChunk() : Chunk("", kNoSection, 4) {}

void FileHeaderChunk::copy(const Output& output, uint8_t* out) const {
  FileHeader header;
  header.type = kTypeExecutable;
  header.machine = kMachineMips;
  header.entry = output.section(".text").header.address;  // the reset vector
  header.flags = kImageFlags;
  header.program_header_offset = output.chunk<ProgramHeadersChunk>().offset;
  header.program_header_size = kProgramHeaderSize;
  header.program_header_count = ProgramHeadersChunk::kCount;
  header.section_header_offset = output.chunk<SectionHeadersChunk>().offset;
  header.section_header_size = kSectionHeaderSize;
  header.section_header_count = static_cast<uint16_t>(output.sections().size() + 1);
  header.section_name_index = output.section(".shstrtab").index;
  encode(header, out);
}

ProgramHeadersChunk::ProgramHeadersChunk() : Chunk("", kNoSection, 4) {}

void ProgramHeadersChunk::copy(const Output& output, uint8_t* out) const {
  const Chunk& text = output.section(".text");
  const Chunk& data = output.section(".data");
  const uint32_t text_size = text.size(output), data_size = data.size(output);

  const ProgramHeader text_segment = load_segment(text.offset, text.header.address, text.header.address,
                                                   text_size, kSegmentRead | kSegmentExecute);
  // The data runs in RAM but is stored in the boot memory right after the text.
  const ProgramHeader data_segment = load_segment(data.offset, data.header.address,
                                                   text.header.address + text_size, data_size,
                                                   kSegmentRead | kSegmentWrite);
  encode(text_segment, out);
  encode(data_segment, out + kProgramHeaderSize);
}

SectionHeadersChunk::SectionHeadersChunk() : Chunk("", kNoSection, 4) {}

uint32_t SectionHeadersChunk::size(const Output& output) const {
  return static_cast<uint32_t>(output.sections().size() + 1) * kSectionHeaderSize;
}

void SectionHeadersChunk::copy(const Output& output, uint8_t* out) const {
  encode(SectionHeader{}, out);  // index 0 is the null section
  for (const Chunk* section : output.sections()) {
    SectionHeader header = section->header;
    header.offset = section->offset;
    header.size = section->size(output);
    encode(header, out + section->index * kSectionHeaderSize);
  }
}

// ---- the loaded sections -----------------------------------------------------

TextChunk::TextChunk()
    : Chunk(".text",
            section_header(kSectionProgbits, kSectionAlloc | kSectionExecute, 0, kTextAlignment),
            kSegmentAlignment) {}

void TextChunk::resolve(Output& output) { header.address = output.image.text_base; }

uint32_t TextChunk::size(const Output& output) const {
  return 4 * static_cast<uint32_t>(output.image.text.size());
}

void TextChunk::copy(const Output& output, uint8_t* out) const {
  for (uint32_t word : output.image.text) put32(out, word), out += 4;
}

DataChunk::DataChunk()
    : Chunk(".data", section_header(kSectionProgbits, kSectionAlloc | kSectionWrite, layout::kRamBase, 16),
            kSegmentAlignment) {}

uint32_t DataChunk::size(const Output& output) const {
  return static_cast<uint32_t>(output.image.data.size());
}

void DataChunk::copy(const Output& output, uint8_t* out) const {
  std::copy(output.image.data.begin(), output.image.data.end(), out);
}

// ---- .pdr --------------------------------------------------------------------

ProcedureDescriptorsChunk::ProcedureDescriptorsChunk()
    : Chunk(".pdr", section_header(kSectionProgbits, 0, 0, 4), 4) {}

uint32_t ProcedureDescriptorsChunk::size(const Output& output) const {
  return static_cast<uint32_t>(output.image.routines.size()) * kProcedureDescriptorSize;
}

// Each descriptor: address, register mask and offset, floating-point register
// mask and offset, frame offset, frame register, return register. The
// routines save nothing and have no frame, so all but the first and the last
// two are zero.
void ProcedureDescriptorsChunk::copy(const Output& output, uint8_t* out) const {
  for (const RoutineInfo* routine : routines_in_link_order(output.image)) {
    const uint32_t fields[8] = {
        routine->address, 0, 0, 0, 0, 0, kDescriptorFrameRegister, kDescriptorReturnRegister};
    for (uint32_t field : fields) put32(out, field), out += 4;
  }
}

// ---- string and symbol tables ----------------------------------------------

StringTableChunk::StringTableChunk(std::string name)
    : Chunk(std::move(name), section_header(kSectionStrtab, 0, 0, 1), 1) {}

uint32_t StringTableChunk::size(const Output&) const { return static_cast<uint32_t>(table.bytes().size()); }

void StringTableChunk::copy(const Output&, uint8_t* out) const {
  std::copy(table.bytes().begin(), table.bytes().end(), out);
}

void SectionNamesChunk::resolve(Output& output) {
  for (auto& chunk : output.chunks)
    if (chunk->is_section()) chunk->header.name = table.add(chunk->name);
}

SymbolTableChunk::SymbolTableChunk(std::vector<SymbolSpec> symbols, StringTableChunk& names)
    : Chunk(".symtab", section_header(kSectionSymtab, 0, 0, 4, kSymbolSize), 4),
      symbols_(std::move(symbols)),
      names_(names) {
  for (const SymbolSpec& symbol : symbols_) name_offsets_.push_back(names.table.add(symbol.name));
}

void SymbolTableChunk::resolve(Output& output) {
  header.link = names_.index;
  // sh_info: the index of the first global, which is one past the last local
  // counting the null symbol.
  auto first_global = std::find_if(symbols_.begin(), symbols_.end(),
                                   [](const SymbolSpec& s) { return s.binding != kBindLocal; });
  header.info = static_cast<uint32_t>(first_global - symbols_.begin()) + 1;
  text_index_ = output.section(".text").index;
  data_index_ = output.section(".data").index;
}

uint32_t SymbolTableChunk::size(const Output&) const {
  return static_cast<uint32_t>(symbols_.size() + 1) * kSymbolSize;
}

void SymbolTableChunk::copy(const Output&, uint8_t* out) const {
  encode(SymbolRecord{}, out);
  for (size_t i = 0; i < symbols_.size(); ++i) {
    const SymbolSpec& spec = symbols_[i];
    SymbolRecord record{name_offsets_[i], spec.value, spec.size, spec.binding, spec.type, 0};
    switch (spec.place) {
      case SymbolPlace::Undefined: record.section = kSectionIndexUndefined; break;
      case SymbolPlace::Absolute: record.section = kSectionIndexAbsolute; break;
      case SymbolPlace::Text: record.section = text_index_; break;
      case SymbolPlace::Data: record.section = data_index_; break;
    }
    encode(record, out + (i + 1) * kSymbolSize);
  }
}

}  // namespace r3k::elf
