// The DWARF (version 2) sections of an image, written as GNU as writes them
// for assembler sources: per unit a compilation-unit entry with its line
// table offset, address range, name, directory, producer and language
// (MIPS assembler), a line program, and an address-range table.
#pragma once

#include <cstdint>
#include <vector>

#include "elf/elf_chunk.h"
#include "elf/dwarf_units.h"

namespace r3k::elf {

struct DwarfSections {
  std::vector<uint8_t> aranges, line, info, abbrev;
};

DwarfSections dwarf_sections(const std::vector<DebugUnit>& units);

// A debug section whose bytes are known beforehand.
class DebugChunk : public Chunk {
 public:
  DebugChunk(std::string name, std::vector<uint8_t> bytes);
  uint32_t size(const Output&) const override { return static_cast<uint32_t>(bytes_.size()); }
  void copy(const Output&, uint8_t* out) const override;

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace r3k::elf
