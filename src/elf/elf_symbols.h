// The symbols of an image's ELF file: the start code's labels, each routine
// with its failure exit, and the link-time symbols a linker script would define.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "elf/elf_format.h"
#include "image/image.h"
#include "image/link_symbols.h"

namespace r3k::elf {

struct SymbolSpec {
  std::string name;
  uint32_t value = 0;
  uint32_t size = 0;
  uint8_t binding = kBindLocal;
  uint8_t type = kSymbolNoType;
  SymbolPlace place = SymbolPlace::Absolute;
};

using r3k::Anchor;
using r3k::kLinkSymbols;
using r3k::LinkSymbol;
using r3k::SymbolPlace;


using r3k::routines_in_link_order;

// The whole symbol table without its null entry, locals first: a section
// symbol for .text and .data; the start file and its labels; each routine's
// file and its inst_error label; then the routines as global functions and
// the link-time symbols.
std::vector<SymbolSpec> image_symbols(const Image& image);

}  // namespace r3k::elf
