#include "report/verdict.h"

#include <cstdio>
#include <map>

#include "common/hex.h"
#include "common/json_writer.h"
#include "common/utf8.h"
#include "board/layout.h"
#include "image/run_order.h"
#include "sim/report.h"

namespace r3k::report {
namespace {

std::string_view verdict_name(board::Verdict verdict) {
  switch (verdict) {
    case board::Verdict::Pass: return "pass";
    case board::Verdict::Fail: return "fail";
    case board::Verdict::None: break;
  }
  return "none";
}

// Text for an attribute or element: valid UTF-8 (a symbol name from another
// tool's file may be anything), with each control character XML 1.0 forbids
// (as a character or a reference) and U+FFFE/U+FFFF shown as U+FFFD.
std::string xml_escape(std::string_view text) {
  const std::string valid = valid_utf8(text);
  std::string out;
  for (size_t at = 0; at < valid.size(); ++at) {
    const char c = valid[at];
    if (valid.compare(at, 3, "\xEF\xBF\xBE") == 0 || valid.compare(at, 3, "\xEF\xBF\xBF") == 0) {
      out += kReplacementCharacter;
      at += 2;
      continue;
    }
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default:
        // XML 1.0 allows no other control characters than tab, newline and return.
        if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n' || c == '\r') out += c;
        else out += kReplacementCharacter;
    }
  }
  return out;
}

std::string hex_word(uint32_t value) { return hex(value, {.upper = true}); }

std::string how_the_run_stopped(const sim::RunResult& result) {
  if (result.exception) return "the run stopped at the exception loop after " + sim::describe(*result.exception);
  return "the run stopped: " + std::string(sim::stop_reason_name(result.stop));
}

// The routines the report covers: the image's, or 1 to 68 when it names none.
std::vector<int> routine_numbers(const RoutineNames& names) {
  std::vector<int> numbers = names.numbers();
  if (numbers.empty())
    for (int number = 1; number <= layout::kRoutineCount; ++number) numbers.push_back(number);
  return numbers;
}

}  // namespace

std::string instruction_of_routine(int number, const std::string& name) {
  if (number < 1 || number > layout::kRoutineCount) return name;
  const RoutineSpec& spec = run_order()[static_cast<size_t>(number - 1)];
  if (spec.name != name) return name;
  std::string text(isa::info(spec.op).mnemonic);
  if (name.find("_ds_") != std::string::npos) text += " in a delay slot";
  return text;
}

std::string verdict_json(const RunReport& report) {
  const sim::RunResult& result = report.result;
  const sim::BoardState& board = result.board;
  json::Object lamps;
  lamps.add("status_a", std::to_string(board.status_lamp_a))
      .add("status_b", std::to_string(board.status_lamp_b))
      .add("bank", std::to_string(board.lamp_bank));
  std::string exception = "null";
  if (result.exception) {
    json::Object e;
    e.add("cause", json::quote(sim::cause_name(result.exception->cause)))
        .add("pc", json::hex_word(result.exception->pc))
        .add("address", json::hex_word(result.exception->bad_address));
    exception = e.text();
  }
  std::string words = "[", routines = "[";
  for (const board::RoutineOutcome& outcome : report.display.outcomes()) {
    const char* separator = words.size() > 1 ? "," : "";
    words += separator + json::hex_word(outcome.word);
    json::Object routine;
    routine.add("number", std::to_string(outcome.number))
        .add("name", json::quote(report.names.name(outcome.number)))
        .add("passed", outcome.passed ? "true" : "false")
        .add("display", json::hex_word(outcome.word));
    routines += separator + routine.text();
  }
  json::Object object;
  object.add("verdict", json::quote(verdict_name(verdict_of(result))))
      .add("stop", json::quote(sim::stop_reason_name(result.stop)))
      .add("lamps", lamps.text())
      .add("display", json::hex_word(board.result_display))
      .add("instructions", std::to_string(result.instructions))
      .add("exception", exception)
      .add("display_words", words + "]")
      .add("routines", routines + "]");
  return object.text();
}

std::string verdict_junit(const RunReport& report) {
  std::map<int, board::RoutineOutcome> outcomes;
  for (const board::RoutineOutcome& outcome : report.display.outcomes()) outcomes.emplace(outcome.number, outcome);
  const std::vector<int> numbers = routine_numbers(report.names);
  int failures = 0, skipped = 0;
  std::string cases;
  for (const int number : numbers) {
    const std::string name = report.names.name(number);
    cases += "    <testcase classname=\"r3kcheck.image\" name=\"" + xml_escape(name) + "\"";
    const auto it = outcomes.find(number);
    if (it != outcomes.end() && it->second.passed) {
      cases += "/>\n";
      continue;
    }
    cases += ">\n";
    if (it == outcomes.end()) {
      ++skipped;
      cases += "      <skipped message=\"" + xml_escape("not reached: " + how_the_run_stopped(report.result)) + "\"/>\n";
    } else {
      ++failures;
      const std::string instruction = instruction_of_routine(number, name);
      const std::string message = name + " (" + instruction + ") failed: display " + hex_word(it->second.word) +
                                  " shows routine " + std::to_string(number) + " without its pass";
      cases += "      <failure message=\"" + xml_escape(message) + "\" type=\"routine failed\">" +
               xml_escape("instruction under test: " + instruction + "\ndisplay word: " + hex_word(it->second.word) +
                          "\nimage: " + report.image_path) +
               "</failure>\n";
    }
    cases += "    </testcase>\n";
  }
  const std::string counts = " tests=\"" + std::to_string(numbers.size()) + "\" failures=\"" +
                             std::to_string(failures) + "\" errors=\"0\" skipped=\"" + std::to_string(skipped) + "\"";
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"r3kcheck\"" + counts + ">\n" +
         "  <testsuite name=\"" + xml_escape("r3kcheck run " + report.image_path) + "\"" + counts + ">\n" + cases +
         "  </testsuite>\n</testsuites>\n";
}

}  // namespace r3k::report
