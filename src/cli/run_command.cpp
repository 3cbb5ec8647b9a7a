// r3kcheck run: runs an image on the reference simulator and shows the verdict.
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "cli/args.h"
#include "cli/commands.h"
#include "common/error.h"
#include "elf/elf_reader.h"
#include "image/layout.h"
#include "sim/machine.h"
#include "sim/report.h"
#include "board/board.h"

namespace r3k::cli {
namespace {

constexpr const char* kHelp =
    "usage: r3kcheck run IMAGE.elf [--full] [--flag VALUE] [--max-instructions N] [--quiet]\n"
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
    "\n"
    "exit codes: 0 the lamps show pass, 1 the lamps show fail,\n"
    "            2 no verdict (exception loop, instruction limit) or bad input\n";

struct Options {
  std::string image_path;
  sim::RunOptions run;
  bool quiet = false;
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
    else if (args.is_option() || !options.image_path.empty()) args.unknown();
    else options.image_path = a;
  }
  if (options.image_path.empty()) throw Error("run: no image given (usage: r3kcheck run IMAGE.elf)");
  return options;
}

// Routine names by test number, and routine ranges by address, from the
// image's global function symbols "nN_xxx_test".
class RoutineNames {
 public:
  explicit RoutineNames(const elf::LoadedElf& elf) {
    for (const elf::ElfSymbol& symbol : elf.symbols) {
      const auto number = board::routine_number_of(symbol.name);
      if (!number) continue;
      by_number_[*number] = symbol.name;
      by_address_[symbol.value] = {symbol.name, symbol.size};
    }
  }
  int count() const { return static_cast<int>(by_number_.size()); }
  std::string name(int number) const {
    const auto it = by_number_.find(number);
    return it != by_number_.end() ? it->second : "routine " + std::to_string(number);
  }
  // "n21_add_test+0x1c", or "" outside every routine.
  std::string place(uint32_t address) const {
    auto it = by_address_.upper_bound(address);
    if (it == by_address_.begin()) return "";
    --it;
    if (address - it->first >= it->second.second) return "";
    char offset[16];
    std::snprintf(offset, sizeof offset, "+0x%x", address - it->first);
    return it->second.first + offset;
  }

 private:
  std::map<int, std::string> by_number_;
  std::map<uint32_t, std::pair<std::string, uint32_t>> by_address_;
};

// Prints a line per routine as the display words come in.
class Progress {
 public:
  Progress(const RoutineNames& names, bool quiet) : names_(names), quiet_(quiet) {}

  void on_board_write(const sim::BoardWrite& write) {
    if (write.address != board::kResultDisplay) return;
    const std::optional<board::RoutineOutcome> outcome = display_.on_write(write.value);
    if (!outcome || quiet_) return;
    std::printf("%3d %-20s %s  0x%08X\n", outcome->number, names_.name(outcome->number).c_str(),
                outcome->passed ? "pass" : "FAIL", write.value);
    std::fflush(stdout);
  }

  std::set<int> failed() const { return display_.failed(); }

 private:
  const RoutineNames& names_;
  bool quiet_;
  board::DisplayReader display_;
};

std::string lamps(const sim::BoardState& board) {
  char text[96];
  std::snprintf(text, sizeof text, "lamps A=%u B=%u bank=0x%04X, display 0x%08X", board.status_lamp_a,
                board.status_lamp_b, board.lamp_bank, board.result_display);
  return text;
}

}  // namespace

int run_command(const Arguments& arguments) {
  bool help = false;
  const Options options = parse(arguments, help);
  if (help) {
    std::fputs(kHelp, stdout);
    return kExitOk;
  }
  const elf::LoadedElf elf = elf::read_elf_file(options.image_path);
  const RoutineNames names(elf);
  sim::Machine machine(elf.boot);
  Progress progress(names, options.quiet);
  const sim::RunResult result = machine.run(options.run, progress);
  const sim::Verdict verdict = sim::verdict_of(result);
  const unsigned passes = board::decode_display(result.board.result_display).pass_count;
  const std::string count = std::to_string(result.instructions) + " instructions";

  switch (verdict) {
    case sim::Verdict::Pass:
      std::printf("PASS: %u of %d routines passed; %s; %s\n", passes, names.count(),
                  lamps(result.board).c_str(), count.c_str());
      return kExitOk;
    case sim::Verdict::Fail: {
      std::string failed;
      for (int number : progress.failed()) failed += " " + names.name(number);
      std::printf("FAIL: %u of %d routines passed (failed:%s); %s; %s\n", passes, names.count(),
                  failed.c_str(), lamps(result.board).c_str(), count.c_str());
      return kExitFailed;
    }
    case sim::Verdict::None: break;
  }
  if (result.stop == sim::StopReason::InstructionLimit) {
    std::printf("NO VERDICT: instruction limit of %llu reached at pc 0x%08X %s; %s\n",
                static_cast<unsigned long long>(options.run.max_instructions), result.pc,
                names.place(result.pc).c_str(), lamps(result.board).c_str());
  } else if (result.exception) {
    const sim::ExceptionRecord& e = *result.exception;
    std::printf("NO VERDICT: exception loop reached after %s at pc 0x%08X %s (address 0x%08X); %s; %s\n",
                std::string(sim::cause_name(e.cause)).c_str(), e.pc, names.place(e.pc).c_str(), e.bad_address,
                lamps(result.board).c_str(), count.c_str());
  } else if (result.stop == sim::StopReason::ExceptionLoop) {
    std::printf("NO VERDICT: the exception loop was reached without an exception; %s; %s\n",
                lamps(result.board).c_str(), count.c_str());
  } else {
    std::printf("NO VERDICT: the end loop was reached but the lamps show neither pass nor fail; %s; %s\n",
                lamps(result.board).c_str(), count.c_str());
  }
  return kExitError;
}

}  // namespace r3k::cli
