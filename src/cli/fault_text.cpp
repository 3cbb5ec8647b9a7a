#include "cli/fault_text.h"

#include "board/layout.h"
#include "common/json_writer.h"
#include "common/wildcard.h"

namespace r3k::cli {

namespace {

std::string json_list(const std::set<int>& numbers) {
  std::string text = "[";
  for (int n : numbers) text += (text.size() > 1 ? "," : "") + std::to_string(n);
  return text + "]";
}

}  // namespace

std::string routine_list(const std::set<int>& routines, size_t routine_count) {
  if (routines.empty()) return "none";
  if (routines.size() == routine_count && size_t(*routines.rbegin()) == routine_count)
    return "all " + std::to_string(routine_count);
  // A run that repeats routines shows more display words than there are routines.
  if (routines.size() > 16)
    return std::to_string(routines.size()) + " routines, " + std::to_string(*routines.begin()) + " to " +
           std::to_string(*routines.rbegin());
  std::string text;
  for (int n : routines) text += (text.empty() ? "" : " ") + std::to_string(n);
  return text;
}

// ", in 21" for a run that stops in routine 21.
std::string where_it_stops(int stops_in) {
  if (stops_in == faults::kPastTheRoutines) return ", runs on";
  return stops_in ? ", in " + std::to_string(stops_in) : "";
}

std::string expectation_text(const faults::Expectation& expected) {
  switch (expected.outcome) {
    case faults::Outcome::routines_fail: return "fails " + routine_list(expected.routines);
    case faults::Outcome::unseen: return "unseen";
    case faults::Outcome::exception_loop:
      return (expected.routines.empty() ? "exception loop" : "exception loop after " + routine_list(expected.routines)) +
             where_it_stops(expected.stops_in);
    case faults::Outcome::run_breaks: return "run breaks" + where_it_stops(expected.stops_in);
    case faults::Outcome::not_stated: return "-";
    case faults::Outcome::not_applicable: return "does not apply";
  }
  return "?";
}

bool fault_matches(const faults::CatalogFault& fault, const std::string& pattern) {
  if (pattern.find_first_of("*?") == std::string::npos) return fault.name.find(pattern) != std::string_view::npos;
  return wildcard_match(pattern, fault.name) || wildcard_match(pattern, faults::class_name(fault.fault_class));
}

std::string baseline_problem(const faults::FaultRun& run) {
  if (run.stop == sim::StopReason::ExceptionLoop)
    return "it ends in the exception loop after " + std::to_string(run.display_words.size()) + " display words";
  if (run.stop == sim::StopReason::InstructionLimit) return "it hits the instruction limit";
  if (!run.failed.empty()) return "routines " + routine_list(run.failed) + " fail";
  return "it ends without the pass lamps";
}

namespace {

std::string campaign_json(const faults::Campaign& campaign) {
  std::string text = "{\"routines\":" + std::to_string(campaign.baseline.routine_count) +
                     ",\"baseline_instructions\":" + std::to_string(campaign.baseline.instructions) +
                     ",\"limit\":" + std::to_string(campaign.limit) + ",\"faults\":[";
  bool first = true;
  for (const faults::FaultResult& r : campaign.results) {
    const faults::Expectation& expected = r.fault->expected_on(campaign.kind);
    text += first ? "\n" : ",\n";
    first = false;
    text += "{\"name\":" + json::quote(r.fault->name) +
            ",\"class\":" + json::quote(faults::class_name(r.fault->fault_class)) +
            ",\"expected_outcome\":" + json::quote(faults::outcome_name(expected.outcome)) +
            ",\"expected_routines\":" + json_list(expected.routines) +
            ",\"failed\":" + json_list(r.run.failed) +
            ",\"reported\":" + std::to_string(r.run.display_words.size()) + ",\"stop\":" + json::quote(sim::stop_reason_name(r.run.stop)) +
            ",\"instructions\":" + std::to_string(r.run.instructions) +
            ",\"verdict\":" + json::quote(faults::verdict_name(r.verdict)) +
            ",\"as_catalogued\":" + (faults::as_expected(expected, r.run) ? "true" : "false") + "}";
  }
  const faults::Score s = faults::score_of(campaign.results, campaign.kind);
  text += "\n],\"summary\":{\"faults\":" + std::to_string(s.faults) + ",\"caught\":" + std::to_string(s.caught) +
          ",\"caught_by_expected\":" + std::to_string(s.caught_by_expected) +
          ",\"with_expected_routines\":" + std::to_string(s.expected_routines) +
          ",\"escaped_with_reason\":" + std::to_string(s.escaped_with_reason) +
          ",\"escaped_without_reason\":" + std::to_string(s.escaped_without_reason) +
          ",\"escaped_unclaimed\":" + std::to_string(s.escaped_unclaimed) + "}}";
  return text;
}

}  // namespace

std::string campaigns_json(const std::vector<faults::Campaign>& campaigns) {
  std::string text = "{";
  for (const faults::Campaign& campaign : campaigns) {
    text += text.size() > 1 ? ",\n" : "";
    text += campaign.kind == faults::ImageKind::main         ? "\"main\":"
            : campaign.kind == faults::ImageKind::supplement ? "\"supplement\":"
                                                              : "\"exceptions\":";
    text += campaign_json(campaign);
  }
  if (campaigns.size() == 3) {
    const faults::ImagesScore joint = faults::images_score(campaigns);
    std::string escaped = "[";
    for (const faults::CatalogFault* fault : joint.escaped)
      escaped += (escaped.size() > 1 ? "," : "") + json::quote(fault->name);
    text += ",\n\"together\":{\"faults\":" + std::to_string(joint.faults) +
            ",\"caught\":" + std::to_string(joint.caught) +
            ",\"caught_by_main_only\":" + std::to_string(joint.caught_only[0]) +
            ",\"caught_by_supplement_only\":" + std::to_string(joint.caught_only[1]) +
            ",\"caught_by_exceptions_only\":" + std::to_string(joint.caught_only[2]) +
            ",\"escaped\":" + escaped + "]}";
  }
  if (campaigns.size() == 2) {
    const faults::JointScore joint = faults::joint_score(campaigns[0].results, campaigns[1].results);
    std::string escaped = "[";
    for (const faults::CatalogFault* fault : joint.escaped)
      escaped += (escaped.size() > 1 ? "," : "") + json::quote(fault->name);
    text += ",\n\"together\":{\"faults\":" + std::to_string(joint.faults) +
            ",\"caught\":" + std::to_string(joint.caught) +
            ",\"caught_by_main_only\":" + std::to_string(joint.caught_by_main_only) +
            ",\"caught_by_supplement_only\":" + std::to_string(joint.caught_by_supplement_only) +
            ",\"escaped\":" + escaped + "]}";
  }
  return text + "}\n";
}

}  // namespace r3k::cli
