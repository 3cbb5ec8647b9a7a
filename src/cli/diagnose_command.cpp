// r3kcheck diagnose: from the routines a processor fails to the catalog
// faults that fail the same ones. It reads the catalog's expectations and
// runs nothing.
#include <cstdio>
#include <sstream>
#include <string>

#include "cli/args.h"
#include "cli/diagnose_trace.h"
#include "cli/commands.h"
#include "cli/fault_text.h"
#include "common/error.h"
#include "common/input_file.h"
#include "common/json_reader.h"
#include "faults/diagnosis.h"
#include "report/display_words.h"
#include "report/image_file.h"
#include "trace/design_trace.h"

namespace r3k::cli {
namespace {

constexpr const char* kHelp =
<<<<<<< ours
    "usage: r3kcheck diagnose (--display W1,W2,... | --failed N,N,... | --json FILE) [--supplement | --exceptions]\n"
    "                         [--nearest N]\n"
    "\n"
    "Names the likely causes of failing routines: the faults of the catalog\n"
    "(r3kcheck faults --list) that make exactly the observed routines fail, then\n"
    "the nearest ones by overlap with the differences, each with the hardware\n"
    "mistake it models and the instructions to look at. It works from the\n"
    "catalog's recorded expectations for the main image (with --supplement, for the\n"
    "supplement; with --exceptions, for the exceptions image); it runs nothing.\n"
=======
    "usage: r3kcheck diagnose [--display W1,W2,... | --failed N,N,... | --json FILE]\n"
    "                         [--supplement-display W1,W2,... | --supplement-failed N,N,... |\n"
    "                          --supplement-json FILE] [--supplement] [--nearest N]\n"
    "                         [--trace DESIGN_TRACE [--image IMAGE.elf] [--keys MAP] [--flag V]\n"
    "                          [--writes-only]]\n"
    "\n"
    "Names the likely causes of what the board showed: the faults of the catalog\n"
    "(r3kcheck faults --list), and families of them that share one mistake, ranked\n"
    "by how well the catalog's recorded expectations fit the observations of every\n"
    "image the board ran, all at once. Causes that fit equally well are shown as one\n"
    "group, with the observation that would tell them apart. It runs nothing.\n"
>>>>>>> theirs
    "\n"
    "The main image's observations (one of):\n"
    "  --display W1,W2,...  the display words in the order the board showed them\n"
    "                       (the start pattern's 0 may lead); a routine failed when\n"
    "                       the pass count in bits 23..0 did not rise by one\n"
<<<<<<< ours
    "  --failed N,N,...     the failing routine numbers (1 to 68; 1 to 18 with --supplement,\n"
    "                       1 to 15 with --exceptions)\n"
    "  --json FILE          a report of r3kcheck run --json\n"
    "  --supplement         the board ran the supplement: match what the catalog says it fails\n"
    "  --exceptions         the board ran the exceptions image: the same for it\n"
=======
    "  --failed N,N,...     the failing routine numbers (1 to 68); '' for none\n"
    "  --json FILE          a report of r3kcheck run --json\n"
    "The supplement's (one of; 1 to 18 for its routines):\n"
    "  --supplement-display W1,W2,...   --supplement-failed N,N,...   --supplement-json FILE\n"
    "  --supplement         the unqualified options above are the supplement's\n"
>>>>>>> theirs
    "  --nearest N          how many near matches to show (default 5)\n"
    "\n"
    "With --trace, the design's trace of a run of IMAGE.elf (default out/image.elf;\n"
    "read as trace-diff reads it, --keys, --flag and --writes-only alike) is run\n"
    "in step with the reference to its first wrong line, and that line is\n"
    "explained: which mechanisms reproduce the design's value exactly (another\n"
    "operation of the instruction's group on the same operands, the immediate\n"
    "extended the other way, another byte lane or half, a source operand as it was\n"
    "one to three instructions earlier, an older result winning, HI and LO crossed,\n"
    "a link or target a word off, a branch decided another way or on bits 15..0),\n"
    "then which catalog faults write that line there. For a control-flow\n"
    "divergence it names the branch or jump that went elsewhere, with its operands.\n"
    "Display words given as well order the causes the trace leaves equal.\n"
    "\n"
    "An image that passed is evidence too: give its display words (or --failed '').\n"
    "When every cause that explains the failures would have failed an image that\n"
    "passed, diagnose says so and names no cause.\n"
    "\n"
    "exit codes: 0 an answer was given, 2 bad input or contradictory observations\n";

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
      if (f.stop_differs) std::printf("; would %sstop the run%s", observations[i].stopped ? "not " : "", image.c_str());
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
  if (!exact_seen && !near_seen) std::printf("no cause of the catalog fails any of these routines\n");
}

struct Source {
  std::string option, value;
};

Observation observe(const Source& source, size_t routine_count) {
  if (source.option.ends_with("display")) {
    std::vector<uint32_t> words;
    for (const std::string& item : split(source.value)) words.push_back(word_of(item, source.option));
    if (words.empty()) throw Error("diagnose: " + source.option + " has no display words (give W1,W2,...)");
    return from_display(words, routine_count, source.option);
  }
  if (source.option.ends_with("failed")) return from_failed(source.value, routine_count);
  return from_report(source.value, routine_count);
}

}  // namespace

