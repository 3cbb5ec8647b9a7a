// r3kcheck diagnose: from what the board showed (the failing routines of
// each image it ran, or a design's trace) to the catalog faults and the
// mechanisms that explain it. It reads the catalog's expectations; only
// --trace runs the reference.
#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>

#include "cli/commands.h"
#include "cli/diagnose_trace.h"
#include "cli/fault_text.h"
#include "cli/options.h"
#include "common/error.h"
#include "common/input_file.h"
#include "common/json_reader.h"
#include "faults/diagnosis.h"
#include "report/display_words.h"
#include "report/image_file.h"
#include "trace/design_trace.h"

namespace r3k::cli {
namespace {

constexpr OptionSpec kOptions[] = {
    {"--display", ValueKind::text, "W1,W2,...",
     "the main image's display words in the order the board showed\n"
     "them (the start pattern's 0 may lead); a routine failed when\n"
     "the pass count in bits 23..0 did not rise by one"},
    {"--failed", ValueKind::text, "N,N,...", "the main image's failing routine numbers (1 to 68); '' for none"},
    {"--json", ValueKind::path, "FILE", "the main image's report of r3kcheck run --json"},
    {"--stopped", ValueKind::none, "",
     "with --display: the board lit neither lamp; the run stopped in\n"
     "the routine after the last word given"},
    {"--supplement-display", ValueKind::text, "W1,W2,...", "the same for the supplement (its routines: 1 to 19)"},
    {"--supplement-failed", ValueKind::text, "N,N,...", "the supplement's failing routine numbers"},
    {"--supplement-json", ValueKind::path, "FILE", "the supplement's report of r3kcheck run --json"},
    {"--supplement-stopped", ValueKind::none, "", "with --supplement-display: the same for the supplement"},
    {"--supplement", ValueKind::none, "", "--display, --failed and --json are the supplement's"},
    {"--exceptions", ValueKind::none, "",
     "--display, --failed and --json are the exceptions image's\n"
     "(its routines: 1 to 15)"},
    {"--nearest", ValueKind::number32, "N", "how many near matches to show (default 5)"},
    {"--trace", ValueKind::path, "DESIGN_TRACE", "explain the first wrong line of the design's trace ('-': stdin)"},
    {"--image", ValueKind::path, "IMAGE.elf", "with --trace: the image the design ran (default out/image.elf)"},
    {"--keys", ValueKind::text, "MAP", "with --trace: key=value lines, as trace-diff reads them"},
    {"--flag", ValueKind::number32, "V", "with --trace: what QUICK_RUN_FLAG read (default 1)"},
    {"--writes-only", ValueKind::none, "", "with --trace: the trace leaves out lines that write nothing"},
};

constexpr CommandSpec kCommand{
    "diagnose", "", 0,
    "Names the likely causes of what the board showed: the faults of the catalog\n"
    "(r3kcheck faults --list), and families of them that share one mistake, ranked\n"
    "by how well the catalog's recorded expectations fit the observations of every\n"
    "image the board ran, all at once. Causes that fit equally well are shown as one\n"
    "group, with the observation that would tell them apart. It runs nothing.\n"
    "Give one of --display, --failed, --json for an image, for the supplement one of\n"
    "--supplement-display, --supplement-failed, --supplement-json, or both.\n"
    "\n"
    "With --trace, the design's trace of a run of IMAGE.elf (read as trace-diff\n"
    "reads it, --keys, --flag and --writes-only alike) is run in step with the\n"
    "reference to its first wrong line, and that line is explained: which\n"
    "mechanisms reproduce the design's value exactly (another operation of the\n"
    "instruction's group on the same operands, the immediate extended the other\n"
    "way, another byte lane or half, a source operand as it was one to three\n"
    "instructions earlier, an older result winning, HI and LO crossed, a link or\n"
    "target a word off, a branch decided another way or on bits 15..0), then which\n"
    "catalog faults write that line there. For a control-flow divergence it names\n"
    "the branch or jump that went elsewhere, with its operands. Display words given\n"
    "as well order the causes the trace leaves equal.\n"
    "\n"
    "An image that passed is evidence too: give its display words (or --failed '').\n"
    "When every cause that explains the failures would have failed an image that\n"
    "passed, diagnose says so and names no cause.\n",
    kOptions,
    "exit codes: 0 an answer was given, 2 bad input or contradictory observations\n"};

struct Observation {
  std::set<int> failed;
  size_t reported = 0;       // routines that wrote a display word
  std::string stopped;       // not empty: the run did not reach the end loop, and why
  std::vector<std::string> warnings;
};

std::vector<std::string> split(const std::string& text) {
  std::vector<std::string> parts;
  std::stringstream stream(text);
  for (std::string part; std::getline(stream, part, ',');) parts.push_back(part);
  return parts;
}

uint32_t word_of(const std::string& text, const std::string& option) {
  const auto number = parse_number(text, UINT32_MAX);
  if (!number) throw Error("diagnose: bad display word '" + text + "' in " + option + " (expected 0x hex or decimal)");
  return static_cast<uint32_t>(*number);
}

Observation from_display(const std::vector<uint32_t>& words, size_t routine_count, const std::string& source) {
  report::DisplayReading reading;
  try {
    reading = report::read_display_words(words, routine_count);
  } catch (const Error& error) {
    throw Error("diagnose: " + source + ": " + error.what());
  }
  return {reading.failed, reading.reported, "", reading.warnings};
}

Observation from_failed(const std::string& list, size_t routine_count) {
  Observation seen;
  for (const std::string& item : split(list)) {
    const auto number = parse_number(item, routine_count);
    if (!number || *number == 0)
      throw Error("diagnose: bad routine number '" + item + "' in --failed (1 to " + std::to_string(routine_count) +
                  ")");
    seen.failed.insert(static_cast<int>(*number));
  }
  seen.reported = routine_count;
  return seen;
}

// A run --json report is a few kilobytes; a file far larger is something else.
constexpr size_t kMostReportBytes = 1 << 20;

Observation from_report(const std::string& path, size_t routine_count) {
  std::string text;
  try {
    text = read_small_file(path, kMostReportBytes, "a report of run --json (a few kilobytes)");
  } catch (const Error& error) {
    throw Error(std::string("diagnose: ") + error.what());
  }
  json::Value report;
  try {
    report = json::parse(text);
  } catch (const Error& error) {
    throw Error("diagnose: " + path + ": " + error.what());
  }
  const json::Value* words = report.find("display_words");
  if (!words || words->kind != json::Value::Kind::array)
    throw Error("diagnose: " + path + ": no \"display_words\" array (is it from r3kcheck run --json?)");
  std::vector<uint32_t> values;
  for (const json::Value& word : words->items) {
    if (word.kind == json::Value::Kind::string) values.push_back(word_of(word.text, path));
    else if (word.kind == json::Value::Kind::number && word.number >= 0 && word.number <= 4294967295.0)
      values.push_back(static_cast<uint32_t>(word.number));
    else throw Error("diagnose: " + path + ": a display word is neither a string nor a number");
  }
  Observation seen = from_display(values, routine_count, path);
  const json::Value* exception = report.find("exception");
  const json::Value* stop = report.find("stop");
  const std::string stop_text = stop && stop->kind == json::Value::Kind::string ? stop->text : "";
  if ((exception && !exception->is_null()) || stop_text.find("exception") != std::string::npos)
    seen.stopped = "the run ended in the exception loop";
  else if (stop_text.find("limit") != std::string::npos) seen.stopped = "the run hit its instruction limit";
  else if (const json::Value* verdict = report.find("verdict");
           verdict && verdict->kind == json::Value::Kind::string && verdict->text == "none")
    seen.stopped = "the run reached the end loop with no verdict on the lamps";
  return seen;
}

std::string named(const std::set<int>& routines, faults::ImageKind kind) {
  const std::span<const RoutineSpec> order = report::run_order_of(kind);
  std::string text;
  for (int n : routines)
    text += (text.empty() ? "" : ", ") + (size_t(n) <= order.size() ? std::string(order[n - 1].name)
                                                                      : "routine " + std::to_string(n));
  return text.empty() ? "none" : text;
}

void print_candidate(const faults::Candidate& c, const std::vector<faults::ImageObservation>& observations) {
  const std::string name(c.name());
  if (c.fault)
    std::printf("  %s [%s]: %s\n", name.c_str(), std::string(faults::class_name(c.fault->fault_class)).c_str(),
                std::string(c.fault->models).c_str());
  else std::printf("  %s: %s\n", name.c_str(), c.family->mechanism.c_str());
  if (!c.exact()) {
    std::printf("    similarity %.2f", c.similarity);
    for (size_t i = 0; i < c.fits.size(); ++i) {
      const faults::ImageFit& f = c.fits[i];
      const std::string image = observations.size() > 1 ? " on the " + std::string(faults::image_name(f.kind)) : "";
      if (!f.missing.empty()) std::printf("; would also fail %s%s", routine_list(f.missing).c_str(), image.c_str());
      if (!f.extra.empty()) std::printf("; would not fail %s%s", routine_list(f.extra).c_str(), image.c_str());
      if (!f.stop_differs) continue;
      const int stops_in = c.fault ? c.fault->expected_on(f.kind).stops_in : 0;
      if (observations[i].stopped && stops_in == faults::kPastTheRoutines)
        std::printf("; would run on past the routines instead%s", image.c_str());
      else if (observations[i].stopped && stops_in)
        std::printf("; would stop the run in routine %d instead%s", stops_in, image.c_str());
      else std::printf("; would %sstop the run%s", observations[i].stopped ? "not " : "", image.c_str());
    }
    std::printf("\n");
  }
  if (c.fault) std::printf("    look at: %s\n", faults::look_at_text(*c.fault).c_str());
}

void print_groups(const faults::Diagnosis& diagnosis, const std::vector<faults::ImageObservation>& observations) {
  bool exact_seen = false, near_seen = false;
  for (const faults::CauseGroup& group : diagnosis.groups) {
    if (group.exact() && !exact_seen) std::printf("causes that fit every observation exactly:\n"), exact_seen = true;
    if (!group.exact() && !near_seen) {
      if (!exact_seen) std::printf("no cause of the catalog fits every observation exactly\n");
      std::printf("nearest:\n");
      near_seen = true;
    }
    if (group.causes.size() > 1) std::printf(" a tie of %zu, equally likely:\n", group.causes.size());
    for (const faults::Candidate& c : group.causes) print_candidate(c, observations);
    for (const std::string& line : group.separation) std::printf("    to separate them: %s\n", line.c_str());
  }
  if (!exact_seen && !near_seen)
    std::printf("no cause of the catalog fails any of these routines%s\n",
                std::any_of(observations.begin(), observations.end(), [](auto& seen) { return seen.stopped; })
                    ? " or stops the run where it stopped"
                    : "");
}

struct Source {
  std::string option, value;
  bool stopped = false;  // display words of a board that lit neither lamp
};

Observation observe(const Source& source, size_t routine_count) {
  if (source.option.ends_with("display")) {
    std::vector<uint32_t> words;
    for (const std::string& item : split(source.value)) words.push_back(word_of(item, source.option));
    if (words.empty()) throw Error("diagnose: " + source.option + " has no display words (give W1,W2,...)");
    Observation seen = from_display(words, routine_count, source.option);
    if (source.stopped) seen.stopped = "the board lit neither lamp";
    return seen;
  }
  if (source.option.ends_with("failed")) return from_failed(source.value, routine_count);
  return from_report(source.value, routine_count);
}


struct Request {
  std::vector<std::pair<faults::ImageKind, Source>> sources;
  size_t nearest = 5;
  std::optional<TraceRequest> trace;
};

// The one of `names` given, if any; two of them are refused.
std::optional<Source> one_of(const ParsedOptions& parsed, std::initializer_list<const char*> names,
                             const std::string& refusal) {
  std::optional<Source> found;
  for (const char* name : names) {
    if (!parsed.has(name)) continue;
    if (found) throw Error(refusal);
    found = Source{name, *parsed.text(name)};
  }
  return found;
}

Request request_of(const ParsedOptions& parsed) {
  Request request;
  const std::optional<Source> plain =
      one_of(parsed, {"--display", "--failed", "--json"}, "diagnose: give one of --display, --failed or --json");
  const std::optional<Source> supplement =
      one_of(parsed, {"--supplement-display", "--supplement-failed", "--supplement-json"},
             "diagnose: give one of --supplement-display, --supplement-failed or --supplement-json");
  if (parsed.has("--supplement") && parsed.has("--exceptions"))
    throw Error("diagnose: --supplement and --exceptions name different images; give one");
  if (parsed.has("--supplement") && supplement)
    throw Error("diagnose: --supplement with " + supplement->option + " gives the supplement twice");
  const faults::ImageKind plain_kind = parsed.has("--supplement")   ? faults::ImageKind::supplement
                                       : parsed.has("--exceptions") ? faults::ImageKind::exceptions
                                                                    : faults::ImageKind::main;
  // A stop is read from display words; a report says it itself, a list of
  // failing routines cannot say where.
  for (const auto& [stopped, source] : {std::pair{"--stopped", plain}, std::pair{"--supplement-stopped", supplement}})
    if (parsed.has(stopped) && (!source || !source->option.ends_with("display")))
      throw Error(std::string("diagnose: ") + stopped + " goes with " +
                  (std::string_view(stopped) == "--stopped" ? "--display" : "--supplement-display") +
                  " (a report says how its run ended; failing routines cannot say where it stopped)");
  if (plain) request.sources.push_back({plain_kind, {plain->option, plain->value, parsed.has("--stopped")}});
  if (supplement)
    request.sources.push_back(
        {faults::ImageKind::supplement, {supplement->option, supplement->value, parsed.has("--supplement-stopped")}});
  request.nearest = static_cast<size_t>(parsed.number("--nearest").value_or(5));
  if (parsed.has("--trace")) {
    TraceRequest& trace = request.trace.emplace();
    trace.trace_path = *parsed.text("--trace");
    trace.image_path = parsed.text("--image").value_or(trace.image_path);
    if (const auto keys = parsed.text("--keys")) trace.keys = trace::parse_key_map(*keys);
    trace.quick_run_flag = static_cast<uint32_t>(parsed.number("--flag").value_or(1));
    trace.writes_only = parsed.has("--writes-only");
  } else if (parsed.has("--image") || parsed.has("--keys") || parsed.has("--flag") || parsed.has("--writes-only")) {
    throw Error("diagnose: --image, --keys, --flag and --writes-only go with --trace");
  }
  return request;
}

// Reads one image's observation and says what it shows.
Observation observed(faults::ImageKind kind, const Source& source, bool several, bool traced) {
  const size_t routine_count = report::run_order_of(kind).size();
  const Observation seen = observe(source, routine_count);
  for (int n : seen.failed)
    if (size_t(n) > routine_count)
      throw Error("diagnose: routine " + std::to_string(n) + " failed, but the " +
                  std::string(faults::image_name(kind)) + " has " + std::to_string(routine_count) + " routines");
  const std::string image = several ? std::string(faults::image_name(kind)) + ": " : "";
  for (const std::string& warning : seen.warnings) std::printf("note: %s%s\n", image.c_str(), warning.c_str());
  if (!seen.stopped.empty()) {
    const std::string where = seen.reported < routine_count
                                  ? ", in routine " + std::to_string(seen.reported + 1) + " (" +
                                        named({int(seen.reported) + 1}, kind) + ")"
                                  : ", after its last routine";
    std::printf("%s%s after %zu routine%s reported (failed: %s)%s; look at the instruction where it stopped\n"
                "(r3kcheck run prints an exception's pc).\n",
                image.c_str(), seen.stopped.c_str(), seen.reported, seen.reported == 1 ? "" : "s",
                routine_list(seen.failed).c_str(), where.c_str());
  }
  else if (seen.failed.empty())
    std::printf("%sno routine failed%s%s\n", image.c_str(),
                seen.reported < routine_count
                    ? (" (but fewer than " + std::to_string(routine_count) + " routines reported)").c_str()
                    : "",
                !several && !traced ? ": nothing to diagnose." : "");
  else
    std::printf("%sfailed: %s (%s)\n", image.c_str(), routine_list(seen.failed, routine_count).c_str(),
                named(seen.failed, kind).c_str());
  return seen;
}

}  // namespace

int diagnose_command(const Arguments& arguments) {
  const std::optional<ParsedOptions> parsed = options_or_help(kCommand, arguments);
  if (!parsed) return kExitOk;
  const Request request = request_of(*parsed);
  if (!request.trace && request.sources.empty())
    throw Error("diagnose: nothing to diagnose (give --display, --failed, --json or --trace; see --help)");

  std::vector<faults::ImageObservation> observations;
  bool any_failed = false, all_stopped = true;
  for (const auto& [kind, source] : request.sources) {
    const Observation seen = observed(kind, source, request.sources.size() > 1, request.trace.has_value());
    any_failed |= !seen.failed.empty() || !seen.stopped.empty();
    all_stopped &= !seen.stopped.empty();
    const bool stopped = !seen.stopped.empty();
    const size_t routines = report::run_order_of(kind).size();
    const int stopped_in = stopped && seen.reported <= routines ? static_cast<int>(seen.reported) + 1 : 0;
    observations.push_back({kind, seen.failed, stopped, stopped_in});
  }
  if (request.trace) return diagnose_trace(*request.trace, observations, std::max<size_t>(request.nearest, 3));
  if (!any_failed) {
    std::printf("%sThe faults an image cannot see are listed as \"unseen\" by r3kcheck faults --list.\n",
                request.sources.size() == 1 ? "" : "Nothing to diagnose. ");
    return kExitOk;
  }
  if (all_stopped && observations.size() == 1 && !observations[0].stopped_in) {
    std::printf("A run that stops there has no failing-routine signature to match.\n");
    return kExitOk;
  }
  const faults::Diagnosis diagnosis = faults::diagnose(observations, request.nearest);
  if (!diagnosis.contradiction.empty()) {
    std::printf("contradictory observations: %s\n", diagnosis.contradiction.c_str());
    return kExitError;
  }
  print_groups(diagnosis, observations);
  return kExitOk;
}

}  // namespace r3k::cli
