// A small hand-made image for the ELF tests: the start code's address range
// with its labels, two routines whose link order differs from their run order,
// the register-usage record, and data bytes that differ from one another so a
// misplaced byte shows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/image.h"

namespace r3k::test {

inline constexpr uint32_t kSmallTextEnd = 0xBFC0097C;  // _etext of small_image()

Image small_image();

// Reads a .strtab-style name at offset in the string table section's bytes.
std::string string_at(const std::vector<uint8_t>& file, uint32_t table_offset, uint32_t name);

}  // namespace r3k::test
