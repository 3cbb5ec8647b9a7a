// The symbols of an image's ELF file: the start code's labels, each routine
// with its failure exit, and the link-time symbols a linker script would define.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "elf/elf_format.h"
#include "image/image.h"

namespace r3k::elf {

// The section a symbol belongs to. The writer turns it into a section index
// once the sections are numbered.
enum class SymbolPlace : uint8_t { Undefined, Absolute, Text, Data };

struct SymbolSpec {
  std::string name;
  uint32_t value = 0;
  uint32_t size = 0;
  uint8_t binding = kBindLocal;
  uint8_t type = kSymbolNoType;
  SymbolPlace place = SymbolPlace::Absolute;
};

// What a link-time symbol's value is measured from.
enum class Anchor : uint8_t { Zero, TextStart, TextEnd, DataStart, DataEnd, DataSize };

struct LinkSymbol {
  const char* name;
  Anchor anchor;
  uint32_t offset;  // added to the anchor's value
  SymbolPlace place;
};

// Every link-time symbol of the image, all global. None is used by the code:
// they are there for tools and people reading the file.
inline constexpr LinkSymbol kLinkSymbols[] = {
    {"_start", Anchor::TextStart, 0, SymbolPlace::Text},
    {"start", Anchor::TextStart, 0, SymbolPlace::Text},
    {"_ftext", Anchor::TextStart, 0, SymbolPlace::Text},
    {"_etext", Anchor::TextEnd, 0, SymbolPlace::Text},
    {"rodata_end", Anchor::TextEnd, 0, SymbolPlace::Text},
    {"data_load_start", Anchor::TextEnd, 0, SymbolPlace::Absolute},  // where .data is stored
    {"_fdata", Anchor::DataStart, 0, SymbolPlace::Data},
    {"__CTOR_LIST__", Anchor::DataStart, 0, SymbolPlace::Data},
    {"__CTOR_END__", Anchor::DataStart, 8, SymbolPlace::Data},
    {"__DTOR_LIST__", Anchor::DataStart, 8, SymbolPlace::Data},
    {"__DTOR_END__", Anchor::DataEnd, 0, SymbolPlace::Data},
    {"_edata", Anchor::DataEnd, 0, SymbolPlace::Data},
    {"__bss_start", Anchor::DataEnd, 0, SymbolPlace::Data},  // the bss is empty
    {"_fbss", Anchor::DataEnd, 0, SymbolPlace::Data},
    {"_end", Anchor::DataEnd, 0, SymbolPlace::Data},
    {"data_size", Anchor::DataSize, 0, SymbolPlace::Absolute},
    {"_gp", Anchor::DataStart, 0x8000, SymbolPlace::Absolute},
    {"_stack", Anchor::Zero, 0x80003FE0, SymbolPlace::Absolute},
    {"_heap", Anchor::Zero, 0x80000100, SymbolPlace::Absolute},
    {"__main", Anchor::Zero, 0, SymbolPlace::Undefined},  // declared, never defined
};

// The routines by address, the order a linker would have placed their files.
std::vector<const RoutineInfo*> routines_in_link_order(const Image& image);

// The whole symbol table without its null entry, locals first: a section
// symbol for .text and .data; the start file and its labels; each routine's
// file and its inst_error label; then the routines as global functions and
// the link-time symbols.
std::vector<SymbolSpec> image_symbols(const Image& image);

}  // namespace r3k::elf
