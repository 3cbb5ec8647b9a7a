// What the assembler emitted a word as, so that the image's sources can say
// it the way it was written rather than guess it back from the words.
#pragma once

#include <cstdint>

namespace r3k {

enum class Statement : uint8_t {
  instruction,    // one instruction, as written
  constant_load,  // the first (or only) word of `li`
  address_load,   // the lui of `la` (lui, then addiu of the low half)
  second_word,    // the second word of a two-word `li` or of `la`
};

}  // namespace r3k
