#include "board/board.h"

#include <charconv>

namespace r3k::board {

Verdict verdict_of(const Lamps& lamps) {
  if (lamps == kPassLamps) return Verdict::Pass;
  if (lamps == kFailLamps) return Verdict::Fail;
  return Verdict::None;
}

std::optional<RoutineOutcome> DisplayReader::on_write(uint32_t word) {
  if (!started_) {
    started_ = true;
    return std::nullopt;
  }
  const DisplayWord shown = decode_display(word);
  const bool passed = shown.pass_count == passes_ + 1;
  if (passed) ++passes_;
  outcomes_.push_back({shown.test_number, passed, word});
  return outcomes_.back();
}

std::vector<uint32_t> DisplayReader::words() const {
  std::vector<uint32_t> words;
  for (const RoutineOutcome& outcome : outcomes_) words.push_back(outcome.word);
  return words;
}

std::set<int> DisplayReader::failed() const {
  std::set<int> failed;
  for (const RoutineOutcome& outcome : outcomes_)
    if (!outcome.passed) failed.insert(outcome.number);
  return failed;
}

std::vector<uint32_t> display_words_when_failing(const std::set<int>& failing, int routine_count) {
  std::vector<uint32_t> words;
  uint32_t passes = 0;
  for (int number = 1; number <= routine_count; ++number) {
    if (!failing.count(number)) ++passes;
    words.push_back(encode_display(number, passes));
  }
  return words;
}

std::string routine_file_name(std::string_view routine_name) {
  std::string_view stem = routine_name;
  if (stem.ends_with("_test")) stem.remove_suffix(5);
  return "inst/" + std::string(stem) + ".S";
}

std::optional<int> routine_number_of(std::string_view symbol) {
  // n<number>_<mnemonic>_test or n<number>_<mnemonic>_ds_test
  constexpr std::string_view kSuffix = "_test";
  if (!symbol.starts_with('n') || !symbol.ends_with(kSuffix)) return std::nullopt;
  const char* const begin = symbol.data() + 1;
  const char* const end = symbol.data() + symbol.size() - kSuffix.size();
  int number = 0;
  const auto [rest, error] = std::from_chars(begin, end, number);
  if (error != std::errc{} || number <= 0 || rest >= end - 1 || *rest != '_') return std::nullopt;
  return number;
}

}  // namespace r3k::board
