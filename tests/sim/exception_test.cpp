// Every exception ends at the exception loop with its cause, the faulting
// instruction's address and the bad address recorded, and nothing written.
#include <gtest/gtest.h>

#include "program.h"
#include "sim/report.h"
#include "board/board.h"

namespace r3k::sim::test {
namespace {

constexpr uint32_t kSentinel = 0xDEADBEEF;

// $t0 = a, $t1 = b, $t2 = sentinel, then the instruction, then a marker that
// must not run.
struct ExceptionCase {
  const char* name;
  uint32_t a, b;
  uint32_t instruction;
  Cause cause;
  uint32_t bad_address;
};

uint32_t rr(Op op) { return isa::encode(op, {.rs = t0, .rt = t1, .rd = t2}); }
uint32_t ri(Op op, uint16_t imm) { return isa::encode(op, {.rs = t0, .rt = t2, .imm = imm}); }
uint32_t load(Op op) { return isa::encode(op, {.rs = t0, .rt = t2}); }
uint32_t store(Op op) { return isa::encode(op, {.rs = t0, .rt = t1}); }

TEST(SimException, EachCauseStopsAtTheExceptionLoopWithItsRecord) {
  using enum Cause;
  const ExceptionCase cases[] = {
      {"add positive overflow", 0x7FFFFFFF, 1, rr(Op::add), ArithmeticOverflow, 0},
      {"add negative overflow", 0x80000000, 0xFFFFFFFF, rr(Op::add), ArithmeticOverflow, 0},
      {"addi positive overflow", 0x7FFFFFFF, 0, ri(Op::addi, 1), ArithmeticOverflow, 0},
      {"addi negative overflow", 0x80000000, 0, ri(Op::addi, 0xFFFF), ArithmeticOverflow, 0},
      {"sub negative overflow", 0x80000000, 1, rr(Op::sub), ArithmeticOverflow, 0},
      {"sub positive overflow", 0x7FFFFFFF, 0xFFFFFFFF, rr(Op::sub), ArithmeticOverflow, 0},
      {"misaligned lw", 0x80000001, 0, load(Op::lw), AddressErrorLoad, 0x80000001},
      {"misaligned lw by 2", 0x80000002, 0, load(Op::lw), AddressErrorLoad, 0x80000002},
      {"misaligned lh", 0x80000003, 0, load(Op::lh), AddressErrorLoad, 0x80000003},
      {"misaligned lhu", 0x80000001, 0, load(Op::lhu), AddressErrorLoad, 0x80000001},
      {"misaligned sw", 0x80000002, 0, store(Op::sw), AddressErrorStore, 0x80000002},
      {"misaligned sh", 0x80000001, 0, store(Op::sh), AddressErrorStore, 0x80000001},
      {"sw to the boot ROM", 0xBFC00000, 0, store(Op::sw), BusErrorStore, 0xBFC00000},
      {"sb to the boot ROM", 0xBFC00401, 0, store(Op::sb), BusErrorStore, 0xBFC00401},
      {"swr to the boot ROM", 0xBFC00402, 0, store(Op::swr), BusErrorStore, 0xBFC00402},
      {"lw from address 0", 0, 0, load(Op::lw), BusErrorLoad, 0},
      {"lw just past RAM", 0x80040000, 0, load(Op::lw), BusErrorLoad, 0x80040000},
      {"lw from uncached RAM alias", 0xA0000000, 0, load(Op::lw), BusErrorLoad, 0xA0000000},
      {"sw to unmapped", 0x00400000, 0, store(Op::sw), BusErrorStore, 0x00400000},
      {"lw of a lamp", board::kLampBank, 0, load(Op::lw), BusErrorLoad, board::kLampBank},
      {"lb of the flag", board::kQuickRunFlag, 0, load(Op::lb), BusErrorLoad, board::kQuickRunFlag},
      {"lwl of the flag", board::kQuickRunFlag + 3, 0, load(Op::lwl), BusErrorLoad, board::kQuickRunFlag + 3},
      {"sb to the display", board::kResultDisplay, 0, store(Op::sb), BusErrorStore, board::kResultDisplay},
      {"sh to a lamp", board::kStatusLampA, 0, store(Op::sh), BusErrorStore, board::kStatusLampA},
      {"swl to the display", board::kResultDisplay + 3, 0, store(Op::swl), BusErrorStore,
       board::kResultDisplay + 3},
      {"sw to the flag", board::kQuickRunFlag, 0, store(Op::sw), BusErrorStore, board::kQuickRunFlag},
      {"sw between board registers", 0xFFFFF00C, 0, store(Op::sw), BusErrorStore, 0xFFFFF00C},
      {"undefined primary opcode", 0, 0, 0xFC000000, ReservedInstruction, 0},
      {"undefined SPECIAL function", 0, 0, 0x00000001, ReservedInstruction, 0},
      {"sll with a non-zero rs field", 0, 0, 0x00200000, ReservedInstruction, 0},
      {"syscall", 0, 0, isa::encode(Op::syscall, {}), Syscall, 0},
      {"break", 0, 0, isa::encode(Op::break_, {.code = 7}), Breakpoint, 0},
  };
  for (const ExceptionCase& c : cases) {
    SCOPED_TRACE(c.name);
    Program p;
    p.li(t0, c.a).li(t1, c.b).li(t2, kSentinel);
    const uint32_t at = p.here();
    p.word(c.instruction).emit(Op::addiu, {.rt = v0, .imm = 1}).finish();
    const RunResult result = run(p);
    EXPECT_EQ(result.stop, StopReason::ExceptionLoop);
    ASSERT_TRUE(result.exception);
    EXPECT_EQ(result.exception->cause, c.cause) << cause_name(result.exception->cause);
    EXPECT_EQ(result.exception->pc, at);
    EXPECT_EQ(result.exception->bad_address, c.bad_address);
    EXPECT_EQ(result.regs[t2], kSentinel) << "destination written";
    EXPECT_EQ(result.regs[v0], 0u) << "ran on after the exception";
    EXPECT_EQ(result.pc, layout::kExceptionLoop);
    EXPECT_TRUE(result.board_writes.empty());
  }
}

TEST(SimException, TheBootRomReadsBack) {
  Program p;
  p.li(t0, layout::kResetVector + 0x400).load(Op::lw, t2, 0, t0).load(Op::lbu, t3, 3, t0).finish();
  const RunResult result = run(p);
  EXPECT_EQ(result.stop, StopReason::Finished);
  EXPECT_EQ(result.regs[t2], isa::encode(Op::lui, {.rt = t0, .imm = 0xBFC0}));
  EXPECT_EQ(result.regs[t3], 0x3Cu);  // lui's opcode byte
}

// A jump to a bad address: the slot runs, then the fetch fails with the
// target itself as both pc and bad address.
TEST(SimException, FetchFromBadAddresses) {
  const struct {
    uint32_t target;
    Cause cause;
  } cases[] = {
      {kProgramBase + 2, Cause::AddressErrorFetch},
      {0x00001000, Cause::BusErrorFetch},
      {board::kQuickRunFlag, Cause::BusErrorFetch},
      {0xBFC00100 + 1, Cause::AddressErrorFetch},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.target);
    Program p;
    p.li(t0, c.target).emit(Op::jr, {.rs = t0}).emit(Op::addiu, {.rt = t3, .imm = 1}).finish();
    const RunResult result = run(p);
    EXPECT_EQ(result.stop, StopReason::ExceptionLoop);
    ASSERT_TRUE(result.exception);
    EXPECT_EQ(result.exception->cause, c.cause) << cause_name(result.exception->cause);
    EXPECT_EQ(result.exception->pc, c.target);
    EXPECT_EQ(result.exception->bad_address, c.target);
    EXPECT_EQ(result.regs[t3], 1u);
    EXPECT_EQ(result.instructions, 4u) << "li (2), jr, slot; the failed fetch is no instruction";
  }
}

TEST(SimException, RunningPastTheEndOfTheRomIsAFetchError) {
  Program p;
  p.nop().nop();
  const RunResult result = run(p);
  EXPECT_EQ(result.stop, StopReason::ExceptionLoop);
  ASSERT_TRUE(result.exception);
  EXPECT_EQ(result.exception->cause, Cause::BusErrorFetch);
  EXPECT_EQ(result.exception->pc, kProgramBase + 8);
}

TEST(SimException, InADelaySlotRecordsTheSlotAndAbandonsTheBranch) {
  Program p;
  p.li(t0, 0x7FFFFFFF).branch(Op::beq, zero, zero, 3);
  const uint32_t slot = p.here();
  p.emit(Op::add, {.rs = t0, .rt = t0, .rd = t1}).finish().nop();
  p.emit(Op::addiu, {.rt = v0, .imm = 1}).finish();  // the branch target
  const RunResult result = run(p);
  EXPECT_EQ(result.stop, StopReason::ExceptionLoop);
  ASSERT_TRUE(result.exception);
  EXPECT_EQ(result.exception->cause, Cause::ArithmeticOverflow);
  EXPECT_EQ(result.exception->pc, slot);
  EXPECT_EQ(result.regs[v0], 0u);
}

}  // namespace
}  // namespace r3k::sim::test
