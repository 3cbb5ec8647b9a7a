// The machine around the processor: the board, the stop conditions, code
// run from RAM, observers, and the report words.
#include <gtest/gtest.h>

#include <set>

#include "common/error.h"
#include "program.h"
#include "sim/report.h"
#include "board/board.h"

namespace r3k::sim::test {
namespace {

// The start of the image's locate: four lamp writes through addiu-built
// addresses, then two reads of the flag.
Program board_program() {
  Program p;
  p.emit(Op::addiu, {.rt = a0, .imm = uint16_t(-0xFF8)}).emit(Op::addiu, {.rt = a1, .imm = uint16_t(-0xFFC)});
  p.emit(Op::addiu, {.rt = a2, .imm = uint16_t(-0x1000)}).emit(Op::addiu, {.rt = s1, .imm = uint16_t(-0xFF0)});
  p.emit(Op::addiu, {.rt = t1, .imm = 2}).emit(Op::addiu, {.rt = t2, .imm = 1});
  p.emit(Op::ori, {.rt = t3, .imm = 0xFFFF}).emit(Op::lui, {.rt = s3});
  p.store(Op::sw, t1, 0, a0).store(Op::sw, t2, 0, a1).store(Op::sw, t3, 0, a2).store(Op::sw, s3, 0, s1);
  p.emit(Op::addiu, {.rt = t4, .imm = uint16_t(-0xC)});
  p.load(Op::lw, t5, 0, t4).load(Op::lw, t6, 0, t4).finish();
  return p;
}

TEST(SimMachine, BoardWritesAreLoggedInOrderAndTheFlagReadsCounted) {
  for (const uint32_t flag : {0u, 1u, 0x80000000u}) {
    SCOPED_TRACE(flag);
    RunOptions options;
    options.quick_run_flag = flag;
    const RunResult result = run(board_program(), options);
    EXPECT_EQ(result.stop, StopReason::Finished);
    ASSERT_EQ(result.board_writes.size(), 4u);
    const BoardWrite expected[] = {{board::kStatusLampB, 2, 9},
                                   {board::kStatusLampA, 1, 10},
                                   {board::kLampBank, 0xFFFF, 11},
                                   {board::kResultDisplay, 0, 12}};
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(result.board_writes[i].address, expected[i].address) << i;
      EXPECT_EQ(result.board_writes[i].value, expected[i].value) << i;
      EXPECT_EQ(result.board_writes[i].instruction, expected[i].instruction) << i;
    }
    EXPECT_EQ(result.board.status_lamp_b, 2u);
    EXPECT_EQ(result.board.status_lamp_a, 1u);
    EXPECT_EQ(result.board.lamp_bank, 0xFFFFu);
    EXPECT_EQ(result.board.result_display, 0u);
    EXPECT_EQ(result.quick_run_flag_reads, 2u);
    EXPECT_EQ(result.regs[t5], flag);
    EXPECT_EQ(result.regs[t6], flag);
  }
}

struct RecordingObserver {
  std::vector<BoardWrite> writes;
  uint64_t instructions = 0;
  std::set<uint32_t> pcs;
  void on_board_write(const BoardWrite& write) { writes.push_back(write); }
  void on_instruction(const Cpu& cpu, const Decoded&) {
    ++instructions;
    pcs.insert(cpu.pc);
  }
};

TEST(SimMachine, ObserversSeeEveryBoardWriteAndInstruction) {
  const Program p = board_program();
  Machine machine(p.rom());
  RunOptions options;
  options.start_pc = p.base();
  RecordingObserver observer;
  const RunResult result = machine.run(options, observer);
  ASSERT_EQ(observer.writes.size(), result.board_writes.size());
  for (size_t i = 0; i < observer.writes.size(); ++i)
    EXPECT_EQ(observer.writes[i].instruction, result.board_writes[i].instruction);
  EXPECT_EQ(observer.instructions, result.instructions);
  EXPECT_EQ(observer.pcs.size(), result.instructions);  // straight-line code: each word once
  EXPECT_EQ(*observer.pcs.begin(), p.base());

  // A plain run of the same machine afterwards is the same run.
  const RunResult plain = machine.run(options);
  EXPECT_EQ(plain.instructions, result.instructions);
  EXPECT_EQ(plain.board_writes.size(), result.board_writes.size());
}

TEST(SimMachine, InstructionLimitStopsAnEndlessLoop) {
  Program p;
  p.branch(Op::beq, zero, zero, -1).emit(Op::addiu, {.rs = t0, .rt = t0, .imm = 1});
  RunOptions options;
  options.max_instructions = 1001;
  const RunResult result = run(p, options);
  EXPECT_EQ(result.stop, StopReason::InstructionLimit);
  EXPECT_EQ(result.instructions, 1001u);
  EXPECT_EQ(result.regs[t0], 500u);
  EXPECT_EQ(result.pc, p.base() + 4);
  EXPECT_FALSE(result.exception);
}

TEST(SimMachine, ReachingALoopAtTheLimitStillCountsAsReachingIt) {
  Program p;
  p.nop().finish();
  RunOptions options;
  options.max_instructions = 3;
  EXPECT_EQ(run(p, options).stop, StopReason::Finished);
  options.max_instructions = 2;
  EXPECT_EQ(run(p, options).stop, StopReason::InstructionLimit);
}

// Zero words execute as nops and run into the loops.
TEST(SimMachine, FallingThroughZeroWordsReachesTheLoops) {
  Machine machine(std::vector<uint8_t>(0x400, 0));
  const struct {
    uint32_t start;
    StopReason stop;
    uint32_t pc;
  } cases[] = {
      {0xBFC00000, StopReason::Finished, layout::kEndLoop},
      {0xBFC00008, StopReason::Finished, layout::kEndLoop},
      {0xBFC0010C, StopReason::ExceptionLoop, layout::kExceptionLoop},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.start);
    RunOptions options;
    options.start_pc = c.start;
    const RunResult result = machine.run(options);
    EXPECT_EQ(result.stop, c.stop);
    EXPECT_FALSE(result.exception) << "no exception on the way";
    EXPECT_EQ(result.pc, c.pc);
    EXPECT_EQ(result.instructions, (c.pc - c.start) / 4);
    EXPECT_TRUE(result.board_writes.empty());
  }
}

