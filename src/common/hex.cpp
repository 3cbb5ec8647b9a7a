#include "common/hex.h"

#include <algorithm>

namespace r3k {

void append_hex(std::string& out, uint64_t value, HexStyle style) {
  const char* digits = style.upper ? "0123456789ABCDEF" : "0123456789abcdef";
  out += "0x";
  for (int pad = style.min_digits; pad > 16; --pad) out += '0';  // 16 digits hold any value
  char reversed[16];
  int count = 0;
  do {
    reversed[count++] = digits[value & 0xF];
    value >>= 4;
  } while (value != 0 || count < std::min(style.min_digits, 16));
  while (count > 0) out += reversed[--count];
}

std::string hex(uint64_t value, HexStyle style) {
  std::string text;
  append_hex(text, value, style);
  return text;
}

}  // namespace r3k
