#include "routine/random.h"

namespace r3k {
namespace {

uint64_t splitmix64(uint64_t& state) {
  uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

uint64_t rotl(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

}  // namespace

Random::Random(uint32_t seed, uint32_t stream) {
  uint64_t s = (uint64_t(seed) << 32) | stream;
  for (uint64_t& word : state_) word = splitmix64(s);
}

uint64_t Random::next() {
  const uint64_t result = rotl(state_[1] * 5, 7) * 9;
  const uint64_t t = state_[1] << 17;
  state_[2] ^= state_[0];
  state_[3] ^= state_[1];
  state_[1] ^= state_[2];
  state_[0] ^= state_[3];
  state_[2] ^= t;
  state_[3] = rotl(state_[3], 45);
  return result;
}

uint32_t Random::uniform32() { return static_cast<uint32_t>(next() >> 32); }

uint32_t Random::below(uint32_t n) {
  const uint32_t threshold = static_cast<uint32_t>(-n) % n;
  for (;;) {
    const uint32_t r = uniform32();
    if (r >= threshold) return r % n;
  }
}

uint32_t Random::between(uint32_t lo, uint32_t hi) {
  if (lo == 0 && hi == 0xFFFFFFFF) return uniform32();
  return lo + below(hi - lo + 1);
}

uint32_t Random::word() {
  const uint32_t a = uniform32(), b = uniform32(), c = uniform32();
  return a * b * c;
}

uint16_t Random::imm16() {
  const uint32_t a = uniform32(), b = uniform32();
  return static_cast<uint16_t>(a * b);
}

}  // namespace r3k
