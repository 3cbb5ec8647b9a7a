// The instruction table's attributes against two independent sources: the
// regular layout of the MIPS-I opcode map, and what the reference simulator
// (whose semantics are written per instruction, not from the attributes)
// actually does when it runs each instruction.
#include <gtest/gtest.h>

#include <array>

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
    // mtc0 and rfe change coprocessor 0, which this experiment does not watch.
    if (op_at(i) == Op::mtc0 || op_at(i) == Op::rfe) continue;
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

// What an instruction reads, by experiment: the instruction runs with every
// register as above and one source (rs, rt, HI or LO) set to a reference
// value, then to each of four extreme values; the source is read exactly when
// one of them changes what the run ends with (registers, HI, LO, the scratch
// word, whether it raised an exception). Immediates of 0x8001 keep andi and
// the comparisons from hiding a change.
enum class Source { none, rs, rt, hi, lo };

struct Outcome {
  std::array<uint32_t, 32> regs{};
  uint32_t hi = 0, lo = 0;
  bool exception = false;
  bool operator==(const Outcome&) const = default;
};

Outcome run_with(Op op, Source source, uint32_t value) {
  const OpInfo& row = info(op);
  const bool memory = row.format == Format::Memory;
  const uint8_t rs = memory ? s0 : t3;
  auto pick = [&](Source s, uint32_t normal) { return s == source ? value : normal; };
  Program p;
  p.li(t0, pick(Source::hi, 0x12345678)).emit(Op::mthi, {.rs = t0});
  p.li(t0, pick(Source::lo, 0x0FEDCBA9)).emit(Op::mtlo, {.rs = t0});
  for (unsigned reg = 1; reg < 32; ++reg) p.li(reg, start_value(reg));
  p.li(rs, pick(Source::rs, start_value(rs))).li(t1, pick(Source::rt, start_value(t1)));
  // Word accesses aligned; the others at byte 2, where lwl and lwr keep part of rt.
  const uint16_t imm = memory ? (op == Op::lw || op == Op::sw ? 0 : 2) : 0x8001;
  p.emit(op, {.rs = rs, .rt = t1, .rd = t2, .sa = 3, .imm = imm});
  if (memory) p.load(Op::lw, k1, 0, s0);
  const sim::RunResult result = sim::test::run(p.finish());
  Outcome outcome{result.regs, result.hi, result.lo, result.exception.has_value()};
  // The source itself is no result, unless the instruction writes it again
  // (a merging load's rt).
  if (source == Source::rs) outcome.regs[rs] = 0;
  if (source == Source::rt && row.destination != Destination::rt) outcome.regs[t1] = 0;
  if (source == Source::hi && !row.writes_hi()) outcome.hi = 0;
  if (source == Source::lo && !row.writes_lo()) outcome.lo = 0;
  return outcome;
}

bool depends_on(Op op, Source source) {
  const Outcome plain = run_with(op, source, 0xA5A5A5A5);
  for (const uint32_t value : {0u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu})
    if (!(run_with(op, source, value) == plain)) return true;
  return false;
}

TEST(IsaAttributes, ReadsAreTheSourcesThatChangeTheSimulatorsResult) {
  for (int i = 0; i < kOpCount; ++i) {
    const OpInfo& row = info(op_at(i));
    if (has_delay_slot(op_at(i)) || row.format == Format::Trap) continue;  // they leave the straight line
    // mtc0 and rfe change coprocessor 0, which this experiment does not watch.
    if (op_at(i) == Op::mtc0 || op_at(i) == Op::rfe) continue;
    SCOPED_TRACE(row.mnemonic);
    // A memory access's base is read by definition: moved, it leaves the scratch word.
    if (row.format == Format::Memory) EXPECT_TRUE(row.reads.rs);
    else EXPECT_EQ(row.reads.rs, depends_on(op_at(i), Source::rs));
    EXPECT_EQ(row.reads.rt, depends_on(op_at(i), Source::rt));
    EXPECT_EQ(row.reads.hi, depends_on(op_at(i), Source::hi));
    EXPECT_EQ(row.reads.lo, depends_on(op_at(i), Source::lo));
  }
}

// HI and LO as written, by the same experiment's plain run: a write leaves
// something other than the preset.
TEST(IsaAttributes, HiAndLoWritesAreWhatTheSimulatorWrites) {
  for (int i = 0; i < kOpCount; ++i) {
    const OpInfo& row = info(op_at(i));
    if (has_delay_slot(op_at(i)) || row.format == Format::Trap) continue;
    SCOPED_TRACE(row.mnemonic);
    const Outcome plain = run_with(op_at(i), Source::none, 0);
    EXPECT_EQ(row.writes_hi(), plain.hi != 0x12345678u);
    EXPECT_EQ(row.writes_lo(), plain.lo != 0x0FEDCBA9u);
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
