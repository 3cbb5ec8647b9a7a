// The memory routines as they run: the image passes whatever the seed, and
// every RAM word a memory case reads it has written itself, also when a
// follow-up load receives a stale base.
#include <gtest/gtest.h>

#include <set>

#include "families/memory_test_support.h"
#include "image/build.h"
#include "sim/fault.h"
#include "support/image_run.h"

namespace r3k::test {
namespace {

using isa::Op;

const std::set<int> kMemoryRoutines = {6, 12, 59, 60, 61, 62, 63, 64, 65, 66, 67, 68};

bool in_ram(uint32_t address) { return address - 0x80000000u < 0x40000u; }

bool is_memory_op(Op op) { return isa::info(op).format == isa::Format::Memory; }
bool is_store(Op op) { return op == Op::sb || op == Op::sh || op == Op::sw || op == Op::swl || op == Op::swr; }

// Follows the memory accesses of the memory routines' cases. The observer
// sees each instruction after it ran, so the registers it addressed with are
// the ones it kept from the instruction before.
class CaseTraffic {
 public:
  explicit CaseTraffic(const Image& image) : image_(image) {}

  void on_instruction(const sim::Cpu& cpu, const sim::Decoded& decoded) {
    const std::array<uint32_t, 32> before = registers_;
    registers_ = cpu.regs;
    const Op op = decoded.op();
    if (op == Op::invalid || !is_memory_op(op)) return;
    const int routine = routine_at(cpu.pc);
    const SourceLoc line = image_.lines[(cpu.pc - image_.text_base) / 4];
    const int cases = routine ? image_.routines[routine - 1].cases : 0;
    if (!routine || line.line < 2 || line.line > static_cast<uint32_t>(cases + 1)) return;
    if (routine != routine_ || line.line != line_) written_.clear();  // a new case starts with nothing written
    routine_ = routine, line_ = line.line;

    const uint32_t address = before[decoded.rs] + decoded.imm;
    const uint32_t word = address & ~3u;
    ++accesses;
    if (!in_ram(address)) problems.push_back(describe("outside RAM", routine, address));
    const bool reads = !is_store(op) || op == Op::swl || op == Op::swr;  // swl and swr keep part of the word
    if (reads && !written_.count(word)) problems.push_back(describe("reads an unwritten word", routine, address));
    if (is_store(op)) written_.insert(word);
    lowest = std::min(lowest, word);
    highest = std::max(highest, word);
  }

  uint64_t accesses = 0;
  uint32_t lowest = 0xFFFFFFFF, highest = 0;
  std::vector<std::string> problems;

 private:
  int routine_at(uint32_t pc) const {
    for (int number : kMemoryRoutines) {
      const RoutineInfo& info = image_.routines[number - 1];
      if (pc >= info.address && pc < info.address + info.size) return number;
    }
    return 0;
  }
  std::string describe(const char* what, int routine, uint32_t address) const {
    char text[96];
    std::snprintf(text, sizeof text, "routine %d case %u %s at 0x%08x", routine, line_ - 1, what, address);
    return text;
  }

  const Image& image_;
  std::array<uint32_t, 32> registers_{};
  std::set<uint32_t> written_;
  int routine_ = 0;
  uint32_t line_ = 0;
};

CaseTraffic watch(const sim::Fault& fault) {
  CaseTraffic traffic(default_image());
  sim::Machine machine(default_image().boot_bytes());
  sim::RunOptions options;
  options.fault = fault;
  options.max_instructions = 50'000'000;
  const sim::RunResult result = machine.run(options, traffic);
  EXPECT_EQ(result.stop, sim::StopReason::Finished);
  return traffic;
}

TEST(MemoryTraffic, EveryCaseReadsOnlyWordsItWrote) {
  const CaseTraffic traffic = watch({});
  // Seven accesses in a word or load case, eight in a store case.
  EXPECT_EQ(traffic.accesses, 7u * (64 + 69 + 117 + 126 + 86 + 110 + 50 + 50) + 8u * (113 + 103 + 50 + 50));
  EXPECT_TRUE(traffic.problems.empty()) << traffic.problems.front();
  // Unaligned cases from 0x80000328, the others up to the last word of RAM.
  EXPECT_GE(traffic.lowest, 0x80000328u);
  EXPECT_LE(traffic.highest, 0x8003FFFCu);
}

// With the result of every lw arriving one instruction late, a follow-up
// load addresses through the old base: it must still land on a neighbour word.
TEST(MemoryTraffic, StaleBasesStillReadWordsTheCaseWrote) {
  const CaseTraffic traffic = watch({Op::lw, {}, sim::PipelineEffect::delayed_load});
  EXPECT_TRUE(traffic.problems.empty()) << traffic.problems.front();
}

TEST(MemoryTraffic, ImagePassesWithOtherSeeds) {
  EXPECT_TRUE(run_default_image().passed());
  for (uint32_t seed : {1u, 0xDEADBEEFu}) {
    const ImageRun run = run_image(build_image(seed));
    EXPECT_TRUE(run.finished()) << seed;
    for (int number : run.failed) EXPECT_FALSE(kMemoryRoutines.count(number)) << "seed " << seed << " routine " << number;
  }
}

}  // namespace
}  // namespace r3k::test
