// The link-time symbols the image defines, as a linker script would: where
// each one's value comes from and which section it belongs to. The ELF
// writer puts them in the symbol table; the exported linker script defines
// them the same way.
#pragma once

#include <cstdint>
#include <vector>

#include "image/image.h"

namespace r3k {

// The section a symbol belongs to. The writer turns it into a section index
// once the sections are numbered.
enum class SymbolPlace : uint8_t { Undefined, Absolute, Text, Data };

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

}  // namespace r3k
