// r3kcheck: builds a self-checking MIPS-I test image and runs it on the
// reference simulator.
#include <cstdio>
#ifdef __GLIBC__
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#endif
#include <cerrno>
#include <csignal>
#include <exception>
#include <string>
#include <string_view>

#include "cli/commands.h"
#include "common/atomic_file.h"
#include "common/error.h"
#include "common/escaped_text.h"

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
    "  export  write the boot memory as bin, hex, coe, mif or a listing\n"
    "                                                  (r3kcheck export out/image.elf --format hex)\n"
    "  explain the routine and case behind an address, a display word or a routine\n"
    "                                                  (r3kcheck explain 0x25000024)\n"
    "  trace-diff  compare a design's instruction trace with the reference\n"
    "              (r3kcheck trace-diff dut.trace --image out/image.elf)\n"
    "  faults  score the image against the fault catalog (r3kcheck faults)\n"
    "  diagnose  likely causes of failing routines  (r3kcheck diagnose --failed 18,20)\n"
    "  kit     a directory to run the image on a processor design in a logic simulator\n"
    "                                                  (r3kcheck kit -o bench)\n"
    "\n"
    "r3kcheck <command> --help (or r3kcheck help <command>) describes a command's options.\n"
    "exit codes: 0 success (run: pass), 1 run: fail, 2 error or no verdict.\n";

struct Command {
  std::string_view name;
  int (*handler)(const r3k::cli::Arguments&);
};

constexpr Command kCommands[] = {
    {"build", r3k::cli::build_command},
    {"run", r3k::cli::run_command},
    {"export", r3k::cli::export_command},
    {"explain", r3k::cli::explain_command},
    {"trace-diff", r3k::cli::trace_diff_command},
    {"faults", r3k::cli::faults_command},
    {"diagnose", r3k::cli::diagnose_command},
    {"kit", r3k::cli::kit_command},
};

int error(std::string_view message) {
  std::fprintf(stderr, "r3kcheck: %s\n", r3k::one_line(message).c_str());
  return r3k::cli::kExitError;
}

// A report that could not be written (a full disk, a closed pipe) is no
// answer, whatever the command found.
int report_written(int exit_code) {
  errno = 0;
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return exit_code;
  const int failure = errno;
  return error("cannot write to standard output" + (failure ? ": " + r3k::write_failure(failure) : std::string()));
}

int run(const Command& command, const r3k::cli::Arguments& arguments) {
  try {
    return report_written(command.handler(arguments));
  } catch (const r3k::Error& failure) {
    return error(failure.what());
  } catch (const std::exception& failure) {
    return error(std::string("internal error: ") + failure.what());
  }
}

const Command* find_command(std::string_view name) {
  for (const Command& command : kCommands)
    if (command.name == name) return &command;
  return nullptr;
}

}  // namespace

// A build grows and frees vectors and strings of hundreds of kilobytes.
// glibc would hand each of them fresh pages from the kernel and give them
// back on free, and on a virtual machine a first touch costs more than the
// copy; kept in the heap, freed memory is reused instead (a build touches
// about 10 MB instead of 16, and takes a quarter less time).
static void keep_freed_memory() {
#ifdef __GLIBC__
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
  mallopt(M_TRIM_THRESHOLD, 128 << 20);
#endif
}

// The heap is reserved ahead in one piece and offered to the kernel for
// transparent huge pages. On a virtual machine the first touch of a 4 KiB
// page costs about 10 us and that of a 2 MiB page about 100 us, so a build
// that touches 10 MB spends 1 ms instead of 25 in page faults, and a run
// fills its RAM and decode cache without a fault per page. The reserve is
// address space only: a page never touched costs nothing. Where the kernel
// offers no huge pages, madvise fails and nothing changes.
static void reserve_heap_in_huge_pages() {
#if defined(__GLIBC__) && defined(MADV_HUGEPAGE)
  constexpr uintptr_t kPage = 4096, kHugePage = 2 << 20;
  constexpr size_t kReserve = 32 << 20;
  const auto end = reinterpret_cast<uintptr_t>(sbrk(0));
  if (end == static_cast<uintptr_t>(-1)) return;
  // The heap goes on from one page below a huge page's boundary: malloc
  // keeps its bookkeeping for the new piece in that page.
  const uintptr_t boundary = (end + kPage + kHugePage - 1) & ~(kHugePage - 1);
  if (sbrk(static_cast<intptr_t>(boundary - kPage - end)) == reinterpret_cast<void*>(-1)) return;
  // One block the size of the reserve grows the heap by it. malloc writes
  // only at its two ends, so everything between stays untouched until it is
  // offered; freed, the block is the heap's to hand out.
  mallopt(M_TOP_PAD, 0);
  void* volatile block = std::malloc(kReserve);  // volatile: the pair is not optimised away
  mallopt(M_TOP_PAD, 128 << 10);                 // glibc's default
  const auto first = reinterpret_cast<uintptr_t>(block);
  std::free(block);
  // Only where the block is that piece of the heap: a malloc of its own (a
  // sanitizer's) puts it elsewhere, and the advice is not given.
  if (first < boundary - kPage || first >= boundary) return;  // a null block included
  const uintptr_t last = (first + kReserve) & ~(kHugePage - 1);
  madvise(reinterpret_cast<void*>(boundary), last - boundary, MADV_HUGEPAGE);
#endif
}

int main(int argc, char** argv) {
  using namespace r3k::cli;
  keep_freed_memory();
  reserve_heap_in_huge_pages();
  // A closed pipe and an exceeded file-size limit become failed writes, each
  // reported in a line, instead of signals that end the process mid-write
  // (SIGXFSZ would leave a named temporary).
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return kExitError;
  }
  const std::string_view name = argv[1];
  if (name == "help" && argc == 3) {  // "r3kcheck help build" is "r3kcheck build --help"
    const Command* command = find_command(argv[2]);
    if (!command) return error("unknown command '" + std::string(argv[2]) + "' (see r3kcheck --help)");
    return run(*command, {"--help"});
  }
  if (name == "--help" || name == "-h" || name == "help") {
    std::fputs(kUsage, stdout);
    return kExitOk;
  }
  if (const Command* command = find_command(name)) return run(*command, Arguments(argv + 2, argv + argc));
  return error("unknown command '" + std::string(name) + "' (see r3kcheck --help)");
}
