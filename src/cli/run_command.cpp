// r3kcheck run: runs an image on the reference simulator and shows the verdict.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "board/board.h"
#include "cli/args.h"
#include "cli/commands.h"
#include "cli/output_paths.h"
#include "cli/routine_names.h"
#include "cli/run_reports.h"
#include "common/atomic_file.h"
#include "common/error.h"
#include "elf/elf_reader.h"
#include "board/layout.h"
#include "sim/machine.h"
#include "sim/report.h"
#include "sim/trace.h"

namespace r3k::cli {
namespace {

constexpr const char* kHelp =
    "usage: r3kcheck run IMAGE.elf [--full] [--flag VALUE] [--max-instructions N] [--quiet]\n"
    "                    [--trace FILE|-] [--json] [--junit FILE]\n"
    "\n"
    "Loads the image's segments into the boot memory at their load addresses,\n"
    "resets the reference processor at 0xBFC00000 and runs until the end loop\n"
    "(0xBFC00100), the exception loop (0xBFC00380) or the instruction limit.\n"
    "Prints one line per routine as its display word is written, then the verdict.\n"
    "\n"
    "  --full                  a full pause after every routine (QUICK_RUN_FLAG reads 0;\n"
    "                          about 428 million instructions in all)\n"
    "  --flag VALUE            what a read of QUICK_RUN_FLAG returns (default 1:\n"
    "                          the pause loop runs once)\n"
    "  --max-instructions N    stop after N instructions (default 2000000000)\n"
    "  -q, --quiet             print the verdict only\n"
    "  --trace FILE            write the commit trace: a version line, then one line per\n"
    "                          instruction (address, word, what it wrote) and one per\n"
    "                          exception; '-' writes it to standard output and the\n"
    "                          verdict to standard error (the full pause: about 428\n"
    "                          million lines, some 13 GB)\n"
    "  --json                  print the verdict as one JSON object instead of the text\n"
    "  --junit FILE            also write a JUnit XML file, one test case per routine\n"
    "\n"
    "exit codes: 0 the lamps show pass, 1 the lamps show fail,\n"
    "            2 no verdict (exception loop, instruction limit) or bad input\n";

struct Options {
  std::string image_path;
  sim::RunOptions run;
  bool quiet = false;
  bool json = false;
  std::string trace_path;  // "-": standard output
  std::string junit_path;
};

Options parse(const Arguments& arguments, bool& help) {
  Options options;
  Args args("run", arguments);
  while (args.next()) {
    const std::string& a = args.current();
    if (a == "--help" || a == "-h") {
      help = true;
      return options;
    }
    if (a == "--full") options.run.quick_run_flag = 0;
    else if (a == "--flag") options.run.quick_run_flag = args.value_u32();
    else if (a == "--max-instructions") options.run.max_instructions = args.value_u64();
    else if (a == "-q" || a == "--quiet") options.quiet = true;
    else if (a == "--json") options.json = true;
    else if (a == "--trace") options.trace_path = args.value_path();
    else if (a == "--junit") options.junit_path = args.value_path();
    else if (args.is_option() || !options.image_path.empty()) args.unknown();
    else options.image_path = a;
  }
  if (options.image_path.empty()) throw Error("run: no image given (usage: r3kcheck run IMAGE.elf)");
  if (options.json && options.trace_path == "-")
    throw Error("run: --json and --trace - both want standard output; write the trace to a file");
  refuse_shared_outputs("run", {{"the image", options.image_path}},
                        {{"--trace", options.trace_path}, {"--junit", options.junit_path}});
  return options;
}

// Prints a line per routine as the display words come in.
class Progress {
 public:
  Progress(const RoutineNames& names, bool quiet) : names_(names), quiet_(quiet) {
    for (int number : names.numbers()) width_ = std::max(width_, static_cast<int>(names.name(number).size()));
  }

  void on_board_write(const sim::BoardWrite& write) {
    if (write.address != board::kResultDisplay) return;
    const std::optional<board::RoutineOutcome> outcome = display_.on_write(write.value);
    if (!outcome || quiet_) return;
    std::printf("%3d %-*s %s  0x%08X\n", outcome->number, width_, names_.name(outcome->number).c_str(),
                outcome->passed ? "pass" : "FAIL", write.value);
    std::fflush(stdout);
  }

  std::set<int> failed() const { return display_.failed(); }
  const std::vector<board::RoutineOutcome>& outcomes() const { return display_.outcomes(); }

 private:
  const RoutineNames& names_;
  bool quiet_;
  int width_ = 20;  // the longest routine name, so the columns line up
  board::DisplayReader display_;
};

// "pc 0x80001234", and " n21_add_test+0x1c" after it when the pc lies in a routine.
std::string pc_and_place(uint32_t pc, const RoutineNames& names) {
  char text[24];
  std::snprintf(text, sizeof text, "pc 0x%08X", pc);
  const std::string place = names.place(pc);
  return place.empty() ? text : text + (" " + place);
}

std::string lamps(const sim::BoardState& board) {
  char text[96];
  std::snprintf(text, sizeof text, "lamps A=%u B=%u bank=0x%04X, display 0x%08X", board.status_lamp_a,
                board.status_lamp_b, board.lamp_bank, board.result_display);
  return text;
}

}  // namespace

// The commit trace: to standard output, or streamed to a temporary beside
// FILE that replaces it once the run is over.
class TraceOutput {
 public:
  explicit TraceOutput(const std::string& path) {
    if (path.empty()) return;
    if (path != "-") file_.emplace(path);
    writer_.emplace([this](const char* bytes, size_t size) {
      if (file_) file_->write(bytes, size);
      else if (std::fwrite(bytes, 1, size, stdout) != size)
        throw Error("run: cannot write the trace to standard output: " + write_failure(errno));
    });
  }
  sim::TraceWriter* writer() { return writer_ ? &*writer_ : nullptr; }
  void finish(const sim::RunResult& result) {
    if (!writer_) return;
    writer_->finish(result);
    if (file_) file_->commit();
    else std::fflush(stdout);
  }

