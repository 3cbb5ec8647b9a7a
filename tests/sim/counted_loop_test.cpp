// Counted loops taken whole passes at a time must leave exactly what stepping
// them one instruction at a time leaves: a run with an instruction observer
// steps every instruction, a plain run takes the passes, and the two results
// must be equal at every instruction limit.
#include <gtest/gtest.h>

#include <random>

#include "program.h"
#include "board/board.h"
#include "sim/counted_loop.h"
#include "support/image_run.h"

namespace r3k::sim::test {
namespace {

// Watching every instruction makes the run step each one.
struct Stepper {
  void on_instruction(const Cpu&, const Decoded&) {}
};

void expect_same(const RunResult& taken, const RunResult& stepped) {
  EXPECT_EQ(taken.stop, stepped.stop);
  EXPECT_EQ(taken.instructions, stepped.instructions);
  EXPECT_EQ(taken.pc, stepped.pc);
  EXPECT_EQ(taken.regs, stepped.regs);
  EXPECT_EQ(taken.hi, stepped.hi);
  EXPECT_EQ(taken.lo, stepped.lo);
  EXPECT_EQ(taken.quick_run_flag_reads, stepped.quick_run_flag_reads);
  ASSERT_EQ(taken.exception.has_value(), stepped.exception.has_value());
  if (taken.exception) {
    EXPECT_EQ(taken.exception->cause, stepped.exception->cause);
    EXPECT_EQ(taken.exception->pc, stepped.exception->pc);
    EXPECT_EQ(taken.exception->bad_address, stepped.exception->bad_address);
  }
  ASSERT_EQ(taken.board_writes.size(), stepped.board_writes.size());
  for (size_t i = 0; i < taken.board_writes.size(); ++i) {
    EXPECT_EQ(taken.board_writes[i].address, stepped.board_writes[i].address) << i;
    EXPECT_EQ(taken.board_writes[i].value, stepped.board_writes[i].value) << i;
    EXPECT_EQ(taken.board_writes[i].instruction, stepped.board_writes[i].instruction) << i;
  }
}

// Both ways on one machine (a machine runs from reset each time).
void expect_same_both_ways(Machine& machine, const RunOptions& options) {
  Stepper stepper;
  const RunResult stepped = machine.run(options, stepper);
  const RunResult taken = machine.run(options);
  expect_same(taken, stepped);
}

// loop: addiu counter, counter, step ; bne counter, $zero, loop ; slot
Program& counted_loop(Program& p, unsigned counter, int16_t step, uint32_t slot = 0, bool zero_first = false) {
  p.emit(Op::addiu, {.rs = uint8_t(counter), .rt = uint8_t(counter), .imm = uint16_t(step)});
  if (zero_first) p.branch(Op::bne, zero, counter, -2);
  else p.branch(Op::bne, counter, zero, -2);
  return p.word(slot);
}

// Outer passes around an inner counted loop, storing the counter's final
// value to RAM and the display, so that memory and the board see each pass.
Program nested_loops(uint32_t inner, int16_t step) {
  Program p;
  p.li(s0, 3).li(a0, 0x80000000).li(a1, board::kResultDisplay);
  const uint32_t outer = p.here();
  p.li(t0, inner);
  counted_loop(p, t0, step);
  p.store(Op::sw, t0, 0x40, a0).emit(Op::addu, {.rs = t1, .rt = t0, .rd = t1});
  p.store(Op::sw, s0, 0, a1);
  p.emit(Op::addiu, {.rs = s0, .rt = s0, .imm = uint16_t(-1)});
  p.branch(Op::bne, s0, zero, static_cast<int>(outer - p.here()) / 4 - 1).nop();
  return p.finish();
}

TEST(CountedLoop, PassesUntilZeroIsTheFirstPassThatReachesZero) {
  std::mt19937 random(7);
  for (int i = 0; i < 2000; ++i) {
    const int32_t step = static_cast<int16_t>(random());
    if (step == 0) continue;
    const uint32_t passes_wanted = random() % 5000 + 1;
    const uint32_t value = 0u - passes_wanted * static_cast<uint32_t>(step);
    const uint64_t passes = passes_until_zero(value, static_cast<uint32_t>(step));
    ASSERT_GE(passes, 1u);
    ASSERT_LE(passes, passes_wanted) << value << " " << step;
    EXPECT_EQ(value + static_cast<uint32_t>(passes) * static_cast<uint32_t>(step), 0u);
    for (uint64_t n = 1; n < passes && n < 5000; ++n)
      ASSERT_NE(value + static_cast<uint32_t>(n) * static_cast<uint32_t>(step), 0u) << n;
  }
  EXPECT_EQ(passes_until_zero(5, 0xFFFFFFFF), 5u);
  EXPECT_EQ(passes_until_zero(0, 0xFFFFFFFF), uint64_t{1} << 32);  // all the way round
  EXPECT_EQ(passes_until_zero(0, 4), uint64_t{1} << 30);
  EXPECT_EQ(passes_until_zero(3, 2), 0u);  // an odd count stepped by 2 never reaches 0
  EXPECT_EQ(passes_until_zero(1, 0), 0u);
  EXPECT_EQ(passes_until_zero(0, 0), 1u);
}

TEST(CountedLoop, LoopsEndWhereSteppingEndsThem) {
  struct Case {
    const char* name;
    uint32_t start;
    int16_t step;
    uint32_t slot;
    bool zero_first;
  };
  const uint32_t nop_or = isa::encode(Op::or_, {.rs = t5, .rt = t6, .rd = zero});
  const uint32_t working_slot = isa::encode(Op::addiu, {.rs = t2, .rt = t2, .imm = 5});
  const Case cases[] = {
      {"count down", 100000, -1, 0, false},  {"count up", uint32_t(-99999), 1, 0, false},
      {"by three", uint32_t(-3 * 7777), 3, 0, true}, {"odd step", 7 * 1763, -7, nop_or, false},
      {"from zero", 0, -0x4000, 0, false},   {"slot does work", 5000, -1, working_slot, false},
      {"once", 1, -1, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Program p;
    p.li(t0, c.start);
    counted_loop(p, t0, c.step, c.slot, c.zero_first);
    p.emit(Op::addiu, {.rs = t0, .rt = t3, .imm = 9}).finish();
    Machine machine(p.rom());
    RunOptions options;
    options.start_pc = p.base();
    expect_same_both_ways(machine, options);
    EXPECT_EQ(machine.run(options).stop, StopReason::Finished);
  }
}

TEST(CountedLoop, TheLimitLandsExactlyInsideALoop) {
  const Program p = nested_loops(1000, -1);
  Machine machine(p.rom());
  RunOptions options;
  options.start_pc = p.base();
  Stepper stepper;
  const uint64_t total = machine.run(options, stepper).instructions;
  ASSERT_GT(total, 9000u);
  // Every limit up to well into the first inner loop, then a spread over the rest.
  for (uint64_t limit = 0; limit <= total + 1; limit += limit < 40 ? 1 : 997) {
    SCOPED_TRACE(limit);
    options.max_instructions = limit;
    expect_same_both_ways(machine, options);
  }
}

TEST(CountedLoop, ALoopThatNeverEndsRunsToTheLimit) {
  Program p;
  p.li(t0, 5);
  counted_loop(p, t0, 2).finish();  // 5, 7, 9, ... never 0
  Machine machine(p.rom());
  RunOptions options;
  options.start_pc = p.base();
  for (const uint64_t limit : {7ull, 8ull, 9ull, 1000000ull, 1000001ull, 5000000000ull}) {
    SCOPED_TRACE(limit);
    options.max_instructions = limit;
    if (limit < 10'000'000) expect_same_both_ways(machine, options);
    const RunResult taken = machine.run(options);
    EXPECT_EQ(taken.stop, StopReason::InstructionLimit);
    EXPECT_EQ(taken.instructions, limit);
  }
}

TEST(CountedLoop, AnExceptionAfterSomePassesOfAnOuterLoop) {
  // The outer loop loads through a0 + t4, which the delay slot and the step
  // of t4 leave misaligned on the second pass: an address error after one
  // whole pass and a second inner loop.
  Program p;
  p.li(s0, 5).li(a0, 0x80000000).li(t4, 0);
  const uint32_t outer = p.here();
  p.li(t0, 3000);
  counted_loop(p, t0, -1);
  p.emit(Op::addu, {.rs = a0, .rt = t4, .rd = a2}).load(Op::lw, t1, 0, a2);
  p.emit(Op::addiu, {.rs = t4, .rt = t4, .imm = 2});
  p.emit(Op::addiu, {.rs = s0, .rt = s0, .imm = uint16_t(-1)});
  p.branch(Op::bne, s0, zero, static_cast<int>(outer - p.here()) / 4 - 1).emit(Op::addiu, {.rs = a0, .rt = a0, .imm = 1});
  p.finish();
  Machine machine(p.rom());
  RunOptions options;
  options.start_pc = p.base();
  expect_same_both_ways(machine, options);
  const RunResult taken = machine.run(options);
  EXPECT_EQ(taken.stop, StopReason::ExceptionLoop);
  ASSERT_TRUE(taken.exception);
  EXPECT_EQ(taken.exception->cause, Cause::AddressErrorLoad);
}

TEST(CountedLoop, AHeadInADelaySlotIsStepped) {
  // j over the loop with its head as the delay slot: the addiu runs once,
  // then the jump lands past the loop.
  Program p;
  p.li(t0, 10);
  const uint32_t after_loop = p.here() + 4 * 4;
  p.jump(Op::j, after_loop);
  counted_loop(p, t0, -1);
  p.finish();
  Machine machine(p.rom());
  RunOptions options;
  options.start_pc = p.base();
  expect_same_both_ways(machine, options);
  EXPECT_EQ(machine.run(options).regs[t0], 9u);
}

TEST(CountedLoop, AFaultOnAddiuSeesTheLoopsAddiu) {
  Program p;
  p.li(t0, 40);
  counted_loop(p, t0, -1).finish();
  Machine machine(p.rom());
  RunOptions options;
  options.start_pc = p.base();
  int calls = 0;
  options.fault = {Op::addiu, [&](Cpu& cpu, const Decoded& d) {
                     ++calls;
                     cpu.set_reg(d.rt, cpu.reg(d.rs) - 2);  // steps twice as fast
                   }};
  const RunResult result = machine.run(options);
  EXPECT_EQ(calls, 20);
  EXPECT_EQ(result.instructions, 2 + 20 * 3 + 2u);
}

TEST(CountedLoop, TheWholeImageMatchesStepping) {
  const std::vector<uint8_t> boot = r3k::test::default_image().boot_bytes();
  Machine machine(boot);
  RunOptions options;
  expect_same_both_ways(machine, options);  // the quick run
  // The full run's pauses, with the limit inside the first few.
  options.quick_run_flag = 0;
  for (const uint64_t limit : {3'000'000ull, 6'291'460ull, 9'000'001ull}) {
    SCOPED_TRACE(limit);
    options.max_instructions = limit;
    expect_same_both_ways(machine, options);
  }
  // The whole full run differs from the quick one by exactly the pause
  // passes, and the lui that loads the long count.
  options.max_instructions = RunOptions{}.max_instructions;
  const RunResult full = machine.run(options);
  const RunResult quick = machine.run({});
  EXPECT_EQ(full.stop, StopReason::Finished);
  EXPECT_EQ(full.instructions,
            quick.instructions + uint64_t{layout::kRoutineCount} * (layout::kPauseCount * kCountedLoopInstructions + 1));
  ASSERT_EQ(full.board_writes.size(), quick.board_writes.size());
  for (size_t i = 0; i < full.board_writes.size(); ++i) EXPECT_EQ(full.board_writes[i].value, quick.board_writes[i].value);
}

}  // namespace
}  // namespace r3k::sim::test
