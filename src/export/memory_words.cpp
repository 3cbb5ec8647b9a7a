#include "export/memory_words.h"

#include <string>

#include "common/error.h"

namespace r3k::exporting {

bool is_memory_width(uint64_t width_bits) {
  return width_bits == 8 || width_bits == 16 || width_bits == 32 || width_bits == 64;
}

std::vector<uint64_t> memory_words(const std::vector<uint8_t>& boot, unsigned width_bits, uint64_t depth) {
  const size_t bytes_per_word = width_bits / 8;
  std::vector<uint64_t> words((boot.size() + bytes_per_word - 1) / bytes_per_word, 0);
  for (size_t i = 0; i < boot.size(); ++i)
    words[i / bytes_per_word] |= uint64_t{boot[i]} << (8 * (i % bytes_per_word));
  if (depth == 0) return words;
  if (depth > kMostDepth)
    throw Error("a depth of " + std::to_string(depth) + " words is above the most this tool writes, " +
                std::to_string(kMostDepth) + " (2^24)");
  if (words.size() > depth)
    throw Error("the boot memory (" + std::to_string(words.size()) + " words of " + std::to_string(width_bits) +
                " bits) does not fit a depth of " + std::to_string(depth) + " words");
  words.resize(depth, 0);
  return words;
}

}  // namespace r3k::exporting
