// libFuzzer target: runs an arbitrary image on the reference simulator for a
// few thousand instructions. An input that starts with the ELF magic is read
// as an image file (as `r3kcheck run` does); any other input is taken as the
// boot memory itself, so the fuzzer reaches the processor without first
// having to make a valid ELF file.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "common/error.h"
#include "elf/elf_reader.h"
#include "sim/machine.h"
#include "report/verdict.h"
#include "sim/report.h"

namespace {

constexpr uint64_t kInstructionLimit = 20'000;
// The boot memory of a raw input is at most this large, as an image's is.
constexpr std::size_t kLargestBootMemory = 4 << 20;

void run(std::vector<uint8_t> boot, uint32_t quick_run_flag) {
  r3k::sim::Machine machine(std::move(boot));
  r3k::sim::RunOptions options;
  options.max_instructions = kInstructionLimit;
  options.quick_run_flag = quick_run_flag;
  const r3k::sim::RunResult result = machine.run(options);
  (void)r3k::report::verdict_of(result);
  if (result.exception) (void)r3k::sim::describe(*result.exception);
  (void)r3k::sim::stop_reason_name(result.stop);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static constexpr uint8_t kElfMagic[] = {0x7F, 'E', 'L', 'F'};
  try {
    if (size >= sizeof kElfMagic && std::memcmp(data, kElfMagic, sizeof kElfMagic) == 0) {
      run(r3k::elf::read_elf(std::vector<uint8_t>(data, data + size), "fuzz.elf").boot, 1);
    } else if (size >= 4 && size <= kLargestBootMemory) {
      // The first word chooses what QUICK_RUN_FLAG reads; the rest is the boot memory.
      uint32_t flag = 0;
      std::memcpy(&flag, data, 4);
      run(std::vector<uint8_t>(data + 4, data + size), flag);
    }
  } catch (const r3k::Error&) {
  }
  return 0;
}
