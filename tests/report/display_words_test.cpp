// Reading display words as diagnose gets them: the whole run, or the last
// words of one; checked against the board's own writer of display words.
#include <gtest/gtest.h>

#include <algorithm>

#include "board/board.h"
#include "common/error.h"
#include "report/display_words.h"

namespace r3k {
namespace {

constexpr int kRoutines = 68;

TEST(DisplayWords, EveryEndOfARunThatStartsAfterPassesTellsTheSameFailures) {
  const std::set<int> failing_sets[] = {{}, {68}, {18, 20}, {2, 30, 67}, {40, 41, 42, 43}};
  for (const std::set<int>& failing : failing_sets) {
    const std::vector<uint32_t> words = board::display_words_when_failing(failing, kRoutines);
    const report::DisplayReading whole = report::read_display_words(words, kRoutines);
    EXPECT_EQ(whole.failed, failing);
    EXPECT_EQ(whole.reported, size_t{kRoutines});
    EXPECT_TRUE(whole.warnings.empty());
    // From any routine before the first failure on, the words alone say the same.
    const int first_failure = failing.empty() ? kRoutines + 1 : *failing.begin();
    for (int first = 2; first < first_failure; ++first) {
      SCOPED_TRACE(first);
      const std::vector<uint32_t> tail(words.begin() + first - 1, words.end());
      const report::DisplayReading end = report::read_display_words(tail, kRoutines);
      EXPECT_EQ(end.failed, failing);
      EXPECT_EQ(end.reported, size_t{kRoutines});
    }
    // From a failure on, the count cannot say which routine it was.
    for (int first = std::max(first_failure, 2); first <= std::min(first_failure + 1, kRoutines); ++first) {
      const std::vector<uint32_t> tail(words.begin() + first - 1, words.end());
      EXPECT_THROW(report::read_display_words(tail, kRoutines), Error) << first;
    }
  }
}

// A processor whose sll is broken writes wrong routine numbers: the words
// still count from routine 1, with a warning, and are never read as an end.
TEST(DisplayWords, WrongRoutineNumbersAreWarnedAboutNotTrusted) {
  std::vector<uint32_t> words = board::display_words_when_failing({5}, kRoutines);
  for (uint32_t& word : words) word = (word & board::kPassCountMask) | 3u << board::kTestNumberShift;
  const report::DisplayReading reading = report::read_display_words(words, kRoutines);
  EXPECT_EQ(reading.failed, std::set<int>{5});
  EXPECT_EQ(reading.warnings.size(), 3u);
  EXPECT_EQ(reading.warnings.front(), "display word 1 names routine 3, not 1: the frame forms that number with sll");
  // The start pattern's 0 may lead.
  words.insert(words.begin(), 0);
  EXPECT_EQ(report::read_display_words(words, kRoutines).failed, std::set<int>{5});
}

}  // namespace
}  // namespace r3k
