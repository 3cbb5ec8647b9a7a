// Loads and stores: extension, lanes, the unaligned word instructions, and
// the RAM the machine starts with.
#include <gtest/gtest.h>

#include <set>

#include "program.h"
#include "sim/report.h"

namespace r3k::sim::test {
namespace {

// Memory holds `word` at kScratch, $t2 holds `reg`; then `op $t2, offset($a0)`
// with $a0 = kScratch + 8 (so the offsets are negative and must be
// sign-extended). The result is $t2 and the word at kScratch, read back.
struct Outcome {
  uint32_t reg, memory;
};
Outcome access(Op op, uint32_t word, uint32_t reg, int offset) {
  Program p;
  p.li(a0, kScratch + 8).li(t0, word).store(Op::sw, t0, -8, a0).li(t2, reg);
  p.load(op, t2, static_cast<int16_t>(offset - 8), a0).load(Op::lw, t3, -8, a0).finish();
  const RunResult result = run(p);
  EXPECT_EQ(result.stop, StopReason::Finished);
  EXPECT_FALSE(result.exception) << describe(*result.exception);
  return {result.regs[t2], result.regs[t3]};
}

struct MemoryCase {
  Op op;
  int offset;
  uint32_t expected;
};

std::string trace(const MemoryCase& c) {
  return std::string(isa::info(c.op).mnemonic) + " at byte " + std::to_string(c.offset);
}

TEST(SimMemory, LoadsExtendByKind) {
  // Memory bytes, lowest address first: 01 7F FF 80.
  const MemoryCase cases[] = {
      {Op::lb, 0, 0x00000001},  {Op::lb, 1, 0x0000007F},  {Op::lb, 2, 0xFFFFFFFF},  {Op::lb, 3, 0xFFFFFF80},
      {Op::lbu, 2, 0x000000FF}, {Op::lbu, 3, 0x00000080}, {Op::lh, 0, 0x00007F01},  {Op::lh, 2, 0xFFFF80FF},
      {Op::lhu, 0, 0x00007F01}, {Op::lhu, 2, 0x000080FF}, {Op::lw, 0, 0x80FF7F01},
  };
  for (const MemoryCase& c : cases) {
    SCOPED_TRACE(trace(c));
    EXPECT_EQ(access(c.op, 0x80FF7F01, 0xDEADBEEF, c.offset).reg, c.expected);
  }
}

TEST(SimMemory, StoresReplaceOnlyTheirLanes) {
  // Memory 0x44332211, register 0xAABBCCDD.
  const MemoryCase cases[] = {
      {Op::sb, 0, 0x443322DD}, {Op::sb, 1, 0x4433DD11}, {Op::sb, 2, 0x44DD2211}, {Op::sb, 3, 0xDD332211},
      {Op::sh, 0, 0x4433CCDD}, {Op::sh, 2, 0xCCDD2211}, {Op::sw, 0, 0xAABBCCDD},
  };
  for (const MemoryCase& c : cases) {
    SCOPED_TRACE(trace(c));
    EXPECT_EQ(access(c.op, 0x44332211, 0xAABBCCDD, c.offset).memory, c.expected);
  }
}

// Little-endian MIPS-I: lwl at lane k fills the register's top k+1 bytes with
// memory bytes k..0; lwr at lane k fills its low 4-k bytes with memory bytes
// 3..k; swl at lane k writes the register's top k+1 bytes to memory bytes
// k..0; swr at lane k writes its low 4-k bytes to memory bytes 3..k.
TEST(SimMemory, UnalignedWordInstructionsAtEveryLane) {
  // Memory 0x44332211 (bytes 11 22 33 44), register 0xAABBCCDD.
  const MemoryCase loads[] = {
      {Op::lwl, 0, 0x11BBCCDD}, {Op::lwl, 1, 0x2211CCDD}, {Op::lwl, 2, 0x332211DD}, {Op::lwl, 3, 0x44332211},
      {Op::lwr, 0, 0x44332211}, {Op::lwr, 1, 0xAA443322}, {Op::lwr, 2, 0xAABB4433}, {Op::lwr, 3, 0xAABBCC44},
  };
  for (const MemoryCase& c : loads) {
    SCOPED_TRACE(trace(c));
    const Outcome outcome = access(c.op, 0x44332211, 0xAABBCCDD, c.offset);
    EXPECT_EQ(outcome.reg, c.expected);
    EXPECT_EQ(outcome.memory, 0x44332211u);
  }
  const MemoryCase stores[] = {
      {Op::swl, 0, 0x443322AA}, {Op::swl, 1, 0x4433AABB}, {Op::swl, 2, 0x44AABBCC}, {Op::swl, 3, 0xAABBCCDD},
      {Op::swr, 0, 0xAABBCCDD}, {Op::swr, 1, 0xBBCCDD11}, {Op::swr, 2, 0xCCDD2211}, {Op::swr, 3, 0xDD332211},
  };
  for (const MemoryCase& c : stores) {
    SCOPED_TRACE(trace(c));
    EXPECT_EQ(access(c.op, 0x44332211, 0xAABBCCDD, c.offset).memory, c.expected);
  }
}

TEST(SimMemory, LoadedValueIsUsableByTheNextInstruction) {
  Program p;
  p.li(a0, kScratch).li(t0, 21).store(Op::sw, t0, 0, a0).li(t0, 0);
  p.load(Op::lw, t1, 0, a0).emit(Op::addu, {.rs = t1, .rt = t1, .rd = t2});
  p.load(Op::lb, t3, 0, a0).branch(Op::beq, t3, zero, 2).nop();  // the branch compares the fresh value
  p.emit(Op::addiu, {.rt = t4, .imm = 1}).finish();
  const RunResult result = run(p);
  EXPECT_EQ(result.regs[t2], 42u);
  EXPECT_EQ(result.regs[t4], 1u);  // the branch saw 21 and fell through
}

TEST(SimMemory, RamStartsNonZeroAndIsRefilledForEachRun) {
  // Read 16 words spread over RAM, then overwrite the first one.
  Program p;
  p.li(a0, layout::kRamBase);
  for (int i = 0; i < 16; ++i) p.load(Op::lw, 8 + i, static_cast<int16_t>(i * 0x804), a0);
  p.store(Op::sw, zero, 0, a0).finish();
  Machine machine(p.rom());
  RunOptions options;
  options.start_pc = p.base();
  for (int pass = 0; pass < 2; ++pass) {
    const RunResult result = machine.run(options);
    std::set<uint32_t> distinct;
    for (int i = 0; i < 16; ++i) {
      const uint32_t address = layout::kRamBase + i * 0x804;
      const uint32_t expected = ram_fill_byte(address) | ram_fill_byte(address + 1) << 8 |
                                ram_fill_byte(address + 2) << 16 | uint32_t(ram_fill_byte(address + 3)) << 24;
      EXPECT_EQ(result.regs[8 + i], expected) << "pass " << pass << ", word " << i;
      distinct.insert(result.regs[8 + i]);
    }
    EXPECT_EQ(distinct.size(), 16u);
  }
  for (uint32_t address = layout::kRamBase; address < layout::kRamBase + layout::kRamSize; ++address) {
    ASSERT_NE(ram_fill_byte(address), 0) << std::hex << address;
    ASSERT_NE(ram_fill_byte(address), ram_fill_byte(address + 1)) << std::hex << address;
  }
}

}  // namespace
}  // namespace r3k::sim::test