TEST(SimMachine, ARomSmallerThanTheLoopsStillStopsAtTheExceptionLoop) {
  Machine machine(std::vector<uint8_t>(16, 0));
  const RunResult result = machine.run();
  EXPECT_EQ(result.stop, StopReason::ExceptionLoop);
  ASSERT_TRUE(result.exception);
  EXPECT_EQ(result.exception->cause, Cause::BusErrorFetch);
  EXPECT_EQ(result.exception->pc, 0xBFC00010u);
}

TEST(SimMachine, CodeRunsFromRamToo) {
  // In RAM: beq +2 ; slot: $v1 = 3 ; $v0 = 99 (skipped) ; $v0 = 5 ; jr $ra ; nop
  const uint32_t code[] = {
      isa::encode(Op::beq, {.imm = 2}),
      isa::encode(Op::addiu, {.rt = v1, .imm = 3}),
      isa::encode(Op::addiu, {.rt = v0, .imm = 99}),
      isa::encode(Op::addiu, {.rt = v0, .imm = 5}),
      isa::encode(Op::jr, {.rs = ra}),
      0,
  };
  Program p;
  p.li(a0, kScratch);
  for (int i = 0; i < 6; ++i) p.li(t0, code[i]).store(Op::sw, t0, static_cast<int16_t>(4 * i), a0);
  p.emit(Op::jalr, {.rs = a0, .rd = ra}).nop().emit(Op::addiu, {.rt = t3, .imm = 1}).finish();
  const RunResult result = run(p);
  EXPECT_EQ(result.stop, StopReason::Finished);
  EXPECT_FALSE(result.exception);
  EXPECT_EQ(result.regs[v0], 5u);
  EXPECT_EQ(result.regs[v1], 3u);
  EXPECT_EQ(result.regs[t3], 1u);
}

TEST(SimMachine, RejectsABootImageLargerThanTheRom) {
  EXPECT_THROW(Machine(std::vector<uint8_t>(0x400004, 0)), Error);
}

TEST(SimReport, NamesAndDisplayWords) {
  EXPECT_EQ(stop_reason_name(StopReason::Finished), "finished");
  EXPECT_EQ(stop_reason_name(StopReason::ExceptionLoop), "exception loop");
  EXPECT_EQ(cause_name(Cause::ArithmeticOverflow), "arithmetic overflow");
  std::set<std::string_view> names;
  for (int cause = 0; cause <= static_cast<int>(Cause::ArithmeticOverflow); ++cause)
    names.insert(cause_name(static_cast<Cause>(cause)));
  EXPECT_EQ(names.size(), static_cast<size_t>(Cause::ArithmeticOverflow) + 1);

  EXPECT_EQ(describe({Cause::ArithmeticOverflow, 0xBFC00904, 0}), "arithmetic overflow at 0xbfc00904");
  EXPECT_EQ(describe({Cause::BusErrorLoad, 0xBFC00010, 0xFFFFF000}),
            "bus error on load at 0xbfc00010 (address 0xfffff000)");

  const board::DisplayWord last = board::decode_display(0x44000044);
  EXPECT_EQ(last.test_number, 68);
  EXPECT_EQ(last.pass_count, 68u);
  const board::DisplayWord failing = board::decode_display(0x05000003);
  EXPECT_EQ(failing.test_number, 5);
  EXPECT_EQ(failing.pass_count, 3u);

  EXPECT_EQ(board::routine_number_of("n21_add_test"), 21);
  EXPECT_EQ(board::routine_number_of("n16_beq_ds_test"), 16);
  for (const char* other : {"wait_1s", "n_add_test", "n21_test", "n21add_test", "n-3_add_test", "n21_add_tests"})
    EXPECT_EQ(board::routine_number_of(other), std::nullopt) << other;
}

}  // namespace
}  // namespace r3k::sim::test
