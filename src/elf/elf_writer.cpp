#include "elf/elf_writer.h"

#include <limits>

#include "common/atomic_file.h"
#include "common/error.h"
#include "elf/dwarf_sections.h"
#include "elf/elf_sections.h"
#include "export/source_tree.h"

namespace r3k::elf {
namespace {

// The file in order. The section order is the one fixed here.
Output make_output(const Image& image, const ElfOptions& options) {
  Output output(image);
  auto& chunks = output.chunks;
  auto symbol_names = std::make_unique<StringTableChunk>(".strtab");
  auto symbols = std::make_unique<SymbolTableChunk>(image_symbols(image), *symbol_names);

  chunks.push_back(std::make_unique<FileHeaderChunk>());
  chunks.push_back(std::make_unique<ProgramHeadersChunk>());
  chunks.push_back(std::make_unique<TextChunk>());
  chunks.push_back(std::make_unique<DataChunk>());
  if (options.debug) {
    DwarfSections dwarf = dwarf_sections(debug_units(image, source::render_source_tree(image)));
    chunks.push_back(std::make_unique<DebugChunk>(".debug_aranges", std::move(dwarf.aranges)));
    chunks.push_back(std::make_unique<ProcedureDescriptorsChunk>());
    chunks.push_back(std::make_unique<DebugChunk>(".debug_line", std::move(dwarf.line)));
    chunks.push_back(std::make_unique<DebugChunk>(".debug_info", std::move(dwarf.info)));
    chunks.push_back(std::make_unique<DebugChunk>(".debug_abbrev", std::move(dwarf.abbrev)));
  } else {
    chunks.push_back(std::make_unique<ProcedureDescriptorsChunk>());
  }
  chunks.push_back(std::make_unique<SectionNamesChunk>());
  chunks.push_back(std::move(symbols));
  chunks.push_back(std::move(symbol_names));
  chunks.push_back(std::make_unique<SectionHeadersChunk>());
  return output;
}

void number_sections(Output& output) {
  uint16_t index = 1;  // 0 is the null section
  for (auto& chunk : output.chunks)
    if (chunk->is_section()) chunk->index = index++;
}

uint64_t align_up(uint64_t value, uint32_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

// Places each chunk on its boundary right after the one before; returns the
// file size.
uint32_t place_chunks(Output& output) {
  uint64_t offset = 0;
  for (auto& chunk : output.chunks) {
    offset = align_up(offset, chunk->file_alignment);
    chunk->offset = static_cast<uint32_t>(offset);
    offset += chunk->size(output);
    if (offset > std::numeric_limits<uint32_t>::max())
      throw Error("the image is too large for a 32-bit ELF file");
  }
  return static_cast<uint32_t>(offset);
}

}  // namespace

std::vector<uint8_t> elf_bytes(const Image& image, const ElfOptions& options) {
  Output output = make_output(image, options);
  number_sections(output);
  for (auto& chunk : output.chunks) chunk->resolve(output);
  std::vector<uint8_t> bytes(place_chunks(output), 0);  // gaps between chunks stay zero
  for (const auto& chunk : output.chunks) chunk->copy(output, bytes.data() + chunk->offset);
  return bytes;
}

void write_elf(const Image& image, std::ostream& out, const ElfOptions& options) {
  const std::vector<uint8_t> bytes = elf_bytes(image, options);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void write_elf_file(const Image& image, const std::string& path, const ElfOptions& options) {
  write_file_atomically(path, elf_bytes(image, options));
}

}  // namespace r3k::elf
