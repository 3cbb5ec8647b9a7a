#include "elf/elf_symbols.h"

#include <algorithm>

#include "board/layout.h"

namespace r3k::elf {
namespace {

uint32_t anchor_value(const Image& image, Anchor anchor) {
  const auto data_size = static_cast<uint32_t>(image.data.size());
  switch (anchor) {
    case Anchor::Zero: return 0;
    case Anchor::TextStart: return image.text_base;
    case Anchor::TextEnd: return image.text_end();
    case Anchor::DataStart: return layout::kRamBase;
    case Anchor::DataEnd: return layout::kRamBase + data_size;
    case Anchor::DataSize: return data_size;
  }
  return 0;
}

SymbolSpec local(std::string name, uint32_t value, uint8_t type, SymbolPlace place) {
  return {std::move(name), value, 0, kBindLocal, type, place};
}

SymbolSpec file_symbol(std::string name) {
  return local(std::move(name), 0, kSymbolFile, SymbolPlace::Absolute);
}

}  // namespace

std::vector<SymbolSpec> image_symbols(const Image& image) {
  std::vector<SymbolSpec> symbols;
  symbols.push_back(local("", image.text_base, kSymbolSection, SymbolPlace::Text));
  symbols.push_back(local("", layout::kRamBase, kSymbolSection, SymbolPlace::Data));

  symbols.push_back(file_symbol(image.files.empty() ? "start.S" : image.files.front()));
  for (const StartLabel& label : image.start_labels)
    symbols.push_back(local(label.name, label.address, kSymbolNoType, SymbolPlace::Text));

  const std::vector<const RoutineInfo*> routines = routines_in_link_order(image);
  for (const RoutineInfo* routine : routines) {
    symbols.push_back(file_symbol(image.files.at(routine->file)));
    symbols.push_back(local("inst_error", routine->inst_error, kSymbolNoType, SymbolPlace::Text));
  }

  for (const RoutineInfo* routine : routines)
    symbols.push_back(
        {routine->name, routine->address, routine->size, kBindGlobal, kSymbolFunction, SymbolPlace::Text});
  for (const LinkSymbol& link : kLinkSymbols)
    symbols.push_back({link.name, anchor_value(image, link.anchor) + link.offset, 0, kBindGlobal,
                       kSymbolNoType, link.place});
  return symbols;
}

}  // namespace r3k::elf
