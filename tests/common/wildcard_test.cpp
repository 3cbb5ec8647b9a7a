// The wildcard match against the C library's fnmatch, and on the patterns
// that made a backtracking match take exponential time.
#include <fnmatch.h>
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>

#include "common/wildcard.h"

namespace r3k {
namespace {

std::string random_text(std::mt19937& random, const char* alphabet, size_t letters, size_t most) {
  std::string text(random() % (most + 1), ' ');
  for (char& c : text) c = alphabet[random() % letters];
  return text;
}

TEST(Wildcard, AgreesWithFnmatch) {
  std::mt19937 random(7);
  for (int i = 0; i < 200000; ++i) {
    const std::string pattern = random_text(random, "ab*?", 4, 8), text = random_text(random, "ab", 2, 10);
    ASSERT_EQ(wildcard_match(pattern, text), fnmatch(pattern.c_str(), text.c_str(), FNM_NOESCAPE) == 0)
        << "pattern '" << pattern << "' text '" << text << "'";
  }
}

TEST(Wildcard, ManyStarsTakeLinearTime) {
  const std::string stars(200, '*'), name(4000, 'a');
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(wildcard_match(stars + "x", name));
  EXPECT_TRUE(wildcard_match(stars + "a", name));
  EXPECT_FALSE(wildcard_match("*a*a*a*a*a*a*a*a*a*a*a*b", name));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

}  // namespace
}  // namespace r3k
