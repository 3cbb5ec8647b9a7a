// Injected faults: each breaks one instruction kind the way a processor
// under bring-up might, and the program's outcome changes.
#include <gtest/gtest.h>

#include <functional>

#include "program.h"
#include "sim/semantics.h"

namespace r3k::sim::test {
namespace {

using Build = std::function<void(Program&)>;

struct FaultCase {
  const char* name;
  Fault fault;
  Build build;
  unsigned reg;  // the register that tells a correct run from a faulty one
  uint32_t correct, faulty;
};

Fault replace(Op op, Semantics semantics) { return {op, std::move(semantics), PipelineEffect::none}; }
Fault disturb(Op op, PipelineEffect effect) { return {op, {}, effect}; }

const uint32_t kBase = kProgramBase;

std::vector<FaultCase> fault_cases() {
  return {
      {"sra fills with zeros",
       replace(Op::sra, [](Cpu& c, const Decoded& d) { c.set_reg(d.rd, c.reg(d.rt) >> d.sa()); }),
       [](Program& p) { p.li(t1, 0x80000000).emit(Op::sra, {.rt = t1, .rd = t2, .sa = 4}); },
       t2, 0xF8000000, 0x08000000},
      {"sltiu compares signed",
       replace(Op::sltiu,
               [](Cpu& c, const Decoded& d) { c.set_reg(d.rt, int32_t(c.reg(d.rs)) < int32_t(d.imm)); }),
       [](Program& p) { p.li(t0, 0xFFFFFFFE).emit(Op::sltiu, {.rs = t0, .rt = t2, .imm = 5}); },
       t2, 0, 1},
      {"xori sign-extends its immediate",
       replace(Op::xori,
               [](Cpu& c, const Decoded& d) { c.set_reg(d.rt, c.reg(d.rs) ^ sign_extend_half(d.imm)); }),
       [](Program& p) { p.emit(Op::xori, {.rt = t2, .imm = 0x8000}); },
       t2, 0x00008000, 0xFFFF8000},
      {"addu keeps its carry for the next addu",
       replace(Op::addu,
               [carry = uint32_t(0)](Cpu& c, const Decoded& d) mutable {
                 const uint64_t sum = uint64_t(c.reg(d.rs)) + c.reg(d.rt) + carry;
                 carry = uint32_t(sum >> 32);
                 c.set_reg(d.rd, uint32_t(sum));
               }),
       [](Program& p) {
         p.li(t0, 0xFFFFFFFF).li(t1, 1).emit(Op::addu, {.rs = t0, .rt = t1, .rd = t2});
         p.emit(Op::addu, {.rd = t3});
       },
       t3, 0, 1},
      {"bgez not taken on zero",
       replace(Op::bgez, [](Cpu& c, const Decoded& d) { if (int32_t(c.reg(d.rs)) > 0) c.branch(d.target); }),
       [](Program& p) { emit_two_way(p, Op::bgez, zero, 0); },
       v0, kTaken, kNotTaken},
      {"beq compares the low 16 bits only",
       replace(Op::beq,
               [](Cpu& c, const Decoded& d) {
                 if (uint16_t(c.reg(d.rs)) == uint16_t(c.reg(d.rt))) c.branch(d.target);
               }),
       [](Program& p) { p.li(t0, 0x10005).li(t1, 5), emit_two_way(p, Op::beq, t0, t1); },
       v0, kNotTaken, kTaken},
      {"bltzal links only when taken",
       replace(Op::bltzal,
               [](Cpu& c, const Decoded& d) {
                 if (int32_t(c.reg(d.rs)) >= 0) return;
                 c.set_reg(ra, c.link_address());
                 c.branch(d.target);
               }),
       [](Program& p) { p.li(t0, 1), emit_two_way(p, Op::bltzal, t0, 0); },
       ra, kBase + 8 + 8, 0},
      {"jal links one word too far",
       replace(Op::jal,
               [](Cpu& c, const Decoded& d) {
                 execute_normal(c, d);
                 c.set_reg(ra, c.reg(ra) + 4);
               }),
       [](Program& p) { p.jump(Op::jal, kBase + 8).nop(); },
       ra, kBase + 8, kBase + 12},
      {"jalr writes its link into the target register",
       replace(Op::jalr,
               [](Cpu& c, const Decoded& d) {
                 const uint32_t target = c.reg(d.rs);
                 c.set_reg(d.rs, c.link_address());
                 c.branch(target);
               }),
       [](Program& p) { p.li(t9, kBase + 24).emit(Op::jalr, {.rs = t9, .rd = ra}).nop().nop().nop(); },
       t9, kBase + 24, kBase + 16},
      {"jr does not transfer", replace(Op::jr, [](Cpu&, const Decoded&) {}),
       [](Program& p) {
         p.li(t9, kBase + 20).emit(Op::jr, {.rs = t9}).nop().emit(Op::addiu, {.rt = v0, .imm = 1});
       },
       v0, 0, 1},
      {"lb zero-extends",
       replace(Op::lb,
               [](Cpu& c, const Decoded& d) {
                 uint32_t value;
                 if (c.load(c.reg(d.rs) + d.imm, Width::byte, value)) c.set_reg(d.rt, value);
               }),
       [](Program& p) {
         p.li(a0, kScratch).li(t0, 0x80).store(Op::sb, t0, 0, a0).load(Op::lb, t2, 0, a0);
       },
       t2, 0xFFFFFF80, 0x00000080},
      {"swl merges by big-endian lanes",
       replace(Op::swl,
               [](Cpu& c, const Decoded& d) {
                 const uint32_t address = c.reg(d.rs) + d.imm;
                 uint32_t word;
                 if (c.load(address, Width::partial_word, word))
                   c.store(address, Width::partial_word, merge_swl(word, c.reg(d.rt), 3 - (address & 3)));
               }),
       [](Program& p) {
         p.li(a0, kScratch).li(t0, 0x44332211).store(Op::sw, t0, 0, a0).li(t1, 0xAABBCCDD);
         p.store(Op::swl, t1, 1, a0).load(Op::lw, t2, 0, a0);
       },
       t2, 0x4433AABB, 0x44AABBCC},
      {"taken beq skips its slot", disturb(Op::beq, PipelineEffect::skip_slot_when_taken),
       [](Program& p) { emit_two_way(p, Op::beq, zero, zero); },
       t3, 1, 0},
      {"untaken bne skips its slot", disturb(Op::bne, PipelineEffect::skip_slot_when_not_taken),
       [](Program& p) { emit_two_way(p, Op::bne, zero, zero); },
       t3, 1, 0},
      {"blez always skips its slot", disturb(Op::blez, PipelineEffect::skip_slot_always),
       [](Program& p) { emit_two_way(p, Op::blez, zero, 0); },
       t3, 1, 0},
  };
}

TEST(SimFault, EachFaultChangesTheOutcome) {
  for (const FaultCase& c : fault_cases()) {
    SCOPED_TRACE(c.name);
    Program p;
    c.build(p);
    p.finish();
    const RunResult correct = run(p);
    RunOptions options;
    options.fault = c.fault;
    const RunResult faulty = run(p, options);
    EXPECT_EQ(correct.stop, StopReason::Finished);
    EXPECT_EQ(faulty.stop, StopReason::Finished);
    EXPECT_EQ(correct.regs[c.reg], c.correct);
    EXPECT_EQ(faulty.regs[c.reg], c.faulty);
  }
}

TEST(SimFault, SlotRunTwiceThenTheBranchGoesOn) {
  Program p;
  p.li(t0, 1);
  emit_two_way(p, Op::bne, t0, zero);
  RunOptions options;
  options.fault = disturb(Op::bne, PipelineEffect::slot_twice);
  const RunResult result = run(p, options);
  EXPECT_EQ(result.regs[t3], 2u);
  EXPECT_EQ(result.regs[v0], kTaken);
  EXPECT_EQ(result.instructions, run(p).instructions + 1);
}

TEST(SimFault, DelayedLoadLandsAfterTheNextInstruction) {
  Program p;
  p.li(a0, kScratch).li(t0, 7).store(Op::sw, t0, 0, a0).li(t1, 3).load(Op::lw, t1, 0, a0);
  p.emit(Op::addu, {.rs = t1, .rd = t2}).emit(Op::addu, {.rs = t1, .rd = t4}).finish();
  RunOptions options;
  options.fault = disturb(Op::lw, PipelineEffect::delayed_load);
  const RunResult result = run(p, options);
  EXPECT_EQ(result.regs[t2], 3u);
  EXPECT_EQ(result.regs[t4], 7u);
  EXPECT_EQ(result.regs[t1], 7u);
}

// Two delayed loads back to back: each result still lands one instruction
// late, the first's no later than the end of the second load.
TEST(SimFault, BackToBackDelayedLoadsBothLand) {
  Program p;
  p.li(a0, kScratch).li(t0, 7).store(Op::sw, t0, 0, a0).li(t0, 9).store(Op::sw, t0, 4, a0);
  p.li(t1, 3).li(t3, 5).load(Op::lw, t1, 0, a0).load(Op::lw, t3, 4, a0);
  p.emit(Op::addu, {.rs = t1, .rt = t3, .rd = t2}).emit(Op::addu, {.rs = t1, .rt = t3, .rd = t4}).finish();
  RunOptions options;
  options.fault = disturb(Op::lw, PipelineEffect::delayed_load);
  const RunResult result = run(p, options);
  EXPECT_EQ(result.regs[t2], 7u + 5u);  // the first load has landed, the second not yet
  EXPECT_EQ(result.regs[t4], 7u + 9u);
}

// A result held back: the next instruction still reads the old value, the
// one after it the new.
TEST(SimFault, LateResultLandsAfterTheNextInstruction) {
  Program p;
  p.emit(Op::addiu, {.rt = t0, .imm = 5}).emit(Op::addiu, {.rt = t1, .imm = 7});
  p.emit(Op::addu, {.rs = t0, .rt = t1, .rd = t2}).emit(Op::addu, {.rs = t2, .rd = t3});
  p.emit(Op::addu, {.rs = t2, .rd = t4}).finish();
  RunOptions options;
  options.fault = disturb(Op::addu, PipelineEffect::late_result);
  const RunResult result = run(p, options);
  EXPECT_EQ(result.regs[t3], 0u);
  EXPECT_EQ(result.regs[t4], 12u);
}

TEST(SimFault, LateHiLoLandsAfterLatencyInstructions) {
  for (const int latency : {1, 2}) {
    Program p;
    p.emit(Op::addiu, {.rt = t0, .imm = 3}).emit(Op::addiu, {.rt = t1, .imm = 4});
    p.emit(Op::mult, {.rs = t0, .rt = t1}).emit(Op::mflo, {.rd = t2}).emit(Op::mflo, {.rd = t3});
    p.emit(Op::mflo, {.rd = t4}).finish();
    RunOptions options;
    options.fault = {Op::mult, {}, PipelineEffect::late_hi_lo, latency};
    const RunResult result = run(p, options);
    EXPECT_EQ(result.regs[t2], 0u) << latency;
    EXPECT_EQ(result.regs[t3], latency == 1 ? 12u : 0u) << latency;
    EXPECT_EQ(result.regs[t4], 12u) << latency;
  }
}

// A source read without the result of the instruction right before it: the
// value two instructions back; the register itself keeps the new value.
TEST(SimFault, StaleSourceMissesOnlyTheInstructionJustBefore) {
  for (const bool stale_rs : {true, false}) {
    Program p;
    p.emit(Op::addiu, {.rt = t1, .imm = 1}).emit(Op::addiu, {.rt = t1, .imm = 9});
    p.emit(Op::subu, {.rs = stale_rs ? t1 : zero, .rt = stale_rs ? zero : t1, .rd = t2}).nop();
    p.emit(Op::subu, {.rs = stale_rs ? t1 : zero, .rt = stale_rs ? zero : t1, .rd = t3}).finish();
    RunOptions options;
    options.fault = disturb(Op::subu, stale_rs ? PipelineEffect::stale_rs : PipelineEffect::stale_rt);
    const RunResult result = run(p, options);
    EXPECT_EQ(result.regs[t2], stale_rs ? 1u : uint32_t(-1)) << stale_rs;
    EXPECT_EQ(result.regs[t3], stale_rs ? 9u : uint32_t(-9)) << stale_rs;
    EXPECT_EQ(result.regs[t1], 9u);
  }
}

TEST(SimFault, AFaultOnAnUnusedInstructionChangesNothing) {
  Program p;
  emit_two_way(p, Op::beq, zero, zero);
  RunOptions options;
  options.fault = replace(Op::multu, [](Cpu& c, const Decoded&) { c.raise(Cause::Breakpoint); });
  const RunResult faulty = run(p, options);
  const RunResult correct = run(p);
  EXPECT_EQ(faulty.regs, correct.regs);
  EXPECT_EQ(faulty.instructions, correct.instructions);
  EXPECT_FALSE(faulty.exception);
}

TEST(SimFault, AFaultCanRaiseAnException) {
  Program p;
  p.nop().emit(Op::addiu, {.rt = t0, .imm = 1}).finish();
  RunOptions options;
  options.fault = replace(Op::addiu, [](Cpu& c, const Decoded&) { c.raise(Cause::ReservedInstruction); });
  const RunResult result = run(p, options);
  EXPECT_EQ(result.stop, StopReason::ExceptionLoop);
  ASSERT_TRUE(result.exception);
  EXPECT_EQ(result.exception->cause, Cause::ReservedInstruction);
  EXPECT_EQ(result.exception->pc, kProgramBase + 4);
  EXPECT_EQ(result.regs[t0], 0u);
}

}  // namespace
}  // namespace r3k::sim::test
