// The verdict of a run from the lamps at the end loop, and the line `run`
// ends with for runs that stop in each way.
#include <gtest/gtest.h>

#include "board/board.h"
#include "elf/elf_reader.h"
#include "report/verdict.h"

namespace r3k {
namespace {

using report::Verdict;
using sim::RunResult;
using sim::StopReason;

TEST(Verdict, ComesFromTheLampsAtTheEndLoop) {
  RunResult result;
  result.stop = StopReason::Finished;
  result.board = {board::kLampBankAll, board::kLampOn, board::kLampOn, 0x44000044};
  EXPECT_EQ(report::verdict_of(result), Verdict::Pass);
  result.board = {0, board::kLampFail, board::kLampFail, 0x44000043};
  EXPECT_EQ(report::verdict_of(result), Verdict::Fail);
  result.board = {board::kLampBankAll, board::kLampOn, board::kLampFail, 0};  // still running
  EXPECT_EQ(report::verdict_of(result), Verdict::None);
  result.board = {board::kLampBankAll, board::kLampOn, board::kLampOn, 0x44000044};
  result.stop = StopReason::ExceptionLoop;
  EXPECT_EQ(report::verdict_of(result), Verdict::None);
}

// Failed routines are named once each, in number order, by the file's names;
// a pc in a routine is named with its offset.
TEST(Verdict, TheLineNamesFailuresAndWhereARunStopped) {
  std::vector<elf::ElfSymbol> symbols(2);
  symbols[0].name = "n1_a_test", symbols[0].value = 0xBFC00800, symbols[0].size = 0x40;
  symbols[1].name = "n2_b_test", symbols[1].value = 0xBFC00840, symbols[1].size = 0x40;
  const report::RoutineNames names(symbols);
  board::DisplayReader display;
  for (const uint32_t word : {0u, 0x01000000u, 0x02000001u}) display.on_write(word);
  RunResult result;
  result.stop = StopReason::Finished;
  result.instructions = 1;
  result.board = {0, board::kLampFail, board::kLampFail, 0x02000001};
  EXPECT_EQ(report::verdict_line({result, names, display, "x.elf", 100}),
            "FAIL: 1 of 2 routines passed (failed: n1_a_test); lamps A=2 B=2 bank=0x0000, display 0x02000001; "
            "1 instruction\n");
  result.stop = StopReason::InstructionLimit;
  result.pc = 0xBFC0085C;
  EXPECT_EQ(report::verdict_line({result, names, display, "x.elf", 100}),
            "NO VERDICT: instruction limit of 100 reached at pc 0xBFC0085C n2_b_test+0x1c; lamps A=2 B=2 "
            "bank=0x0000, display 0x02000001\n");
}

}  // namespace
}  // namespace r3k
