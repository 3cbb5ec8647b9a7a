// Seeded random values for the case operands.
//
// The generator is written out here so that the same seed gives the same
// image on every machine and compiler:
//
//   * Each routine draws from its own stream, so changing how many values one
//     routine draws leaves every other routine's values as they were. The
//     stream of routine n under seed S starts from the SplitMix64 state
//     (S << 32) | n; four SplitMix64 outputs seed a xoshiro256** generator.
//   * uniform32() is the upper 32 bits of one xoshiro256** output.
//   * below(n) rejects draws under (2^32 mod n) and returns the rest mod n.
#pragma once

#include <cstdint>
#include <cstddef>
#include <utility>
#include <vector>

namespace r3k {

inline constexpr uint32_t kDefaultSeed = 0x52334B31;  // "R3K1"

class Random {
 public:
  Random(uint32_t seed, uint32_t stream);

  uint32_t uniform32();
  // Uniform in 0 .. n-1 (n > 0).
  uint32_t below(uint32_t n);
  // Uniform in lo .. hi inclusive.
  uint32_t between(uint32_t lo, uint32_t hi);

  // A full-width operand: the low 32 bits of the product of three uniform
  // words. Low bits are set less often than high ones (bit 0 in one value in
  // eight), which makes carries, borrows and trailing zeros more frequent than
  // with uniform values.
  uint32_t word();
  // A 16-bit immediate: the low 16 bits of the product of two uniform words.
  uint16_t imm16();

  template <class T>
  void shuffle(std::vector<T>& items) {
    for (std::size_t i = items.size(); i > 1; --i) std::swap(items[i - 1], items[below(static_cast<uint32_t>(i))]);
  }

 private:
  uint64_t next();
  uint64_t state_[4];
};

}  // namespace r3k
