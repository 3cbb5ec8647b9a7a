// libFuzzer target: r3kcheck diagnose on any input, through the command
// itself. The first byte chooses the option: 0 --display, 1 --failed,
// 2 and 3 --json (the rest of the input is then the report file's bytes);
// bit 2 adds --supplement, bit 3 --nearest with the count in bits 4..7. A
// bad input must end in one r3k::Error; anything else thrown is a finding.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "common/error.h"

namespace {

// The report file, in memory: rewritten for each input.
int report_file() {
  static const int descriptor = ::memfd_create("report.json", 0);
  return descriptor;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The answers are not the point; printing them would be most of the time.
  if (!std::freopen("/dev/null", "w", stdout)) return 1;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  const std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
  r3k::cli::Arguments arguments;
  switch (mode & 3) {
    case 0: arguments = {"--display", rest}; break;
    case 1: arguments = {"--failed", rest}; break;
    default: {
      const int file = report_file();
      if (file < 0 || ::ftruncate(file, 0) != 0 || ::pwrite(file, rest.data(), rest.size(), 0) < 0) return 0;
      arguments = {"--json", "/proc/self/fd/" + std::to_string(file)};
    }
  }
  if (mode & 4) arguments.push_back("--supplement");
  if (mode & 8) arguments.insert(arguments.end(), {"--nearest", std::to_string(mode >> 4)});
  try {
    (void)r3k::cli::diagnose_command(arguments);
  } catch (const r3k::Error&) {
  }
  std::fflush(stdout);
  return 0;
}
