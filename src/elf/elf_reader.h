// Reads an ELF32 little-endian MIPS executable into the boot memory it loads,
// for running an image from a file. Any file is checked in full first: a
// malformed one is refused with a one-line r3k::Error naming the file and
// the problem, and nothing outside the file's bytes is ever read.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "elf/elf_format.h"

namespace r3k::elf {

struct ElfSymbol {
  std::string name;
  uint32_t value = 0;
  uint32_t size = 0;
  uint8_t type = 0;     // kSymbol*
  uint8_t binding = 0;  // kBind*
  uint16_t section = 0;
};

struct LoadedElf {
  uint32_t entry = 0;
  // The boot memory from 0xBFC00000: every loadable segment at its physical
  // (load) address, which is where the boot memory holds it; gaps are zero.
  std::vector<uint8_t> boot;
  // The .symtab's symbols without the null one; empty when the file has no
  // section headers or no symbol table.
  std::vector<ElfSymbol> symbols;

  // The first symbol of that name, or nullptr.
  const ElfSymbol* find_symbol(std::string_view name) const;
};

LoadedElf read_elf(std::span<const uint8_t> bytes, const std::string& name_for_errors);
LoadedElf read_elf_file(const std::string& path);

// The same, with the boot memory put together inside a private mapping of
// the file where the segments allow it (an ordinary file's do): pages are
// read as a run touches them and only pages written are copied, where
// reading the file whole would touch all of it. Otherwise read as
// read_elf_file does. `boot` lives as long as `storage`.
struct MappedElf {
  uint32_t entry = 0;
  std::span<const uint8_t> boot;
  std::vector<ElfSymbol> symbols;
  std::shared_ptr<const void> storage;
};
MappedElf map_elf_file(const std::string& path);

}  // namespace r3k::elf