 private:
  std::optional<AtomicFileStream> file_;
  std::optional<sim::TraceWriter> writer_;
};

// Progress lines and the trace: only a traced run watches every instruction.
struct TracedProgress {
  Progress& progress;
  sim::TraceWriter& trace;
  void on_board_write(const sim::BoardWrite& write) { progress.on_board_write(write); }
  void on_instruction(const sim::Cpu& cpu, const sim::Decoded& decoded) { trace.on_instruction(cpu, decoded); }
};

template <class... Values>
std::string format(const char* pattern, Values... values) {
  const int size = std::snprintf(nullptr, 0, pattern, values...);
  std::string text(static_cast<size_t>(size) + 1, '\0');
  std::snprintf(text.data(), text.size(), pattern, values...);
  text.pop_back();
  return text;
}

struct Verdict {
  int exit_code;
  std::string line;
};

Verdict verdict_line(const sim::RunResult& result, const Progress& progress, const RoutineNames& names,
                     uint64_t max_instructions) {
  const sim::Verdict verdict = sim::verdict_of(result);
  // The routines the file has (68 for the main image, 18 for the supplement).
  const int routines = names.numbers().empty() ? layout::kRoutineCount : static_cast<int>(names.numbers().size());
  const unsigned passes = board::decode_display(result.board.result_display).pass_count;
  const std::string count =
      std::to_string(result.instructions) + (result.instructions == 1 ? " instruction" : " instructions");

  switch (verdict) {
    case sim::Verdict::Pass:
      return {kExitOk, format("PASS: %u of %d routines passed; %s; %s\n", passes, routines,
                              lamps(result.board).c_str(), count.c_str())};
    case sim::Verdict::Fail: {
      std::string failed;
      for (int number : progress.failed()) failed += " " + names.name(number);
      return {kExitFailed, format("FAIL: %u of %d routines passed (failed:%s); %s; %s\n", passes,
                                  routines, failed.c_str(), lamps(result.board).c_str(), count.c_str())};
    }
    case sim::Verdict::None: break;
  }
  std::string line;
  if (result.stop == sim::StopReason::InstructionLimit) {
    line = format("NO VERDICT: instruction limit of %llu reached at %s; %s\n",
                  static_cast<unsigned long long>(max_instructions), pc_and_place(result.pc, names).c_str(),
                  lamps(result.board).c_str());
  } else if (result.exception) {
    const sim::ExceptionRecord& e = *result.exception;
    line = format("NO VERDICT: exception loop reached after %s at %s (address 0x%08X); %s; %s\n",
                  std::string(sim::cause_name(e.cause)).c_str(), pc_and_place(e.pc, names).c_str(), e.bad_address,
                  lamps(result.board).c_str(), count.c_str());
  } else if (result.stop == sim::StopReason::ExceptionLoop) {
    line = format("NO VERDICT: the exception loop was reached without an exception; %s; %s\n",
                lamps(result.board).c_str(), count.c_str());
  } else {
    line = format("NO VERDICT: the end loop was reached but the lamps show neither pass nor fail; %s; %s\n",
                lamps(result.board).c_str(), count.c_str());
  }
  return {kExitError, line};
}


int run_command(const Arguments& arguments) {
  bool help = false;
  const Options options = parse(arguments, help);
  if (help) {
    std::fputs(kHelp, stdout);
    return kExitOk;
  }
  // Read in place: copying the file would be most of a quick run's set-up.
  elf::MappedElf elf = elf::map_elf_file(options.image_path);
  const RoutineNames names(elf.symbols);
  sim::Machine machine(elf.boot, std::move(elf.storage));
  const bool trace_on_stdout = options.trace_path == "-";
  Progress progress(names, options.quiet || options.json || trace_on_stdout);
  TraceOutput trace(options.trace_path);
  sim::RunResult result;
  if (sim::TraceWriter* writer = trace.writer()) {
    TracedProgress traced{progress, *writer};
    result = machine.run(options.run, traced);
  } else {
    result = machine.run(options.run, progress);
  }
  trace.finish(result);
  const RunReport report{result, names, progress.outcomes(), options.image_path};
  if (!options.junit_path.empty()) {
    const std::string xml = run_junit(report);
    write_file_atomically(options.junit_path, std::vector<uint8_t>(xml.begin(), xml.end()));
  }
  const Verdict verdict = verdict_line(result, progress, names, options.run.max_instructions);
  if (options.json) std::printf("%s\n", run_json(report).c_str());
  else std::fputs(verdict.line.c_str(), trace_on_stdout ? stderr : stdout);
  return verdict.exit_code;
}

}  // namespace r3k::cli
