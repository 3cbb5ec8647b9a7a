// The driver and the frame as a processor runs them: board write order, the
// pause, the verdict, and the failure path of one routine.
#include <gtest/gtest.h>

#include "board/layout.h"
#include "report/verdict.h"
#include "support/image_run.h"
#include "board/board.h"

namespace r3k {
namespace {

using sim::BoardWrite;

std::vector<std::pair<uint32_t, uint32_t>> log_of(const sim::RunResult& result) {
  std::vector<std::pair<uint32_t, uint32_t>> log;
  for (const BoardWrite& write : result.board_writes) log.emplace_back(write.address, write.value);
  return log;
}

TEST(Driver, PassingRunWritesTheBoardInOrder) {
  const test::ImageRun run = test::run_default_image();
  ASSERT_TRUE(run.passed());
  std::vector<std::pair<uint32_t, uint32_t>> expected = {
      {board::kStatusLampB, 2}, {board::kStatusLampA, 1}, {board::kLampBank, 0xFFFF}, {board::kResultDisplay, 0}};
  for (uint32_t n = 1; n <= 68; ++n) expected.emplace_back(board::kResultDisplay, n << 24 | n);
  expected.emplace_back(board::kStatusLampB, 1);
  expected.emplace_back(board::kStatusLampA, 1);
  EXPECT_EQ(log_of(run.result), expected);
  EXPECT_EQ(run.result.quick_run_flag_reads, 68u);
  EXPECT_EQ(run.result.regs[isa::s0], 68u);
  EXPECT_EQ(run.result.regs[isa::s3], 68u);
  EXPECT_EQ(run.result.board.result_display, 0x44000044u);
  EXPECT_EQ(run.result.board.lamp_bank, 0xFFFFu);
}

// A fault confined to one routine: its "li $s2, 0" leaves the error flag set,
// so the frame's flag test skips the pass count.
sim::Fault error_flag_set_in(int routine) {
  const uint32_t entry = test::default_image().routines.at(routine - 1).address;
  return {isa::Op::addiu,
          [entry](sim::Cpu& cpu, const sim::Decoded& decoded) {
            sim::execute_normal(cpu, decoded);
            if (cpu.pc == entry + 4) cpu.set_reg(isa::s2, 1);
          },
          sim::PipelineEffect::none};
}

TEST(Driver, OneFailingRoutineGivesTheFailPattern) {
  for (const int k : {1, 12, 68}) {
    SCOPED_TRACE(k);
    const test::ImageRun run = test::run_default_image(error_flag_set_in(k));
    ASSERT_TRUE(run.finished());
    EXPECT_EQ(run.failed, std::set<int>{k});
    EXPECT_EQ(run.display_words, test::expected_display_words({k}));
    EXPECT_EQ(run.result.board.result_display, 0x44000043u);
    const auto log = log_of(run.result);
    ASSERT_GE(log.size(), 3u);
    const std::vector<std::pair<uint32_t, uint32_t>> tail(log.end() - 3, log.end());
    EXPECT_EQ(tail, (std::vector<std::pair<uint32_t, uint32_t>>{
                        {board::kLampBank, 0}, {board::kStatusLampB, 2}, {board::kStatusLampA, 2}}));
    EXPECT_EQ(report::verdict_of(run.result), report::Verdict::Fail);
    EXPECT_EQ(run.result.regs[isa::s0], 68u);
    EXPECT_EQ(run.result.regs[isa::s3], 67u);
  }
}

TEST(Driver, AnExceptionStopsTheWritesWhereTheRunWas) {
  // syscall in place of routine 5's first instruction.
  const uint32_t entry = test::default_image().routines.at(4).address;
  const sim::Fault fault{isa::Op::addiu,
                         [entry](sim::Cpu& cpu, const sim::Decoded& decoded) {
                           if (cpu.pc == entry) cpu.raise(sim::Cause::Syscall);
                           else sim::execute_normal(cpu, decoded);
                         },
                         sim::PipelineEffect::none};
  const test::ImageRun run = test::run_default_image(fault);
  EXPECT_EQ(run.result.stop, sim::StopReason::ExceptionLoop);
  ASSERT_TRUE(run.result.exception.has_value());
  EXPECT_EQ(run.result.exception->pc, entry);
  EXPECT_EQ(run.result.board.result_display, 0x04000004u);
  EXPECT_EQ(report::verdict_of(run.result), report::Verdict::None);
}

TEST(Driver, FlagValuesSetThePauseLength) {
  const test::ImageRun quick = test::run_image(test::default_image(), {}, 1);
  for (const uint32_t flag : {0x80000000u, 0xFFFFFFFFu}) {
    const test::ImageRun other = test::run_image(test::default_image(), {}, flag);
    EXPECT_EQ(other.result.instructions, quick.result.instructions) << flag;
  }
}

// With the flag zero every pause runs its loop 2,097,153 times: 6,291,468
// instructions per call instead of 11.
TEST(Driver, FullPauseRunsTheLoop2097153Times) {
  const test::ImageRun quick = test::run_image(test::default_image(), {}, 1);
  sim::Machine machine(test::default_image().boot_bytes());
  sim::RunOptions options;
  options.quick_run_flag = 0;
  const sim::RunResult full = machine.run(options);
  ASSERT_EQ(full.stop, sim::StopReason::Finished);
  EXPECT_EQ(full.instructions - quick.result.instructions, 68ull * (6'291'468 - 11));
  EXPECT_EQ(full.instructions - quick.result.instructions, 68ull * (3 * (2'097'153 - 1) + 1));  // + the lui of the count
  EXPECT_EQ(log_of(full), log_of(quick.result));
}

// Past the reset jump, or past the end loop, a processor runs into a loop
// without storing anything.
TEST(Driver, FallingThroughTheVectorsEndsInALoopWithoutAStore) {
  sim::Machine machine(test::default_image().boot_bytes());
  for (const auto& [start, loop] : {std::pair{0xBFC00008u, sim::StopReason::Finished},
                                    std::pair{0xBFC0010Cu, sim::StopReason::ExceptionLoop}}) {
    sim::RunOptions options;
    options.start_pc = start;
    const sim::RunResult result = machine.run(options);
    EXPECT_EQ(result.stop, loop) << std::hex << start;
    EXPECT_FALSE(result.exception.has_value());
    EXPECT_TRUE(result.board_writes.empty());
  }
}

}  // namespace
}  // namespace r3k
