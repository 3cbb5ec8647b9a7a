// The load-upper-immediate test: twelve groups of sixteen consecutive
// immediates. Each case builds its expected value at run time, from a second
// lui of the group's base plus a running offset advanced with addu, so the
// routine carries no expected constants.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace r3k::load_upper {

inline constexpr int kGroupSize = 16;

// The groups' bases in run order. The upper five have bit 15 set, so their
// results are negative words.
inline constexpr std::array<uint16_t, 12> kBases = {
    0x0000, 0x1010, 0x2020, 0x3030, 0x4040, 0x5040, 0x6050, 0x8060, 0xA070, 0xC080, 0xE090, 0xF0A0,
};

// `lui rt, immediate` by the MIPS-I definition: the immediate in bits 31..16,
// zeros in bits 15..0.
uint32_t result(uint16_t immediate);

struct Case {
  int group;           // 1..12
  uint16_t base;       // lui $a0, base
  int offset;          // k, 0..15: the running offset in $t1 is k * 0x10000
  uint16_t immediate;  // lui $t0, base + k: the instruction under test
  uint32_t expected;   // what $a0 holds after the addu: base * 0x10000 + k * 0x10000
};

// All cases in emission order; nothing is random.
std::vector<Case> list_cases();

}  // namespace r3k::load_upper
