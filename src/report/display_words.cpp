#include "report/display_words.h"

#include "board/board.h"
#include "common/error.h"
#include "common/hex.h"

namespace r3k::report {
namespace {

constexpr size_t kMostWarnings = 3;

// The number of the routine the first word names, when the words read as the
// end of a run: consecutive routines from there to at most the last.
int first_of_run_end(const std::vector<uint32_t>& words, size_t routine_count) {
  const board::DisplayWord shown = board::decode_display(words.front());
  const int first = shown.test_number;
  if (first <= 1 || static_cast<size_t>(first) > routine_count || words.size() > routine_count - first + 1 ||
      shown.pass_count > static_cast<uint32_t>(first))
    return 1;
  for (size_t i = 0; i < words.size(); ++i)
    if (board::decode_display(words[i]).test_number != first + static_cast<int>(i)) return 1;
  return first;
}

}  // namespace

DisplayReading read_display_words(std::vector<uint32_t> words, size_t routine_count) {
  if (!words.empty() && words.front() == 0) words.erase(words.begin());
  DisplayReading reading;
  if (words.empty()) return reading;
  const int first = first_of_run_end(words, routine_count);
  const uint32_t passes_before = board::decode_display(words.front()).pass_count;
  if (first > 1 && passes_before != static_cast<uint32_t>(first))
    throw Error("the first display word " + hex(words.front(), {.upper = true}) + " counts " +
                std::to_string(passes_before) + " passes in routines 1 to " + std::to_string(first) +
                ", but not which routines failed: give the words from routine 1 on");
  board::DisplayReader display(first > 1 ? static_cast<uint32_t>(first - 1) : 0);
  if (first == 1) display.on_write(0);  // the start pattern
  for (size_t i = 0; i < words.size(); ++i) {
    const board::RoutineOutcome outcome = *display.on_write(words[i]);
    const int place = first + static_cast<int>(i);
    if (!outcome.passed) reading.failed.insert(place);
    if (outcome.number != place && reading.warnings.size() < kMostWarnings)
      reading.warnings.push_back("display word " + std::to_string(i + 1) + " names routine " +
                                 std::to_string(outcome.number) + ", not " + std::to_string(place) +
                                 ": the frame forms that number with sll");
  }
  reading.reported = static_cast<size_t>(first - 1) + words.size();
  return reading;
}

}  // namespace r3k::report
