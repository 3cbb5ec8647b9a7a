// r3kcheck run: runs an image on the reference simulator and shows the verdict.
#include <cerrno>
#include <cstdio>
#include <optional>
#include <string>

#include "board/board.h"
#include "cli/commands.h"
#include "cli/options.h"
#include "cli/output_paths.h"
#include "common/atomic_file.h"
#include "common/error.h"
#include "elf/elf_reader.h"
#include "html/run_map.h"
#include "report/routine_names.h"
#include "report/verdict.h"
#include "sim/machine.h"
#include "sim/trace.h"

namespace r3k::cli {
namespace {

constexpr OptionSpec kOptions[] = {
    {"--full", ValueKind::none, "",
     "a full pause after every routine (QUICK_RUN_FLAG reads 0;\n"
     "about 428 million instructions in all)"},
    {"--flag", ValueKind::number32, "VALUE",
     "what a read of QUICK_RUN_FLAG returns (default 1:\n"
     "the pause loop runs once)"},
    {"--max-instructions", ValueKind::number64, "N", "stop after N instructions (default 2000000000)"},
    {"-q, --quiet", ValueKind::none, "", "print the verdict only"},
    {"--trace", ValueKind::path, "FILE|-",
     "write the commit trace: a version line, then one line per\n"
     "instruction (address, word, what it wrote) and one per\n"
     "exception; '-' writes it to standard output and the\n"
     "verdict to standard error (the full pause: about 428\n"
     "million lines, some 13 GB)"},
    {"--json", ValueKind::none, "", "print the verdict as one JSON object instead of the text"},
    {"--junit", ValueKind::path, "FILE", "also write a JUnit XML file, one test case per routine"},
    {"--html", ValueKind::path, "FILE",
     "also write the run as one HTML page: a tile per routine\n"
     "(passed, failed, not reached), the lamps, the display words"},
};

constexpr CommandSpec kCommand{
    "run", "IMAGE.elf", 1,
    "Loads the image's segments into the boot memory at their load addresses,\n"
    "resets the reference processor at 0xBFC00000 and runs until the end loop\n"
    "(0xBFC00100), the exception loop (0xBFC00380) or the instruction limit.\n"
    "Prints one line per routine as its display word is written, then the verdict.\n",
    kOptions,
    "exit codes: 0 the lamps show pass, 1 the lamps show fail,\n"
    "            2 no verdict (exception loop, instruction limit) or bad input\n"};

struct Options {
  std::string image_path;
  sim::RunOptions run;
  bool quiet = false;
  bool json = false;
  std::string trace_path;  // "-": standard output
  std::string junit_path;
  std::string html_path;
};

Options options_of(const ParsedOptions& parsed) {
  if (parsed.operands().empty()) throw Error("run: no image given (usage: r3kcheck run IMAGE.elf)");
  Options options;
  options.image_path = parsed.operands()[0];
  if (parsed.has("--full")) options.run.quick_run_flag = 0;
  if (const auto flag = parsed.number("--flag")) options.run.quick_run_flag = static_cast<uint32_t>(*flag);
  options.run.max_instructions = parsed.number("--max-instructions").value_or(options.run.max_instructions);
  options.quiet = parsed.has("--quiet");
  options.json = parsed.has("--json");
  options.trace_path = parsed.text("--trace").value_or("");
  options.junit_path = parsed.text("--junit").value_or("");
  options.html_path = parsed.text("--html").value_or("");
  if (options.json && options.trace_path == "-")
    throw Error("run: --json and --trace - both want standard output; write the trace to a file");
  refuse_shared_outputs("run", {{"the image", options.image_path}},
                        {{"--trace", options.trace_path}, {"--junit", options.junit_path}, {"--html", options.html_path}});
  return options;
}

// Prints a line per routine as the display words come in.
class Progress {
 public:
  Progress(const report::RoutineNames& names, bool quiet) : names_(names), quiet_(quiet) {}

  void on_board_write(const sim::BoardWrite& write) {
    if (write.address != board::kResultDisplay) return;
    const std::optional<board::RoutineOutcome> outcome = display_.on_write(write.value);
    if (!outcome || quiet_) return;
    std::fputs(report::routine_line(*outcome, names_).c_str(), stdout);
    std::fflush(stdout);
  }

  const board::DisplayReader& display() const { return display_; }

 private:
  const report::RoutineNames& names_;
  bool quiet_;
  board::DisplayReader display_;
};

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

int run_command(const Arguments& arguments) {
  const std::optional<ParsedOptions> parsed = options_or_help(kCommand, arguments);
  if (!parsed) return kExitOk;
  const Options options = options_of(*parsed);
  // Read in place: copying the file would be most of a quick run's set-up.
  elf::MappedElf elf = elf::map_elf_file(options.image_path);
  const report::RoutineNames names(elf.symbols);
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
  const report::RunReport run{result, names, progress.display(), options.image_path, options.run.max_instructions};
  if (!options.junit_path.empty()) {
    const std::string xml = report::verdict_junit(run);
    write_file_atomically(options.junit_path, std::vector<uint8_t>(xml.begin(), xml.end()));
  }
  if (!options.html_path.empty()) write_file_atomically(options.html_path, html::run_map_page(run));
  if (options.json) std::printf("%s\n", report::verdict_json(run).c_str());
  else std::fputs(report::verdict_line(run).c_str(), trace_on_stdout ? stderr : stdout);
  switch (report::verdict_of(result)) {
    case report::Verdict::Pass: return kExitOk;
    case report::Verdict::Fail: return kExitFailed;
    case report::Verdict::None: break;
  }
  return kExitError;
}

}  // namespace r3k::cli
