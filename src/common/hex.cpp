#include "common/hex.h"

namespace r3k {

std::string hex(uint64_t value, HexStyle style) {
  const char* digits = style.upper ? "0123456789ABCDEF" : "0123456789abcdef";
  std::string reversed;
  do {
    reversed += digits[value & 0xF];
    value >>= 4;
  } while (value != 0 || static_cast<int>(reversed.size()) < style.min_digits);
  return "0x" + std::string(reversed.rbegin(), reversed.rend());
}

}  // namespace r3k
