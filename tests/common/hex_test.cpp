#include "common/hex.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "routine/random.h"

namespace r3k {
namespace {

// printf's %x is the oracle: every style, on edge values and a spread of random ones.
TEST(Hex, WritesWhatPrintfWrites) {
  Random random(0x4845, 0);
  std::vector<uint64_t> values = {0, 1, 0xF, 0x10, 0xFFFFFFFF, 0x100000000, ~uint64_t{0}};
  for (int i = 0; i < 200; ++i) values.push_back(uint64_t{random.uniform32()} << (i % 33) | random.uniform32());
  for (const uint64_t value : values) {
    for (const int digits : {0, 1, 8, 16, 20}) {
      for (const bool upper : {false, true}) {
        char expected[64];
        std::snprintf(expected, sizeof expected, upper ? "0x%0*llX" : "0x%0*llx", digits,
                      static_cast<unsigned long long>(value));
        EXPECT_EQ(hex(value, {.min_digits = digits, .upper = upper}), expected) << digits << upper;
        std::string appended = "word ";
        append_hex(appended, value, {.min_digits = digits, .upper = upper});
        EXPECT_EQ(appended, "word " + std::string(expected));
      }
    }
  }
}

}  // namespace
}  // namespace r3k
