// Numbers in hexadecimal, as every message and listing of the tool writes them.
#pragma once

#include <cstdint>
#include <string>

namespace r3k {

struct HexStyle {
  int min_digits = 8;  // zero-padded to at least this many digits
  bool upper = false;  // A-F rather than a-f
};

// hex(0xBFC00904) == "0xbfc00904"; hex(12, {.min_digits = 1}) == "0xc".
std::string hex(uint64_t value, HexStyle style = {});
// The same digits appended to `out`, for writers of long texts.
void append_hex(std::string& out, uint64_t value, HexStyle style = {});

}  // namespace r3k
