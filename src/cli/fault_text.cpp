#include "cli/fault_text.h"

#include <cstdio>

#include "board/layout.h"

namespace r3k::cli {

namespace {

bool glob(std::string_view pattern, std::string_view text) {
  if (pattern.empty()) return text.empty();
  if (pattern[0] == '*') return glob(pattern.substr(1), text) || (!text.empty() && glob(pattern, text.substr(1)));
  if (text.empty() || (pattern[0] != '?' && pattern[0] != text[0])) return false;
  return glob(pattern.substr(1), text.substr(1));
}

std::string json_list(const std::set<int>& numbers) {
  std::string text = "[";
  for (int n : numbers) text += (text.size() > 1 ? "," : "") + std::to_string(n);
  return text + "]";
}

}  // namespace

std::string routine_list(const std::set<int>& routines) {
  if (routines.empty()) return "none";
  if (routines.size() == layout::kRoutineCount && *routines.rbegin() == layout::kRoutineCount) return "all 68";
  // A run that repeats routines shows more display words than there are routines.
  if (routines.size() > 16)
    return std::to_string(routines.size()) + " routines, " + std::to_string(*routines.begin()) + " to " +
           std::to_string(*routines.rbegin());
  std::string text;
  for (int n : routines) text += (text.empty() ? "" : " ") + std::to_string(n);
  return text;
}

std::string expectation_text(const faults::Expectation& expected) {
  switch (expected.outcome) {
    case faults::Outcome::routines_fail: return "fails " + routine_list(expected.routines);
    case faults::Outcome::unseen: return "unseen";
    case faults::Outcome::exception_loop:
      return expected.routines.empty() ? "exception loop" : "exception loop after " + routine_list(expected.routines);
    case faults::Outcome::run_breaks: return "run breaks";
  }
  return "?";
}

bool fault_matches(const faults::CatalogFault& fault, const std::string& pattern) {
  if (pattern.find_first_of("*?") == std::string::npos) return fault.name.find(pattern) != std::string_view::npos;
  return glob(pattern, fault.name) || glob(pattern, faults::class_name(fault.fault_class));
}

std::string baseline_problem(const faults::FaultRun& run) {
  if (run.stop == sim::StopReason::ExceptionLoop)
    return "it ends in the exception loop after " + std::to_string(run.display_words.size()) + " display words";
  if (run.stop == sim::StopReason::InstructionLimit) return "it hits the instruction limit";
  if (!run.failed.empty()) return "routines " + routine_list(run.failed) + " fail";
  return "it ends without the pass lamps";
}

std::string json_string(std::string_view text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') quoted += '\\', quoted += c;
    else if (static_cast<unsigned char>(c) < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      quoted += escape;
    } else quoted += c;
  }
  return quoted + "\"";
}

std::string campaign_json(const faults::Campaign& campaign) {
  std::string text = "{\"baseline_instructions\":" + std::to_string(campaign.baseline.instructions) +
                     ",\"limit\":" + std::to_string(campaign.limit) + ",\"faults\":[";
  bool first = true;
  for (const faults::FaultResult& r : campaign.results) {
    text += first ? "\n" : ",\n";
    first = false;
    text += "{\"name\":" + json_string(r.fault->name) +
            ",\"class\":" + json_string(faults::class_name(r.fault->fault_class)) +
            ",\"expected_outcome\":" + json_string(faults::outcome_name(r.fault->expected.outcome)) +
            ",\"expected_routines\":" + json_list(r.fault->expected.routines) +
            ",\"failed\":" + json_list(r.run.failed) + ",\"stop\":" + json_string(sim::stop_reason_name(r.run.stop)) +
            ",\"instructions\":" + std::to_string(r.run.instructions) +
            ",\"verdict\":" + json_string(faults::verdict_name(r.verdict)) +
            ",\"as_catalogued\":" + (faults::as_expected(r.fault->expected, r.run) ? "true" : "false") + "}";
  }
  const faults::Score s = faults::score_of(campaign.results);
  text += "\n],\"summary\":{\"faults\":" + std::to_string(s.faults) + ",\"caught\":" + std::to_string(s.caught) +
          ",\"caught_by_expected\":" + std::to_string(s.caught_by_expected) +
          ",\"with_expected_routines\":" + std::to_string(s.expected_routines) +
          ",\"escaped_with_reason\":" + std::to_string(s.escaped_with_reason) +
          ",\"escaped_without_reason\":" + std::to_string(s.escaped_without_reason) + "}}\n";
  return text;
}

}  // namespace r3k::cli
