// r3kcheck: builds a self-checking MIPS-I test image and runs it on the
// reference simulator.
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>

#include "cli/args.h"
#include "cli/commands.h"
#include "common/error.h"

namespace {

constexpr const char* kUsage =
    "usage: r3kcheck <command> [options]\n"
    "\n"
    "Builds a self-checking instruction test image for a MIPS-I (R3000-class,\n"
    "little-endian) processor and runs it on a reference simulator.\n"
    "\n"
    "commands:\n"
    "  build   write the test image as an ELF file    (r3kcheck build -o out/image.elf)\n"
    "  run     run an image on the reference simulator (r3kcheck run out/image.elf)\n"
    "  trace-diff  compare a design's instruction trace with the reference\n"
    "              (r3kcheck trace-diff dut.trace --image out/image.elf)\n"
    "\n"
    "r3kcheck <command> --help describes a command's options.\n"
    "exit codes: 0 success (run: pass), 1 run: fail, 2 error or no verdict.\n";

struct Command {
  std::string_view name;
  int (*handler)(const r3k::cli::Arguments&);
};

constexpr Command kCommands[] = {
    {"build", r3k::cli::build_command},
    {"run", r3k::cli::run_command},
    {"trace-diff", r3k::cli::trace_diff_command},
};

}  // namespace

int main(int argc, char** argv) {
  using namespace r3k::cli;
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return kExitError;
  }
  const std::string_view name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") {
    std::fputs(kUsage, stdout);
    return kExitOk;
  }
  for (const Command& command : kCommands) {
    if (command.name != name) continue;
    try {
      return command.handler(Arguments(argv + 2, argv + argc));
    } catch (const r3k::Error& error) {
      std::fprintf(stderr, "r3kcheck: %s\n", error.what());
      return kExitError;
    } catch (const std::exception& error) {
      std::fprintf(stderr, "r3kcheck: internal error: %s\n", error.what());
      return kExitError;
    }
  }
  std::fprintf(stderr, "r3kcheck: unknown command '%s' (see r3kcheck --help)\n", argv[1]);
  return kExitError;
}
