// Branches, jumps, links and delay slots.
#include <gtest/gtest.h>

#include "program.h"

namespace r3k::sim::test {
namespace {

TEST(SimControl, ConditionalBranchesTakeTheirSlotEitherWay) {
  const struct {
    Op op;
    uint32_t rs, rt;
    bool taken;
  } cases[] = {
      {Op::beq, 5, 5, true},          {Op::beq, 5, 6, false},         {Op::beq, 0x10000, 0, false},
      {Op::bne, 5, 6, true},          {Op::bne, 5, 5, false},         {Op::bne, 0x10000, 0, true},
      {Op::blez, 0, 9, true},         {Op::blez, 0x80000000, 0, true}, {Op::blez, 1, 0, false},
      {Op::bgtz, 1, 0, true},         {Op::bgtz, 0, 0, false},        {Op::bgtz, 0x80000000, 0, false},
      {Op::bltz, 0xFFFFFFFF, 0, true}, {Op::bltz, 0, 0, false},       {Op::bltz, 0x7FFFFFFF, 0, false},
      {Op::bgez, 0, 0, true},         {Op::bgez, 0x7FFFFFFF, 0, true}, {Op::bgez, 0x80000000, 0, false},
      {Op::bltzal, 0x80000000, 0, true}, {Op::bltzal, 0, 0, false},
      {Op::bgezal, 0, 0, true},       {Op::bgezal, 0xFFFFFFFF, 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(isa::info(c.op).mnemonic) + " " + std::to_string(c.rs) + ", " + std::to_string(c.rt));
    Program p;
    p.li(t0, c.rs).li(t1, c.rt).li(ra, 0xDEADBEEF);
    const uint32_t branch = emit_two_way(p, c.op, t0, t1);
    const RunResult result = run(p);
    EXPECT_EQ(result.stop, StopReason::Finished);
    EXPECT_EQ(result.regs[v0], c.taken ? kTaken : kNotTaken);
    EXPECT_EQ(result.regs[t3], 1u) << "the delay slot runs whether or not the branch is taken";
    const bool links = c.op == Op::bltzal || c.op == Op::bgezal;
    EXPECT_EQ(result.regs[ra], links ? branch + 8 : 0xDEADBEEF) << "links even when not taken";
  }
}

TEST(SimControl, BranchAndLinkDecidesOnRaBeforeLinkingIntoIt) {
  Program p;
  p.li(ra, 0x80000000);  // negative: bltzal $ra is taken
  const uint32_t branch = emit_two_way(p, Op::bltzal, ra, 0);
  const RunResult result = run(p);
  EXPECT_EQ(result.regs[v0], kTaken);
  EXPECT_EQ(result.regs[ra], branch + 8);
}

// A jump-and-link to a block that records $v1 and leaves; the word after the
// slot must never run.
struct JumpOutcome {
  RunResult result;
  uint32_t jump_address;
};
template <class EmitJump>
JumpOutcome jump_program(EmitJump emit_jump) {
  Program p;
  p.li(ra, 0xDEADBEEF).li(s0, 0xDEADBEEF);
  const uint32_t target = p.here() + 4 * 12;
  p.li(t9, target);
  const uint32_t at = p.here();
  emit_jump(p, target);
  p.emit(Op::addiu, {.rt = t3, .imm = 1});  // slot
  p.emit(Op::addiu, {.rt = v0, .imm = 1}).finish();
  while (p.here() < target) p.nop();
  p.emit(Op::addiu, {.rt = v1, .imm = 7}).finish();
  return {run(p), at};
}

TEST(SimControl, JumpsTransferAfterTheirSlotAndLinkTheirAddressPlusEight) {
  const auto expect_reached = [](const RunResult& r) {
    EXPECT_EQ(r.stop, StopReason::Finished);
    EXPECT_EQ(r.regs[t3], 1u) << "slot";
    EXPECT_EQ(r.regs[v0], 0u) << "fell through";
    EXPECT_EQ(r.regs[v1], 7u) << "target";
  };
  {
    SCOPED_TRACE("j");
    const JumpOutcome o = jump_program([](Program& p, uint32_t target) { p.jump(Op::j, target); });
    expect_reached(o.result);
    EXPECT_EQ(o.result.regs[ra], 0xDEADBEEF);
  }
  {
    SCOPED_TRACE("jal");
    const JumpOutcome o = jump_program([](Program& p, uint32_t target) { p.jump(Op::jal, target); });
    expect_reached(o.result);
    EXPECT_EQ(o.result.regs[ra], o.jump_address + 8);
  }
  {
    SCOPED_TRACE("jr");
    const JumpOutcome o = jump_program([](Program& p, uint32_t) { p.emit(Op::jr, {.rs = t9}); });
    expect_reached(o.result);
    EXPECT_EQ(o.result.regs[ra], 0xDEADBEEF);
  }
  {
    SCOPED_TRACE("jalr $s0, $t9");
    const JumpOutcome o = jump_program([](Program& p, uint32_t) { p.emit(Op::jalr, {.rs = t9, .rd = s0}); });
    expect_reached(o.result);
    EXPECT_EQ(o.result.regs[s0], o.jump_address + 8);
    EXPECT_EQ(o.result.regs[ra], 0xDEADBEEF);
  }
  {
    SCOPED_TRACE("jalr $ra, $ra: the target is read before the link");
    const JumpOutcome o = jump_program([](Program& p, uint32_t) {
      p.emit(Op::addu, {.rs = t9, .rd = ra}).emit(Op::jalr, {.rs = ra, .rd = ra});
    });
    expect_reached(o.result);
    EXPECT_EQ(o.result.regs[ra], o.jump_address + 4 + 8);
  }
}

}  // namespace
}  // namespace r3k::sim::test
