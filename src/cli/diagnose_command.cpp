// r3kcheck diagnose: from the routines a processor fails to the catalog
// faults that fail the same ones. It reads the catalog's expectations and
// runs nothing.
#include <cstdio>
#include <sstream>
#include <string>

#include "cli/args.h"
#include "cli/commands.h"
#include "cli/fault_text.h"
#include "common/error.h"
#include "common/input_file.h"
#include "common/json_reader.h"
#include "faults/diagnosis.h"
#include "report/display_words.h"
#include "report/image_file.h"

namespace r3k::cli {
namespace {

constexpr const char* kHelp =
    "usage: r3kcheck diagnose (--display W1,W2,... | --failed N,N,... | --json FILE) [--supplement | --exceptions]\n"
    "                         [--nearest N]\n"
    "\n"
    "Names the likely causes of failing routines: the faults of the catalog\n"
    "(r3kcheck faults --list) that make exactly the observed routines fail, then\n"
    "the nearest ones by overlap with the differences, each with the hardware\n"
    "mistake it models and the instructions to look at. It works from the\n"
    "catalog's recorded expectations for the main image (with --supplement, for the\n"
    "supplement; with --exceptions, for the exceptions image); it runs nothing.\n"
    "\n"
    "  --display W1,W2,...  the display words in the order the board showed them\n"
    "                       (the start pattern's 0 may lead); a routine failed when\n"
    "                       the pass count in bits 23..0 did not rise by one\n"
    "  --failed N,N,...     the failing routine numbers (1 to 68; 1 to 18 with --supplement,\n"
    "                       1 to 15 with --exceptions)\n"
    "  --json FILE          a report of r3kcheck run --json\n"
    "  --supplement         the board ran the supplement: match what the catalog says it fails\n"
    "  --exceptions         the board ran the exceptions image: the same for it\n"
    "  --nearest N          how many near matches to show (default 5)\n"
    "\n"
    "exit codes: 0 an answer was given, 2 bad input\n";

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

void print_candidate(const faults::Candidate& c) {
  const faults::CatalogFault& f = *c.fault;
  std::printf("  %s [%s]: %s\n", std::string(f.name).c_str(), std::string(faults::class_name(f.fault_class)).c_str(),
              std::string(f.models).c_str());
  if (!c.exact()) {
    std::printf("    similarity %.2f", c.similarity);
    if (!c.missing.empty()) std::printf("; would also fail %s", routine_list(c.missing).c_str());
    if (!c.extra.empty()) std::printf("; would not fail %s", routine_list(c.extra).c_str());
    std::printf("\n");
  }
  std::printf("    look at: %s\n", faults::look_at_text(f).c_str());
}

}  // namespace

int diagnose_command(const Arguments& arguments) {
  Args args("diagnose", arguments);
  std::optional<std::pair<std::string, std::string>> source;  // the option and its value
  faults::ImageKind kind = faults::ImageKind::main;
  size_t nearest = 5;
  while (args.next()) {
    const std::string& a = args.current();
    if (a == "--help" || a == "-h") {
      std::fputs(kHelp, stdout);
      return kExitOk;
    }
    if (a == "--display" || a == "--failed" || a == "--json") {
      if (source) throw Error("diagnose: give one of --display, --failed or --json");
      source = std::pair{a, args.value()};
    } else if (a == "--supplement" || a == "--exceptions") {
      const faults::ImageKind chosen = a == "--supplement" ? faults::ImageKind::supplement : faults::ImageKind::exceptions;
      if (kind != faults::ImageKind::main && kind != chosen)
        throw Error("diagnose: --supplement and --exceptions name different images; give one");
      kind = chosen;
    } else if (a == "--nearest") {
      nearest = args.value_u32();
    } else {
      args.unknown();
    }
  }
  if (!source) throw Error("diagnose: nothing to diagnose (give --display, --failed or --json; see --help)");
  const size_t routine_count = report::run_order_of(kind).size();
  std::optional<Observation> seen;
  if (source->first == "--display") {
    std::vector<uint32_t> words;
    for (const std::string& item : split(source->second)) words.push_back(word_of(item, "--display"));
    if (words.empty()) throw Error("diagnose: --display has no display words (give W1,W2,...)");
    seen = from_display(words, routine_count, "--display");
  } else if (source->first == "--failed") {
    seen = from_failed(source->second, routine_count);
  } else {
    seen = from_report(source->second, routine_count);
  }
  for (int n : seen->failed)
    if (size_t(n) > routine_count)
      throw Error("diagnose: routine " + std::to_string(n) + " failed, but the " +
                  std::string(faults::image_name(kind)) + " has " + std::to_string(routine_count) + " routines");

  for (const std::string& warning : seen->warnings) std::printf("note: %s\n", warning.c_str());
  if (!seen->stopped.empty()) {
    std::printf("%s after %zu routines reported (failed: %s). A run that stops there has no failing-routine\n"
                "signature to match: look at the instruction at the exception's pc (r3kcheck run prints it)\n"
                "and at the routine after the last one reported.\n",
                seen->stopped.c_str(), seen->reported, routine_list(seen->failed).c_str());
    return kExitOk;
  }
  if (seen->failed.empty()) {
    std::printf("no routine failed%s: nothing to diagnose. The faults the image cannot see are listed\n"
                "as \"unseen\" by r3kcheck faults --list.\n",
                seen->reported < routine_count
                    ? (" (but fewer than " + std::to_string(routine_count) + " routines reported)").c_str()
                    : "");
    return kExitOk;
  }
  std::printf("failed: %s (%s)\n", routine_list(seen->failed, routine_count).c_str(),
              named(seen->failed, kind).c_str());
  const std::vector<faults::Candidate> causes = faults::rank_causes(seen->failed, kind, nearest);
  const auto exact = std::count_if(causes.begin(), causes.end(), [](const faults::Candidate& c) { return c.exact(); });
  std::printf(exact ? "faults that fail exactly these routines:\n" : "no fault of the catalog fails exactly these routines\n");
  for (const faults::Candidate& c : causes)
    if (c.exact()) print_candidate(c);
  if (static_cast<size_t>(exact) < causes.size()) std::printf("nearest:\n");
  for (const faults::Candidate& c : causes)
    if (!c.exact()) print_candidate(c);
  return kExitOk;
}

}  // namespace r3k::cli
