// The instruction table's attributes against two independent sources: the
// regular layout of the MIPS-I opcode map, and what the reference simulator
// (whose semantics are written per instruction, not from the attributes)
// actually does when it runs each instruction.
#include <gtest/gtest.h>

#include "isa/isa.h"
#include "sim/program.h"

namespace r3k::isa {
namespace {

using sim::test::Program;

Op op_at(int i) { return static_cast<Op>(i); }

TEST(IsaAttributes, FollowTheOpcodeMap) {
  for (int i = 0; i < kOpCount; ++i) {
    const OpInfo& row = info(op_at(i));
    SCOPED_TRACE(row.mnemonic);
    const uint32_t opcode = row.match >> 26;
    if (row.format != Format::Memory) {
      EXPECT_EQ(row.attributes.memory, MemoryAccess::none);
      EXPECT_EQ(row.attributes.width, 0);
    } else {
      // 0x20..0x27 load, 0x28..0x2F store; the low two bits give the width
      // except for the word-left and word-right pair (2 and 6).
      const bool left_or_right = (opcode & 3) == 2;
      EXPECT_EQ(row.is_store(), (opcode & 0x08) != 0);
      EXPECT_EQ(row.is_merging_load(), !row.is_store() && left_or_right);
      EXPECT_EQ(row.attributes.width, left_or_right || (opcode & 3) == 3 ? 4 : 1 << (opcode & 3));
      const bool narrow_load = !row.is_store() && !left_or_right && (opcode & 3) != 3;
      const Extension widen = !narrow_load ? Extension::none : (opcode & 4) ? Extension::zero : Extension::sign;
      EXPECT_EQ(row.attributes.widen, widen);
    }
    // jal (opcode 3), jalr (funct 9), and the REGIMM branches with rt bit 4 set.
    const bool regimm_link = opcode == kRegimm && (row.match >> 16 & 0x10);
    const bool links = opcode == 3 || (opcode == kSpecial && (row.match & 0x3F) == 9) || regimm_link;
    EXPECT_EQ(row.links(), links);
    if (row.links() && row.format != Format::JumpLinkRegister) {
      EXPECT_EQ(row.destination, Destination::ra);
    }
  }
}

// Every register starts with its own value; the instruction under test runs
// once with rt = $t1, rd = $t2 and rs = $s0 (the scratch word's address) for
// a load or store, $t3 otherwise (small enough that nothing overflows).
constexpr uint32_t kScratch = sim::test::kScratch;
uint32_t start_value(unsigned reg) { return reg == s0 ? kScratch : 0x01000000u * reg + 0x10101u * reg; }

sim::RunResult run_once(Op op) {
  Program p;
  for (unsigned reg = 1; reg < 32; ++reg) p.li(reg, start_value(reg));
  const uint8_t rs = info(op).format == Format::Memory ? s0 : t3;
  p.emit(op, {.rs = rs, .rt = t1, .rd = t2, .sa = 3, .imm = 0});
  return sim::test::run(p.finish());
}

TEST(IsaAttributes, DestinationIsTheRegisterTheSimulatorWrites) {
  for (int i = 0; i < kOpCount; ++i) {
    const OpInfo& row = info(op_at(i));
    if (has_delay_slot(op_at(i)) || row.format == Format::Trap) continue;  // they leave the straight line
    SCOPED_TRACE(row.mnemonic);
    const sim::RunResult result = run_once(op_at(i));
    ASSERT_FALSE(result.exception.has_value());
    std::vector<unsigned> written;
    for (unsigned reg = 1; reg < 32; ++reg)
      if (result.regs[reg] != start_value(reg)) written.push_back(reg);
    std::vector<unsigned> expected;
    if (row.destination == Destination::rd) expected = {t2};
    if (row.destination == Destination::rt) expected = {t1};
    EXPECT_EQ(written, expected);
  }
}

TEST(IsaAttributes, LoadWidthAndExtensionAreWhatTheSimulatorLoads) {
  for (int i = 0; i < kOpCount; ++i) {
    const OpInfo& row = info(op_at(i));
    if (row.attributes.memory != MemoryAccess::load) continue;
    SCOPED_TRACE(row.mnemonic);
    Program p;
    p.li(s0, kScratch).li(t0, 0x8384F5F6).store(Op::sw, t0, 0, s0);
    p.load(op_at(i), t1, 0, s0);
    const sim::RunResult result = sim::test::run(p.finish());
    const unsigned bits = 8 * row.attributes.width;
    const uint32_t unit = bits == 32 ? 0x8384F5F6 : 0x8384F5F6 & ((1u << bits) - 1);
    const uint32_t sign_fill = bits == 32 ? 0 : ~0u << bits;  // every unit here has its top bit set
    EXPECT_EQ(result.regs[t1], row.attributes.widen == Extension::sign ? unit | sign_fill : unit);
  }
}

TEST(IsaEncode, RefusesAFieldThatDoesNotFit) {
  EXPECT_EQ(encode(Op::sll, {.rt = t0, .rd = t1, .sa = 31}), 0x00084FC0u);
  EXPECT_THROW(encode(Op::sll, {.rt = t0, .rd = t1, .sa = 40}), std::logic_error);
  EXPECT_THROW(encode(Op::addu, {.rs = 32, .rt = t0, .rd = t1}), std::logic_error);
  EXPECT_THROW(encode(Op::j, {.target = 0x04000000}), std::logic_error);
  EXPECT_THROW(encode(Op::break_, {.code = 0x100000}), std::logic_error);
  // A field the format does not have is no part of the word.
  EXPECT_EQ(encode(Op::j, {.rs = 40, .target = 1}), 0x08000001u);
}

}  // namespace
}  // namespace r3k::isa
