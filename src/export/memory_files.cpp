#include "export/memory_files.h"

#include <cstdio>

#include "export/memory_words.h"
#include "image/layout.h"

namespace r3k::exporting {
namespace {

std::string hex_digits(uint64_t value, unsigned digits) {
  char text[24];
  std::snprintf(text, sizeof text, "%0*llx", static_cast<int>(digits), static_cast<unsigned long long>(value));
  return text;
}

std::string origin_note(const std::vector<uint8_t>& boot, unsigned width_bits) {
  char text[128];
  std::snprintf(text, sizeof text, "r3kcheck boot memory 0x%08X..0x%08zX, %u-bit words, little-endian",
                layout::kResetVector, layout::kResetVector + boot.size() - 1, width_bits);
  return text;
}

// Digits enough for the largest address of a memory of `count` words.
unsigned address_digits(size_t count) {
  unsigned digits = 1;
  for (size_t last = count > 0 ? count - 1 : 0; last >= 16; last /= 16) ++digits;
  return digits;
}

}  // namespace

std::string verilog_hex(const std::vector<uint8_t>& boot, unsigned width_bits, uint64_t depth) {
  const std::vector<uint64_t> words = memory_words(boot, width_bits, depth);
  std::string text = "// " + origin_note(boot, width_bits) + "\n";
  text.reserve(words.size() * (width_bits / 4 + 1) + text.size());
  for (uint64_t word : words) text += hex_digits(word, width_bits / 4) + "\n";
  return text;
}

std::string xilinx_coe(const std::vector<uint8_t>& boot, uint64_t depth) {
  const std::vector<uint64_t> words = memory_words(boot, kWordBits, depth);
  std::string text = "; " + origin_note(boot, kWordBits) + "\n";
  text += "memory_initialization_radix=16;\nmemory_initialization_vector=\n";
  for (size_t i = 0; i < words.size(); ++i)
    text += hex_digits(words[i], kWordBits / 4) + (i + 1 < words.size() ? ",\n" : ";\n");
  return text;
}

std::string intel_mif(const std::vector<uint8_t>& boot, uint64_t depth) {
  const std::vector<uint64_t> words = memory_words(boot, kWordBits, depth);
  const unsigned digits = address_digits(words.size());
  std::string text = "-- " + origin_note(boot, kWordBits) + "\n";
  text += "WIDTH=32;\nDEPTH=" + std::to_string(words.size()) + ";\n\nADDRESS_RADIX=HEX;\nDATA_RADIX=HEX;\n\nCONTENT BEGIN\n";
  for (size_t i = 0; i < words.size(); ++i)
    text += "\t" + hex_digits(i, digits) + " : " + hex_digits(words[i], kWordBits / 4) + ";\n";
  text += "END;\n";
  return text;
}

}  // namespace r3k::exporting
