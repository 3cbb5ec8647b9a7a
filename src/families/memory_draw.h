// Drawing the addresses and lanes of memory cases so that the bounds and the
// exact counts of a routine hold by construction: counts become shuffled
// lists, and every value is drawn inside its range.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "families/memory_case.h"
#include "routine/random.h"

namespace r3k::memory {

// Base of groups 2 and 3: loaded by lui alone.
inline constexpr uint32_t kUpperBase = 0x80030000;
// Group 1 bases: a multiple of 4 from 0x80020000 to 0x8002FFFC with a non-zero low half.
inline constexpr uint32_t kLowerBase = 0x80020000;
// The highest data word: its neighbour at A + 4 is the last word of RAM.
inline constexpr uint32_t kLastDataWord = 0x8003FFF8;

// `count` flags in random order, exactly `set` of them true.
std::vector<bool> shuffled_flags(Random& random, std::size_t count, std::size_t set);
// Lane offsets in random order, exactly counts[k] of them equal to k.
std::vector<unsigned> shuffled_lanes(Random& random, const std::array<int, 4>& counts);
// A random multiple of 4 from `lowest` to `highest` (both multiples of 4)
// that needs the long form or not, as asked; the range must hold such an offset.
uint32_t word_offset(Random& random, bool long_form, uint32_t lowest, uint32_t highest);

struct GroupSizes {
  int first, second, third;
  int total() const { return first + second + third; }
};

// The bases and offsets of a grouped routine, in group order:
//   G1: B random in the lower 64 KiB with a non-zero low half, O non-zero up to 0xFFFC;
//   G2: B = 0x80030000, O non-zero with A at most 0x8003FFF8;
//   G3: B = 0x80030000, O = 0.
// Exactly `long_form_cases` of the G1 and G2 offsets are 0x8000 or more.
std::vector<MemoryCase> grouped_addresses(Random& random, GroupSizes sizes, int long_form_cases);

}  // namespace r3k::memory