int diagnose_command(const Arguments& arguments) {
  Args args("diagnose", arguments);
  std::optional<Source> plain, supplement_source;
  bool plain_is_supplement = false;
  size_t nearest = 5;
  std::optional<TraceRequest> trace_request;
  const auto traced = [&]() -> TraceRequest& {
    if (!trace_request) trace_request.emplace();
    return *trace_request;
  };
  bool trace_given = false;
  while (args.next()) {
    const std::string& a = args.current();
    if (a == "--help" || a == "-h") {
      std::fputs(kHelp, stdout);
      return kExitOk;
    }
    if (a == "--display" || a == "--failed" || a == "--json") {
<<<<<<< ours
      if (source) throw Error("diagnose: give one of --display, --failed or --json");
      source = std::pair{a, args.value()};
    } else if (a == "--supplement" || a == "--exceptions") {
      const faults::ImageKind chosen = a == "--supplement" ? faults::ImageKind::supplement : faults::ImageKind::exceptions;
      if (kind != faults::ImageKind::main && kind != chosen)
        throw Error("diagnose: --supplement and --exceptions name different images; give one");
      kind = chosen;
=======
      if (plain) throw Error("diagnose: give one of --display, --failed or --json");
      plain = Source{a, args.value()};
    } else if (a == "--supplement-display" || a == "--supplement-failed" || a == "--supplement-json") {
      if (supplement_source)
        throw Error("diagnose: give one of --supplement-display, --supplement-failed or --supplement-json");
      supplement_source = Source{a, args.value()};
    } else if (a == "--supplement") {
      plain_is_supplement = true;
>>>>>>> theirs
    } else if (a == "--nearest") {
      nearest = args.value_u32();
    } else if (a == "--trace") {
      traced().trace_path = args.value(), trace_given = true;
    } else if (a == "--image") {
      traced().image_path = args.value();
    } else if (a == "--keys") {
      traced().keys = trace::parse_key_map(args.value());
    } else if (a == "--flag") {
      traced().quick_run_flag = args.value_u32();
    } else if (a == "--writes-only") {
      traced().writes_only = true;
    } else {
      args.unknown();
    }
  }
  if (plain_is_supplement && supplement_source)
    throw Error("diagnose: --supplement with --supplement-" + supplement_source->option.substr(13) +
                " gives the supplement twice");
  if (trace_request && !trace_given)
    throw Error("diagnose: --image, --keys, --flag and --writes-only go with --trace");
  if (!plain && !supplement_source && !trace_given)
    throw Error("diagnose: nothing to diagnose (give --display, --failed, --json or --trace; see --help)");
  std::vector<std::pair<faults::ImageKind, Source>> sources;
  if (plain) sources.push_back({plain_is_supplement ? faults::ImageKind::supplement : faults::ImageKind::main, *plain});
  if (supplement_source) sources.push_back({faults::ImageKind::supplement, *supplement_source});

  std::vector<faults::ImageObservation> observations;
  bool any_failed = false, all_stopped = true;
  for (const auto& [kind, source] : sources) {
    const size_t routine_count = report::run_order_of(kind).size();
    const Observation seen = observe(source, routine_count);
    for (int n : seen.failed)
      if (size_t(n) > routine_count)
        throw Error("diagnose: routine " + std::to_string(n) + " failed, but the " +
                    std::string(faults::image_name(kind)) + " has " + std::to_string(routine_count) + " routines");
    const std::string image = sources.size() > 1 ? std::string(faults::image_name(kind)) + ": " : "";
    for (const std::string& warning : seen.warnings) std::printf("note: %s%s\n", image.c_str(), warning.c_str());
    if (!seen.stopped.empty())
      std::printf("%s%s after %zu routines reported (failed: %s); look at the instruction at the exception's pc\n"
                  "(r3kcheck run prints it) and at the routine after the last one reported.\n",
                  image.c_str(), seen.stopped.c_str(), seen.reported, routine_list(seen.failed).c_str());
    else if (seen.failed.empty())
      std::printf("%sno routine failed%s%s\n", image.c_str(),
                  seen.reported < routine_count
                      ? (" (but fewer than " + std::to_string(routine_count) + " routines reported)").c_str()
                      : "",
                  sources.size() == 1 && !trace_given ? ": nothing to diagnose." : "");
    else
      std::printf("%sfailed: %s (%s)\n", image.c_str(), routine_list(seen.failed, routine_count).c_str(),
                  named(seen.failed, kind).c_str());
    any_failed |= !seen.failed.empty() || !seen.stopped.empty();
    all_stopped &= !seen.stopped.empty();
    observations.push_back({kind, seen.failed, !seen.stopped.empty()});
  }
  if (trace_given) return diagnose_trace(*trace_request, observations, std::max<size_t>(nearest, 3));
  if (!any_failed) {
    std::printf("%sThe faults an image cannot see are listed as \"unseen\" by r3kcheck faults --list.\n",
                sources.size() == 1 ? "" : "Nothing to diagnose. ");
    return kExitOk;
  }
  if (all_stopped && observations.size() == 1) {
    std::printf("A run that stops there has no failing-routine signature to match.\n");
    return kExitOk;
  }
  const faults::Diagnosis diagnosis = faults::diagnose(observations, nearest);
  if (!diagnosis.contradiction.empty()) {
    std::printf("contradictory observations: %s\n", diagnosis.contradiction.c_str());
    return kExitError;
  }
  print_groups(diagnosis, observations);
  return kExitOk;
}

}  // namespace r3k::cli
