// Arithmetic, logic, shift, multiply and divide semantics on edge values.
#include <gtest/gtest.h>

#include "sim/report.h"
#include "sim/semantics.h"
#include "program.h"

namespace r3k::sim::test {
namespace {

constexpr uint32_t kSentinel = 0xDEADBEEF;

std::string trace(Op op, uint32_t a, uint32_t b) {
  char text[64];
  std::snprintf(text, sizeof text, "%s 0x%08x, 0x%08x", std::string(isa::info(op).mnemonic).c_str(), a, b);
  return text;
}

void expect_clean_finish(const RunResult& result) {
  EXPECT_EQ(result.stop, StopReason::Finished);
  EXPECT_FALSE(result.exception) << describe(*result.exception);
}

// op $t2, $t0, $t1 (the variable shifts shift $t1 by $t0).
struct RegisterCase {
  Op op;
  uint32_t rs, rt, expected;
};

TEST(SimAlu, RegisterOperations) {
  const RegisterCase cases[] = {
      {Op::addu, 0xFFFFFFFF, 1, 0},
      {Op::addu, 0x7FFFFFFF, 1, 0x80000000},  // wraps, never traps
      {Op::add, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFE},
      {Op::add, 0x7FFFFFFE, 1, 0x7FFFFFFF},
      {Op::sub, 0x80000001, 1, 0x80000000},
      {Op::sub, 0, 0x7FFFFFFF, 0x80000001},
      {Op::subu, 0, 1, 0xFFFFFFFF},
      {Op::subu, 0x80000000, 1, 0x7FFFFFFF},
      {Op::and_, 0xF0F0FF00, 0xFF00F0F0, 0xF000F000},
      {Op::or_, 0xF0F00000, 0x0000000F, 0xF0F0000F},
      {Op::xor_, 0xFFFF0000, 0xFF00FF00, 0x00FFFF00},
      {Op::nor, 0xF0F00000, 0x0F000000, 0x000FFFFF},
      {Op::slt, 0xFFFFFFFF, 0, 1},
      {Op::slt, 0, 0xFFFFFFFF, 0},
      {Op::slt, 0x80000000, 0x7FFFFFFF, 1},
      {Op::slt, 5, 5, 0},
      {Op::sltu, 0xFFFFFFFF, 0, 0},
      {Op::sltu, 0, 0xFFFFFFFF, 1},
      {Op::sllv, 33, 0x80000001, 0x00000002},  // only the low five bits of rs count
      {Op::srlv, 0xFFFFFFE4, 0x80000000, 0x08000000},
      {Op::srav, 4, 0x80000000, 0xF8000000},
      {Op::srav, 31, 0x80000000, 0xFFFFFFFF},
      {Op::srav, 4, 0x70000000, 0x07000000},
  };
  for (const RegisterCase& c : cases) {
    SCOPED_TRACE(trace(c.op, c.rs, c.rt));
    Program p;
    p.li(t0, c.rs).li(t1, c.rt).li(t2, kSentinel).emit(c.op, {.rs = t0, .rt = t1, .rd = t2}).finish();
    const RunResult result = run(p);
    expect_clean_finish(result);
    EXPECT_EQ(result.regs[t2], c.expected);
  }
}

// op $t2, $t0, imm
struct ImmediateCase {
  Op op;
  uint32_t rs;
  uint16_t imm;
  uint32_t expected;
};

TEST(SimAlu, ImmediateOperationsExtendTheirImmediateByKind) {
  const ImmediateCase cases[] = {
      {Op::addiu, 0, 0xFFFF, 0xFFFFFFFF},  // sign-extended
      {Op::addiu, 0x7FFFFFFF, 1, 0x80000000},
      {Op::addi, 5, 0xFFFF, 4},
      {Op::addi, 0x80000000, 0x7FFF, 0x80007FFF},
      {Op::slti, 0xFFFFFFFE, 0xFFFF, 1},  // -2 < -1
      {Op::slti, 0, 0xFFFF, 0},
      {Op::slti, 0x7FFFFFFF, 0x8000, 0},
      {Op::sltiu, 5, 0xFFFF, 1},  // sign-extended, then compared unsigned: 5 < 0xFFFFFFFF
      {Op::sltiu, 0xFFFFFFFF, 0xFFFF, 0},
      {Op::sltiu, 0xFFFF8000, 0x8000, 0},
      {Op::sltiu, 0xFFFF7FFF, 0x8000, 1},
      {Op::sltiu, 0x00007FFF, 0x8000, 1},
      {Op::andi, 0xFFFFFFFF, 0x8000, 0x00008000},  // zero-extended
      {Op::ori, 0, 0xFFFF, 0x0000FFFF},
      {Op::ori, 0x12340000, 0x8001, 0x12348001},
      {Op::xori, 0xFFFFFFFF, 0x8000, 0xFFFF7FFF},
      {Op::xori, 0, 0xFFFF, 0x0000FFFF},
      {Op::lui, 0x12345678, 0x8001, 0x80010000},  // rs plays no part
  };
  for (const ImmediateCase& c : cases) {
    SCOPED_TRACE(trace(c.op, c.rs, c.imm));
    Program p;
    p.li(t0, c.rs).li(t2, kSentinel).emit(c.op, {.rs = t0, .rt = t2, .imm = c.imm}).finish();
    const RunResult result = run(p);
    expect_clean_finish(result);
    EXPECT_EQ(result.regs[t2], c.expected);
  }
}

// op $t2, $t1, sa
TEST(SimAlu, ShiftByImmediate) {
  const struct {
    Op op;
    uint32_t rt;
    uint8_t sa;
    uint32_t expected;
  } cases[] = {
      {Op::sll, 1, 31, 0x80000000},         {Op::sll, 0xFFFFFFFF, 0, 0xFFFFFFFF},
      {Op::sll, 0x80000001, 4, 0x00000010}, {Op::srl, 0x80000000, 31, 1},
      {Op::srl, 0xF0000000, 4, 0x0F000000}, {Op::sra, 0x80000000, 31, 0xFFFFFFFF},
      {Op::sra, 0x80000000, 4, 0xF8000000}, {Op::sra, 0x7FFFFFFF, 16, 0x00007FFF},
      {Op::sra, 0x80000000, 0, 0x80000000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(trace(c.op, c.rt, c.sa));
    Program p;
    p.li(t1, c.rt).li(t2, kSentinel).emit(c.op, {.rt = t1, .rd = t2, .sa = c.sa}).finish();
    const RunResult result = run(p);
    expect_clean_finish(result);
    EXPECT_EQ(result.regs[t2], c.expected);
  }
}

// op $t0, $t1 ; mfhi $t2 ; mflo $t3, read right after the operation.
TEST(SimAlu, MultiplyAndDivideReadableAtOnce) {
  const struct {
    Op op;
    uint32_t rs, rt, hi, lo;
  } cases[] = {
      {Op::mult, 0xFFFFFFFF, 0xFFFFFFFF, 0, 1},
      {Op::mult, 0x80000000, 0x80000000, 0x40000000, 0},
      {Op::mult, 0xFFFFFFFE, 3, 0xFFFFFFFF, 0xFFFFFFFA},
      {Op::mult, 0x7FFFFFFF, 0x80000000, 0xC0000000, 0x80000000},
      {Op::multu, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFE, 1},
      {Op::multu, 0xFFFFFFFE, 3, 2, 0xFFFFFFFA},
      {Op::div, 7, 2, 1, 3},
      {Op::div, 0xFFFFFFF9, 2, 0xFFFFFFFF, 0xFFFFFFFD},  // -7 / 2: -3 rem -1, toward zero
      {Op::div, 7, 0xFFFFFFFE, 1, 0xFFFFFFFD},           // 7 / -2: -3 rem 1
      {Op::div, 0xFFFFFFF9, 0xFFFFFFFE, 0xFFFFFFFF, 3},  // -7 / -2: 3 rem -1
      {Op::div, 0x80000000, 0xFFFFFFFF, 0, 0x80000000},
      {Op::div, 0x80000000, 1, 0, 0x80000000},
      {Op::divu, 0xFFFFFFF9, 2, 1, 0x7FFFFFFC},
      {Op::divu, 0x80000000, 0xFFFFFFFF, 0x80000000, 0},
      // Division by zero as documented in semantics.h.
      {Op::div, 5, 0, 5, 0xFFFFFFFF},
      {Op::div, 0xFFFFFFFB, 0, 0xFFFFFFFB, 1},
      {Op::divu, 5, 0, 5, 0xFFFFFFFF},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(trace(c.op, c.rs, c.rt));
    Program p;
    p.li(t0, c.rs).li(t1, c.rt).emit(c.op, {.rs = t0, .rt = t1});
    p.emit(Op::mfhi, {.rd = t2}).emit(Op::mflo, {.rd = t3}).finish();
    const RunResult result = run(p);
    expect_clean_finish(result);
    EXPECT_EQ(result.regs[t2], c.hi);
    EXPECT_EQ(result.regs[t3], c.lo);
  }
}

TEST(SimAlu, MovesToHiAndLoAreReadableAtOnceAndIndependent) {
  Program p;
  p.li(t0, 0x11111111).li(t1, 0x22222222).emit(Op::multu, {.rs = t0, .rt = t1});  // hi and lo non-zero
  p.li(t4, 0xCAFEF00D).emit(Op::mthi, {.rs = t4}).emit(Op::mfhi, {.rd = t2}).emit(Op::mflo, {.rd = t3});
  p.li(t5, 0x0BADF00D).emit(Op::mtlo, {.rs = t5}).emit(Op::mflo, {.rd = t6}).emit(Op::mfhi, {.rd = t7});
  p.finish();
  const RunResult result = run(p);
  expect_clean_finish(result);
  EXPECT_EQ(result.regs[t2], 0xCAFEF00Du);
  EXPECT_EQ(result.regs[t3], uint32_t(0x11111111ull * 0x22222222ull));  // mthi left lo alone
  EXPECT_EQ(result.regs[t6], 0x0BADF00Du);
  EXPECT_EQ(result.regs[t7], 0xCAFEF00Du);
  EXPECT_EQ(result.hi, 0xCAFEF00Du);
  EXPECT_EQ(result.lo, 0x0BADF00Du);
}

TEST(SimAlu, ZeroRegisterIgnoresWrites) {
  Program p;
  p.emit(Op::addiu, {.rs = zero, .rt = zero, .imm = 5}).emit(Op::lui, {.rt = zero, .imm = 0xFFFF});
  p.emit(Op::addu, {.rs = zero, .rt = zero, .rd = t0}).finish();
  const RunResult result = run(p);
  EXPECT_EQ(result.regs[zero], 0u);
  EXPECT_EQ(result.regs[t0], 0u);
}

}  // namespace
}  // namespace r3k::sim::test
