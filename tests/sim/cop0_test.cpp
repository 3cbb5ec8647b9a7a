// Coprocessor 0 against values worked out by hand from the R3000's documented
// behaviour: the register bits, the KU/IE stack and rfe, Cause, EPC and
// BadVAddr of each exception (in and out of delay slots), CpU and its CE,
// software interrupts, user mode and both vectors.
#include <gtest/gtest.h>

#include "cop0_program.h"
#include "sim/report.h"

namespace r3k::sim::test {
namespace {

using namespace status;

uint32_t cause_of(uint8_t code, bool bd = false, uint32_t ce = 0) {
  return (bd ? cause::kBD : 0) | ce << cause::kCEShift | uint32_t{code} << cause::kExcCodeShift;
}

TEST(Cop0, ResetStateWritableBitsAndPrid) {
  Program p;
  mfc0(p, t0, isa::kStatus);
  mfc0(p, t1, isa::kCause);
  mfc0(p, t2, isa::kPrid);
  p.li(t3, 0xFFFFFFFC);  // everything but KUc and IEc: no user mode, no interrupt
  mtc0(p, t3, isa::kStatus);
  mfc0(p, t4, isa::kStatus);
  mtc0(p, t3, isa::kCause);
  mfc0(p, t5, isa::kCause);
  mtc0(p, t3, isa::kEpc);
  mtc0(p, t3, isa::kBadVAddr);
  mtc0(p, t3, 0);
  mfc0(p, t6, isa::kEpc);
  mfc0(p, t7, isa::kBadVAddr);
  mfc0(p, s0, 0);
  p.finish();
  const RunResult r = run(p);
  ASSERT_EQ(r.stop, StopReason::Finished);
  EXPECT_EQ(r.regs[t0], kBEV);
  EXPECT_EQ(r.regs[t1], 0u);
  EXPECT_EQ(r.regs[t2], 0x230u);
  EXPECT_EQ(r.regs[t4], 0xF040FF3Cu) << "CU3..0, BEV, IM and the stack above KUc/IEc";
  EXPECT_EQ(r.regs[t5], 0x300u) << "only IP1..IP0";
  EXPECT_EQ(r.regs[t6], 0u);
  EXPECT_EQ(r.regs[t7], 0u);
  EXPECT_EQ(r.regs[s0], 0u);
  EXPECT_EQ(r.exceptions_taken, 0u);
}

struct EntryCase {
  const char* name;
  std::vector<uint32_t> setup;  // words before the faulting code
  std::vector<uint32_t> code;   // the faulting instruction is `fault_index` words into it
  unsigned fault_index;
  uint8_t code_expected;
  bool bd;
  uint32_t bad_address;  // also checked: 0 unless an address error
};

uint32_t w(Op op, isa::Fields f) { return isa::encode(op, f); }

std::vector<EntryCase> entry_cases() {
  const uint32_t t0_odd = w(Op::ori, {.rs = t0, .rt = t0, .imm = 1});  // t0 = 0x80000001 after the lui
  const uint32_t lui = w(Op::lui, {.rt = t0, .imm = 0x8000});
  const uint32_t big = w(Op::lui, {.rt = t1, .imm = 0x7FFF});
  const uint32_t sys = w(Op::syscall, {});
  const uint32_t add_ov = w(Op::add, {.rs = t1, .rt = t1, .rd = t2});
  return {
      {"syscall", {}, {sys}, 0, exc::kSys, false, 0},
      {"break", {}, {w(Op::break_, {.code = 0x3FF})}, 0, exc::kBp, false, 0},
      {"reserved", {}, {0xFC000000}, 0, exc::kRI, false, 0},
      {"add overflow", {big}, {add_ov}, 0, exc::kOv, false, 0},
      {"lw misaligned", {lui, t0_odd}, {w(Op::lw, {.rs = t0, .rt = t2, .imm = 2})}, 0, exc::kAdEL, false, 0x80000003},
      {"sh misaligned", {lui, t0_odd}, {w(Op::sh, {.rs = t0, .rt = t2})}, 0, exc::kAdES, false, 0x80000001},
      {"syscall in a taken beq's slot", {}, {w(Op::beq, {.imm = 4}), sys}, 1, exc::kSys, true, 0},
      {"syscall in a not-taken bne's slot", {}, {w(Op::bne, {.imm = 4}), sys}, 1, exc::kSys, true, 0},
      {"overflow in jal's slot", {big}, {w(Op::jal, {.target = (0xBFC00800 >> 2) & 0x3FFFFFF}), add_ov}, 1,
       exc::kOv, true, 0},
      {"lw in bgezal's slot", {lui, t0_odd}, {w(Op::bgezal, {.imm = 4}), w(Op::lw, {.rs = t0, .rt = t2})}, 1,
       exc::kAdEL, true, 0x80000001},
      {"jr to a misaligned target", {lui, t0_odd}, {w(Op::jr, {.rs = t0}), 0}, 2, exc::kAdEL, false, 0x80000001},
      {"bus error load", {}, {w(Op::lw, {.rs = zero, .rt = t2})}, 0, exc::kDBE, false, 0},
  };
}

// Cause, EPC, BadVAddr and the destination as the handler finds them.
TEST(Cop0, ExceptionEntryLoadsCauseEpcAndBadVAddr) {
  for (const EntryCase& c : entry_cases()) {
    SCOPED_TRACE(c.name);
    Program p;
    p.li(t2, 0x5E17);
    for (uint32_t word : c.setup) p.word(word);
    const uint32_t code_at = p.here();
    for (uint32_t word : c.code) p.word(word);
    p.emit(Op::addiu, {.rt = v0, .imm = 1}).finish();
    const RunResult r = run_handled(p);
    ASSERT_EQ(r.stop, StopReason::Finished);
    EXPECT_EQ(r.regs[v0], 0u) << "ran on after the exception";
    EXPECT_EQ(r.regs[t2], 0x5E17u) << "destination written";
    EXPECT_EQ(r.regs[k0], cause_of(c.code_expected, c.bd));
    // EPC: the instruction, or its branch; a misaligned jump target's fetch: the target.
    const uint32_t fault_at = code_at + 4 * c.fault_index;
    const uint32_t epc = c.bd ? fault_at - 4 : c.code_expected == exc::kAdEL && c.fault_index == 2 ? 0x80000001 : fault_at;
    EXPECT_EQ(r.regs[k1], epc);
    EXPECT_EQ(r.regs[gp], c.bad_address);
    EXPECT_EQ(r.regs[fp], kBEV) << "the stack pushed: kernel mode, interrupts off";
    EXPECT_EQ(r.exceptions_taken, 1u);
  }
}

// The stack pushes on entry and rfe, in jr's delay slot, pops it; KUo/IEo stay.
TEST(Cop0, StatusStackPushAndRfePop) {
  Program p;
  p.li(t0, kBEV | 0x2C);  // KUo=1 IEo=0 KUp=1 IEp=1 KUc=0 IEc=0
  mtc0(p, t0, isa::kStatus);
  p.emit(Op::syscall, {});
  p.nop();  // skipped by the handler's return
  mfc0(p, t5, isa::kStatus);
  p.emit(Op::syscall, {.code = 1});
  p.nop();
  mfc0(p, t6, isa::kStatus);
  p.finish();
  const RunResult r = run_handled(p, AfterHandler::return_past);
  ASSERT_EQ(r.stop, StopReason::Finished);
  EXPECT_EQ(r.regs[s7], 2u);
  EXPECT_EQ(r.regs[t5], kBEV | 0x3C) << "pushed 0x2C -> 0x30, popped -> 0x3C";
  EXPECT_EQ(r.regs[fp], kBEV | 0x30) << "the second entry pushes 0x3C -> 0x30";
  EXPECT_EQ(r.regs[t6], kBEV | 0x3C);
  EXPECT_EQ(r.cop0.epc, p.base() + 4 * 7);
}

// Units 1..3 with their CU bit clear raise CpU with CE the unit; with it set
// there is no unit, and the word is reserved. Coprocessor 0 is usable in
// kernel mode with CU0 clear.
TEST(Cop0, CoprocessorUnusableNamesTheUnit) {
  struct Case {
    uint32_t word;
    uint32_t cu;  // Status CU bits set first
    uint32_t cause;
  };
  const Case cases[] = {
      {0x44000000, 0, cause_of(exc::kCpU, false, 1)},        // mfc1
      {0x48000000, 0, cause_of(exc::kCpU, false, 2)},        // mfc2
      {0x4E000000, 0, cause_of(exc::kCpU, false, 3)},        // cop3
      {0xC4080000, 0, cause_of(exc::kCpU, false, 1)},        // lwc1
      {0xCA080000, 0, cause_of(exc::kCpU, false, 2)},        // lwc2
      {0xEE080000, 0, cause_of(exc::kCpU, false, 3)},        // swc3
      {0x44000000, 1u << 29, cause_of(exc::kRI)},            // CU1 set: no unit 1
      {0xC0080000, 0, cause_of(exc::kRI)},                   // lwc0, kernel mode
      {0x42000001, 0, cause_of(exc::kRI)},                   // tlbr, kernel mode
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.word);
    Program p;
    p.li(t0, kBEV | c.cu);
    mtc0(p, t0, isa::kStatus);
    p.word(c.word).finish();
    const RunResult r = run_handled(p);
    EXPECT_EQ(r.regs[k0], c.cause);
    EXPECT_EQ(r.regs[k1], p.base() + 16);
  }
}

// IP0/IP1 written by mtc0 are taken when IM and IEc allow, before the next
// instruction (EPC), and not while masked.
TEST(Cop0, SoftwareInterruptsAreTakenOnlyWhenEnabled) {
  Program p;
  p.li(t0, 0x200);  // IP1
  mtc0(p, t0, isa::kCause);
  p.li(t1, kBEV | 0x100 | kIEc);  // IM0 only: IP1 stays masked
  mtc0(p, t1, isa::kStatus);
  p.emit(Op::addiu, {.rt = s0, .imm = 1});
  p.li(t1, kBEV | 0x200);  // IM1, but IEc clear
  mtc0(p, t1, isa::kStatus);
  p.emit(Op::addiu, {.rt = s1, .imm = 1});
  p.li(t1, kBEV | 0x200 | kIEc);
  p.emit(Op::mtc0, {.rt = t1, .rd = isa::kStatus});
  const uint32_t interrupted = p.here();
  p.emit(Op::addiu, {.rt = s2, .imm = 1});
  p.finish();
  const RunResult r = run_handled(p);
  EXPECT_EQ(r.regs[s0], 1u);
  EXPECT_EQ(r.regs[s1], 1u);
  EXPECT_EQ(r.regs[s2], 0u) << "the interrupt comes before the instruction after mtc0";
  EXPECT_EQ(r.regs[k0], 0x200u | cause_of(exc::kInt));
  EXPECT_EQ(r.regs[k1], interrupted);
  EXPECT_EQ(r.regs[fp], kBEV | 0x200 | kIEc << 2) << "IEc pushed to IEp";
  EXPECT_EQ(r.exceptions_taken, 1u);
}

// A counted loop right after the mtc0 that enables a pending interrupt: the
// interrupt comes before its first pass, whether the run takes passes whole
// or steps them.
TEST(Cop0, ACountedLoopNeverRunsPastAPendingInterrupt) {
  struct Stepper {
    void on_instruction(const Cpu&, const Decoded&) {}
  };
  Program p;
  p.li(t0, 0x100);
  mtc0(p, t0, isa::kCause);
  p.li(t1, 1000);
  p.li(t2, kBEV | 0x100 | kIEc);
  p.emit(Op::mtc0, {.rt = t2, .rd = isa::kStatus});
  const uint32_t loop = p.here();
  p.emit(Op::addiu, {.rs = t1, .rt = t1, .imm = 0xFFFF});
  p.branch(Op::bne, t1, zero, -2).nop();
  p.finish();
  Machine machine(with_handler(p));
  RunOptions options;
  options.start_pc = p.base();
  const RunResult taken = machine.run(options);
  Stepper stepper;
  const RunResult stepped = machine.run(options, stepper);
  for (const RunResult* r : {&taken, &stepped}) {
    EXPECT_EQ(r->regs[k1], loop);
    EXPECT_EQ(r->regs[k0], 0x100u | cause_of(exc::kInt));
    EXPECT_EQ(r->regs[t1], 1000u) << "a pass ran before the interrupt";
  }
  EXPECT_EQ(taken.instructions, stepped.instructions);
}

// rfe into user mode at a kernel address: the fetch there raises AdEL with
// EPC and BadVAddr the target, and the stack shows user mode pushed.
TEST(Cop0, RfeIntoUserModeFaultsOnTheKernelFetch) {
  Program p;
  p.li(t0, kBEV | 0x08);  // KUp=1: rfe pops it into KUc
  mtc0(p, t0, isa::kStatus);
  const uint32_t target = p.here() + 4 * 4;
  p.li(t1, target);
  p.emit(Op::jr, {.rs = t1}).emit(Op::rfe, {});
  p.emit(Op::addiu, {.rt = v0, .imm = 1}).finish();
  ASSERT_EQ(p.here(), target + 12);
  const RunResult r = run_handled(p);
  EXPECT_EQ(r.regs[v0], 0u);
  EXPECT_EQ(r.regs[k0], cause_of(exc::kAdEL));
  EXPECT_EQ(r.regs[k1], target);
  EXPECT_EQ(r.regs[gp], target);
  EXPECT_EQ(r.regs[fp], kBEV | 0x08) << "KUc=1 pushed to KUp";
}

// BEV = 0: the handler copied to 0x80000080 runs; BEV = 1 again: the boot vector.
TEST(Cop0, BevSelectsTheVector) {
  Program p;
  p.li(t0, kRamVector);
  int16_t offset = 0;
  const Program ram_handler = handler(kRamVector, AfterHandler::return_past);
  for (uint32_t word : ram_handler.words()) {
    p.li(t1, word).store(Op::sw, t1, offset, t0);
    offset += 4;
  }
  mtc0(p, zero, isa::kStatus);  // BEV = 0
  p.emit(Op::syscall, {}).nop();
  p.emit(Op::ori, {.rt = s0, .imm = 1});
  p.emit(Op::break_, {});  // BEV still 0 after rfe
  p.nop();
  p.li(t0, kBEV);
  mtc0(p, t0, isa::kStatus);
  p.emit(Op::break_, {}).finish();
  const RunResult r = run_handled(p, AfterHandler::end_run);
  EXPECT_EQ(r.regs[s7], 2u) << "two exceptions through the RAM handler";
  EXPECT_EQ(r.regs[s0], 1u);
  EXPECT_EQ(r.regs[k0], cause_of(exc::kBp)) << "the third through the boot vector";
  EXPECT_EQ(r.exceptions_taken, 3u);
}

// An image with a handler at the vector runs on; one with zero words there
// stops at the exception loop as it always has.
TEST(Cop0, OnlyAHandlerAtTheVectorKeepsTheRunGoing) {
  Program p;
  p.emit(Op::syscall, {}).finish();
  EXPECT_TRUE(Machine(p.rom()).exceptions_stop_run());
  EXPECT_EQ(run(p).stop, StopReason::ExceptionLoop);
  EXPECT_FALSE(Machine(with_handler(p)).exceptions_stop_run());
  const RunResult handled = run_handled(p);
  EXPECT_EQ(handled.stop, StopReason::Finished);
  EXPECT_FALSE(handled.exception) << "a handled exception is no stop";
}

// A handler whose vector lies past the ROM's last whole word: the fetch there
// fails and its exception comes back to the same word, so nothing ever
// issues again. The run stops in that exception rather than spinning.
TEST(Cop0, AVectorThatCannotBeFetchedStopsTheRun) {
  Program p;
  p.emit(Op::syscall, {}).finish();
  std::vector<uint8_t> rom = p.rom();
  const size_t vector_at = kBootVector - layout::kResetVector;
  rom.resize(vector_at + 2);
  rom[vector_at] = 1;  // a handler's first bytes, but no whole word
  Machine machine(rom);
  ASSERT_FALSE(machine.exceptions_stop_run());
  RunOptions options;
  options.start_pc = p.base();
  options.max_instructions = 1000;
  const RunResult r = machine.run(options);
  EXPECT_EQ(r.stop, StopReason::ExceptionLoop);
  ASSERT_TRUE(r.exception);
  EXPECT_EQ(r.exception->cause, Cause::BusErrorFetch);
  EXPECT_EQ(r.exception->pc, kBootVector);
}

}  // namespace
}  // namespace r3k::sim::test
