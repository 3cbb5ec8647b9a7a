// r3kcheck trace-diff: runs the reference processor in step with a design's
// instruction trace and explains the first place where they part.
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "cli/commands.h"
#include "cli/options.h"
#include "cli/output_paths.h"
#include "common/atomic_file.h"
#include "common/error.h"
#include "common/escaped_text.h"
#include "common/input_file.h"
#include "elf/elf_reader.h"
#include "html/divergence.h"
#include "report/image_file.h"
#include "report/places.h"
#include "report/routine_names.h"
#include "routine/random.h"
#include "sim/machine.h"
#include "sim/report.h"
#include "trace/trace_diff.h"

namespace r3k::cli {
namespace {

constexpr OptionSpec kOptions[] = {
    {"--image", ValueKind::path, "FILE", "the image the design ran (default out/image.elf)"},
    {"--flag", ValueKind::number32, "VALUE", "what QUICK_RUN_FLAG read in the design's run (default 1)"},
    {"--seed", ValueKind::number32, "N",
     "the seed the image was built with, for naming cases\n"
     "(default 0x52334B31); another image is named by its symbols"},
    {"--keys", ValueKind::text, "MAP", "read key=value lines; MAP names the keys of pc, word, reg, value"},
    {"--writes-only", ValueKind::none, "",
     "the design's trace leaves out instructions that write nothing:\n"
     "skip ours too (for --keys traces: those that write no\n"
     "register; else no register, HI/LO or memory)"},
    {"--html", ValueKind::path, "FILE",
     "with a divergence, also write it as one HTML page: the lines,\n"
     "what differs, the case's code marked, the lines agreed before"},
};

constexpr CommandSpec kCommand{
    "trace-diff", "DESIGN_TRACE", 1,
    "Runs the reference processor on the image in step with the trace a design\n"
    "under test wrote (one line per completed instruction), and stops at the\n"
    "first line that differs: it shows that line, the line expected there, what\n"
    "differs, the routine, case and instruction of the image it belongs to, and\n"
    "the last eight instructions both agreed on. '-' reads the trace from\n"
    "standard input.\n"
    "\n"
    "The trace is in the format `run --trace` writes (see README), or with\n"
    "--keys in key=value lines as testbenches print them, e.g.\n"
    "  RET cyc=15 pc=bfc003a8 op=3c130000 rd=13 val=00000000\n"
    "read with --keys pc=pc,word=op,reg=rd,value=val. Only pc is needed; lines\n"
    "without it are skipped. Every number is hex with or without 0x, the\n"
    "register too, as $display's %h prints it (00 to 1f; 13 is $s3); a name\n"
    "(s3, $s3) or $N, rN in decimal also works; register 0 means no write.\n"
    "In either shape '#' at the start of a word comments out the rest of the\n"
    "line. A last line without its newline is a cut trace: no verdict.\n",
    kOptions,
    "exit codes: 0 the trace follows the reference to the end loop, 1 it diverges,\n"
    "            2 it ends early, is empty or cannot be read, or bad input\n"};

struct Options {
  std::string trace_path;
  std::string image_path = "out/image.elf";
  uint32_t seed = kDefaultSeed;
  std::optional<trace::TraceKeys> keys;
  trace::DiffOptions diff;
  std::string html_path;
};

Options options_of(const ParsedOptions& parsed) {
  Options options;
  if (!parsed.operands().empty()) options.trace_path = parsed.operands()[0];
  options.image_path = parsed.text("--image").value_or(options.image_path);
  if (const auto flag = parsed.number("--flag")) options.diff.run.quick_run_flag = static_cast<uint32_t>(*flag);
  options.seed = static_cast<uint32_t>(parsed.number("--seed").value_or(kDefaultSeed));
  if (const auto keys = parsed.text("--keys")) options.keys = trace::parse_key_map(*keys);
  options.diff.writes_only = parsed.has("--writes-only");
  options.html_path = parsed.text("--html").value_or("");
  if (options.trace_path.empty())
    throw Error("trace-diff: no trace given (usage: r3kcheck trace-diff DESIGN_TRACE [--image IMAGE.elf])");
  refuse_shared_outputs("trace-diff", {{"the trace", options.trace_path}, {"--image", options.image_path}},
                        {{"--html", options.html_path}});
  return options;
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
  std::printf("  design:   %s\n", excerpt(trimmed(outcome.design.text), 400).c_str());
  std::printf("  expected: %s\n", sim::format_trace_record(outcome.expected).c_str());
  for (const std::string& difference : outcome.differences) std::printf("  differs:  %s\n", difference.c_str());
  if (!outcome.culprit.empty()) std::printf("  culprit:  %s\n", outcome.culprit.c_str());
  std::printf("  place:    %s", places.describe(outcome.expected.pc).c_str());
  std::printf("  the last %zu instructions both agreed on:\n", outcome.agreed.size());
  for (const trace::AgreedLine& line : outcome.agreed)
    std::printf("    line %-8llu %s\n", static_cast<unsigned long long>(line.design_line),
                sim::format_trace_record(line.record).c_str());
}

}  // namespace

int trace_diff_command(const Arguments& arguments) {
  const std::optional<ParsedOptions> parsed = options_or_help(kCommand, arguments);
  if (!parsed) return kExitOk;
  Options options = options_of(*parsed);
  const elf::LoadedElf elf = elf::read_elf_file(options.image_path);
  const report::RoutineNames names(elf.symbols);
  const report::Recognised recognised = report::recognise(elf, options.image_path, options.seed);
  if (!recognised.image) std::printf("note: %s; places are named from its symbols only\n", recognised.mismatch.c_str());
  const InputFile file = [&] {
    try {
      return open_input(options.trace_path);
    } catch (const Error& error) {
      throw Error(std::string("trace-diff: ") + error.what());
    }
  }();
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
      if (!options.html_path.empty())
        write_file_atomically(options.html_path, html::divergence_page(outcome, options.trace_path,
                                                                       places.describe(outcome.expected.pc), outcome.culprit));
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
