// Where an emitted word came from, as the assembler tags every word.
#pragma once

#include <cstdint>

namespace r3k {

// A source file of the image (the start code or one routine) and a line of it
// (one case per line in the routine files).
struct SourceLoc {
  uint16_t file = 0;  // index into Image::files
  uint32_t line = 0;  // 1-based; 0 = not from a line
};

}  // namespace r3k
