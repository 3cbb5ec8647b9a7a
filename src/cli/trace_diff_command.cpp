// r3kcheck trace-diff: runs the reference processor in step with a design's
// instruction trace and explains the first place where they part.
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "cli/args.h"
#include "cli/commands.h"
#include "common/error.h"
#include "elf/elf_reader.h"
#include "report/image_file.h"
#include "report/places.h"
#include "report/routine_names.h"
#include "routine/random.h"
#include "sim/machine.h"
#include "sim/report.h"
#include "trace/trace_diff.h"

namespace r3k::cli {
namespace {

constexpr const char* kHelp =
    "usage: r3kcheck trace-diff DESIGN_TRACE [--image IMAGE.elf] [--flag VALUE] [--seed N]\n"
    "                           [--keys pc=KEY,word=KEY,reg=KEY,value=KEY] [--writes-only]\n"
    "\n"
    "Runs the reference processor on the image in step with the trace a design\n"
    "under test wrote (one line per completed instruction), and stops at the\n"
    "first line that differs: it shows that line, the line expected there, what\n"
    "differs, the routine, case and instruction of the image it belongs to, and\n"
    "the last eight instructions both agreed on. '-' reads the trace from\n"
    "standard input.\n"
    "\n"
    "The trace is in the format `run --trace` writes (see README), or with\n"
    "--keys in key=value lines as testbenches print them, e.g.\n"
    "  RET cyc=15 pc=bfc003a8 op=3c130000 rd=19 val=00000000\n"
    "read with --keys pc=pc,word=op,reg=rd,value=val. Only pc is needed; lines\n"
    "without it are skipped; hex with or without 0x; register 0 means no write.\n"
    "\n"
    "  --image FILE    the image the design ran (default out/image.elf)\n"
    "  --flag VALUE    what QUICK_RUN_FLAG read in the design's run (default 1)\n"
    "  --seed N        the seed the image was built with, for naming cases\n"
    "                  (default 0x52334B31); another image is named by its symbols\n"
    "  --keys MAP      read key=value lines; MAP names the keys of pc, word, reg, value\n"
    "  --writes-only   the design's trace leaves out instructions that write nothing:\n"
    "                  skip ours too (for --keys traces: those that write no\n"
    "                  register; else no register, HI/LO or memory)\n"
    "\n"
    "exit codes: 0 the trace follows the reference to the end loop, 1 it diverges,\n"
    "            2 it ends early, is empty or cannot be read, or bad input\n";

struct Options {
  std::string trace_path;
  std::string image_path = "out/image.elf";
  uint32_t seed = kDefaultSeed;
  std::optional<trace::TraceKeys> keys;
  trace::DiffOptions diff;
};

Options parse(const Arguments& arguments, bool& help) {
  Options options;
  Args args("trace-diff", arguments);
  while (args.next()) {
    const std::string& a = args.current();
    if (a == "--help" || a == "-h") {
      help = true;
      return options;
    }
    if (a == "--image") options.image_path = args.value();
    else if (a == "--flag") options.diff.run.quick_run_flag = args.value_u32();
    else if (a == "--seed") options.seed = args.value_u32();
    else if (a == "--keys") options.keys = trace::parse_key_map(args.value());
    else if (a == "--writes-only") options.diff.writes_only = true;
    else if ((args.is_option() && a != "-") || !options.trace_path.empty()) args.unknown();
    else options.trace_path = a;
  }
  if (options.trace_path.empty())
    throw Error("trace-diff: no trace given (usage: r3kcheck trace-diff DESIGN_TRACE [--image IMAGE.elf])");
  return options;
}

struct FileCloser {
  void operator()(std::FILE* file) const {
    if (file != stdin) std::fclose(file);
  }
};

std::unique_ptr<std::FILE, FileCloser> open_trace(const std::string& path) {
  if (path == "-") return std::unique_ptr<std::FILE, FileCloser>(stdin);
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) throw Error("trace-diff: cannot read " + path + ": " + std::strerror(errno));
  return std::unique_ptr<std::FILE, FileCloser>(file);
}

std::string trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  const size_t last = text.find_last_not_of(" \t\r");
  return first == std::string::npos ? "" : text.substr(first, last - first + 1);
}

void print_divergence(const trace::DiffOutcome& outcome, const std::string& trace_path,
                      const report::PlaceReport& places) {
  std::printf("DIVERGENCE at line %llu of %s, after %llu instructions in step\n",
              static_cast<unsigned long long>(outcome.design.number), trace_path.c_str(),
              static_cast<unsigned long long>(outcome.compared));
  std::printf("  design:   %s\n", trimmed(outcome.design.text).c_str());
  std::printf("  expected: %s\n", sim::format_trace_record(outcome.expected).c_str());
  for (const std::string& difference : outcome.differences) std::printf("  differs:  %s\n", difference.c_str());
  std::printf("  place:    %s", places.describe(outcome.expected.pc).c_str());
  std::printf("  the last %zu instructions both agreed on:\n", outcome.agreed.size());
  for (const trace::AgreedLine& line : outcome.agreed)
    std::printf("    line %-8llu %s\n", static_cast<unsigned long long>(line.design_line),
                sim::format_trace_record(line.record).c_str());
}

}  // namespace

int trace_diff_command(const Arguments& arguments) {
  bool help = false;
  Options options = parse(arguments, help);
  if (help) {
    std::fputs(kHelp, stdout);
    return kExitOk;
  }
  const elf::LoadedElf elf = elf::read_elf_file(options.image_path);
  const report::RoutineNames names(elf.symbols);
  const report::Recognised recognised = report::recognise(elf, options.image_path, options.seed);
  if (!recognised.image) std::printf("note: %s; places are named from its symbols only\n", recognised.mismatch.c_str());
  const auto file = open_trace(options.trace_path);
  trace::DesignTrace design(file.get(), options.keys);
  options.diff.routine_entries = names.entries();
  sim::Machine machine(elf.boot);
  const trace::DiffOutcome outcome = trace::diff_trace(machine, design, options.diff);
  const report::PlaceReport places(elf, recognised.image ? &*recognised.image : nullptr, names);

  using Verdict = trace::DiffOutcome::Verdict;
  switch (outcome.verdict) {
    case Verdict::match:
      std::printf("MATCH: %s follows the reference for %llu instructions to the %s; %zu routines covered\n",
                  options.trace_path.c_str(), static_cast<unsigned long long>(outcome.compared),
                  outcome.stop == sim::StopReason::Finished ? "end loop" : "exception loop", outcome.routines_covered);
      return kExitOk;
    case Verdict::divergence:
      print_divergence(outcome, options.trace_path, places);
      return kExitFailed;
    case Verdict::design_ended:
      std::printf("NO VERDICT: %s: %s\n", options.trace_path.c_str(), outcome.reason.c_str());
      if (outcome.compared != 0)
        std::printf("  expected next: %s\n  place:    %s", sim::format_trace_record(outcome.expected).c_str(),
                    places.describe(outcome.expected.pc).c_str());
      return kExitError;
    case Verdict::unreadable:
      std::printf("NO VERDICT: cannot read %s at %s\n", options.trace_path.c_str(), outcome.reason.c_str());
      return kExitError;
    case Verdict::reference_limit:
      std::printf("NO VERDICT: %s\n", outcome.reason.c_str());
      return kExitError;
  }
  return kExitError;
}

}  // namespace r3k::cli
