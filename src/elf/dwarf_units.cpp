#include "elf/dwarf_units.h"

#include "elf/elf_symbols.h"

namespace r3k::elf {
namespace {

DebugUnit unit(const Image& image, const source::SourceTree& tree, uint32_t low, uint32_t high) {
  DebugUnit unit;
  unit.low = low;
  unit.high = high;
  for (uint32_t address = low; address < high; address += 4) {
    const source::SourcePosition& at = tree.positions.at((address - image.text_base) / 4);
    if (unit.name.empty() && at.line) unit.name = image.files.at(at.file);
    if (at.line == 0 || (!unit.rows.empty() && unit.rows.back().line == at.line)) continue;
    unit.rows.push_back({address, at.line});
  }
  return unit;
}

}  // namespace

std::vector<DebugUnit> debug_units(const Image& image, const source::SourceTree& tree) {
  std::vector<DebugUnit> units;
  const std::vector<const RoutineInfo*> linked = routines_in_link_order(image);
  const uint32_t start_end = linked.empty() ? image.text_end() : linked.front()->address;
  units.push_back(unit(image, tree, image.text_base, start_end));
  for (const RoutineInfo* routine : linked)
    units.push_back(unit(image, tree, routine->address, routine->address + routine->size));
  std::erase_if(units, [](const DebugUnit& u) { return u.rows.empty(); });
  return units;
}

}  // namespace r3k::elf
