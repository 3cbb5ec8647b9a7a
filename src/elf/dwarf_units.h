// What the debug sections say about an image: one compilation unit per
// source file of the exported source tree (the start code and each routine),
// its address range, and the rows of its line table. The lines are the ones
// the source-tree renderer wrote, so a line table row names a line of the
// files `build --sources` writes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "export/source_tree.h"
#include "image/image.h"

namespace r3k::elf {

struct LineRow {
  uint32_t address = 0;
  uint32_t line = 0;
};

struct DebugUnit {
  std::string name;  // "start.S", "inst/n2_addu.S"
  uint32_t low = 0, high = 0;  // [low, high): the unit's words
  std::vector<LineRow> rows;   // ascending addresses; a row holds until the next one
};

// In link order: the start code, then the routines by address.
std::vector<DebugUnit> debug_units(const Image& image, const source::SourceTree& tree);

}  // namespace r3k::elf
