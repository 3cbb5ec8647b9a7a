// Reading the display words back: the pass count decides which routines
// failed, whatever pattern of failures produced the words.
#include <gtest/gtest.h>

#include "board/board.h"

namespace r3k::board {
namespace {

TEST(Board, DisplayReaderRecoversEveryFailurePattern) {
  const std::set<std::set<int>> patterns = {{}, {1}, {68}, {1, 2, 3}, {5, 37, 40}, {18, 20}};
  for (const std::set<int>& failing : patterns) {
    DisplayReader reader;
    EXPECT_FALSE(reader.on_write(0)) << "the start pattern is no routine's";
    for (uint32_t word : display_words_when_failing(failing, 68)) reader.on_write(word);
    EXPECT_EQ(reader.failed(), failing);
    ASSERT_EQ(reader.outcomes().size(), 68u);
    EXPECT_EQ(reader.outcomes().back().number, 68);
  }
  std::set<int> all;
  for (int n = 1; n <= 68; ++n) all.insert(n);
  DisplayReader reader;
  reader.on_write(0);
  for (uint32_t word : display_words_when_failing(all, 68)) reader.on_write(word);
  EXPECT_EQ(reader.failed(), all);
  EXPECT_EQ(reader.words().back(), 0x44000000u);
}

TEST(Board, LampsAndDisplayWords) {
  EXPECT_EQ(verdict_of(kPassLamps), Verdict::Pass);
  EXPECT_EQ(verdict_of(kFailLamps), Verdict::Fail);
  EXPECT_EQ(verdict_of(kStartLamps), Verdict::None);
  EXPECT_EQ(encode_display(37, 35), 0x25000023u);
  EXPECT_EQ(decode_display(0x25000023).test_number, 37);
  EXPECT_EQ(routine_file_name("n16_beq_ds_test"), "inst/n16_beq_ds.S");
}

}  // namespace
}  // namespace r3k::board
