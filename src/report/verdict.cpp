#include "report/verdict.h"

#include <algorithm>
#include <cstdio>

#include "board/layout.h"
#include "sim/report.h"

namespace r3k::report {
namespace {

template <class... Values>
std::string format(const char* pattern, Values... values) {
  const int size = std::snprintf(nullptr, 0, pattern, values...);
  std::string text(static_cast<size_t>(size) + 1, '\0');
  std::snprintf(text.data(), text.size(), pattern, values...);
  text.pop_back();
  return text;
}

// "pc 0x80001234", and " n21_add_test+0x1c" after it when the pc lies in a routine.
std::string pc_and_place(uint32_t pc, const RoutineNames& names) {
  const std::string place = names.place(pc);
  return format("pc 0x%08X", pc) + (place.empty() ? "" : " " + place);
}

std::string lamps(const sim::BoardState& board) {
  return format("lamps A=%u B=%u bank=0x%04X, display 0x%08X", board.status_lamp_a, board.status_lamp_b,
                board.lamp_bank, board.result_display);
}

std::string no_verdict(const RunReport& report, const std::string& count) {
  const sim::RunResult& result = report.result;
  if (result.stop == sim::StopReason::InstructionLimit)
    return format("NO VERDICT: instruction limit of %llu reached at %s; %s\n",
                  static_cast<unsigned long long>(report.max_instructions),
                  pc_and_place(result.pc, report.names).c_str(), lamps(result.board).c_str());
  if (result.exception) {
    const sim::ExceptionRecord& e = *result.exception;
    return format("NO VERDICT: exception loop reached after %s at %s (address 0x%08X); %s; %s\n",
                  std::string(sim::cause_name(e.cause)).c_str(), pc_and_place(e.pc, report.names).c_str(),
                  e.bad_address, lamps(result.board).c_str(), count.c_str());
  }
  if (result.stop == sim::StopReason::ExceptionLoop)
    return format("NO VERDICT: the exception loop was reached without an exception; %s; %s\n",
                  lamps(result.board).c_str(), count.c_str());
  return format("NO VERDICT: the end loop was reached but the lamps show neither pass nor fail; %s; %s\n",
                lamps(result.board).c_str(), count.c_str());
}

}  // namespace

Verdict verdict_of(const sim::RunResult& result) {
  if (result.stop != sim::StopReason::Finished) return Verdict::None;
  const sim::BoardState& b = result.board;
  return board::verdict_of({b.status_lamp_a, b.status_lamp_b, b.lamp_bank});
}

std::string verdict_line(const RunReport& report) {
  const sim::RunResult& result = report.result;
  // The routines the file has (68 for the main image, 18 for the supplement).
  const std::vector<int> numbers = report.names.numbers();
  const int routines = numbers.empty() ? layout::kRoutineCount : static_cast<int>(numbers.size());
  const unsigned passes = board::decode_display(result.board.result_display).pass_count;
  const std::string count =
      std::to_string(result.instructions) + (result.instructions == 1 ? " instruction" : " instructions");
  switch (verdict_of(result)) {
    case Verdict::Pass:
      return format("PASS: %u of %d routines passed; %s; %s\n", passes, routines, lamps(result.board).c_str(),
                    count.c_str());
    case Verdict::Fail: {
      std::string failed;
      for (int number : report.display.failed()) failed += " " + report.names.name(number);
      return format("FAIL: %u of %d routines passed (failed:%s); %s; %s\n", passes, routines, failed.c_str(),
                    lamps(result.board).c_str(), count.c_str());
    }
    case Verdict::None: break;
  }
  return no_verdict(report, count);
}

std::string routine_line(const board::RoutineOutcome& outcome, const RoutineNames& names) {
  // As wide as the longest routine name (at least 20), so the columns line up.
  const int width = static_cast<int>(std::max<size_t>(20, names.longest_name()));
  return format("%3d %-*s %s  0x%08X\n", outcome.number, width, names.name(outcome.number).c_str(),
                outcome.passed ? "pass" : "FAIL", outcome.word);
}

}  // namespace r3k::report
