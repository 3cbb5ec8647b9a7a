// The ALU routines against a processor with one faulty ALU instruction: the
// routine of that instruction must fail, and the run must show it in the
// display words and the lamps.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "image/build.h"
#include "board/layout.h"
#include "sim/report.h"
#include "sim/semantics.h"
#include "support/image_run.h"
#include "board/board.h"

namespace r3k::test {
namespace {

using isa::Op;
using sim::Cpu;
using sim::Decoded;

uint32_t rs(const Cpu& c, const Decoded& d) { return c.reg(d.rs); }
uint32_t rt(const Cpu& c, const Decoded& d) { return c.reg(d.rt); }
uint16_t field(const Decoded& d) { return static_cast<uint16_t>(d.word); }
uint32_t sign_extended(uint16_t f) { return sim::sign_extend_half(f); }

// A register-format instruction computing `value` from $rs and $rt instead.
template <class Value>
sim::Fault register_fault(Op op, Value value) {
  return {op, [value](Cpu& c, const Decoded& d) { c.set_reg(d.rd, value(rs(c, d), rt(c, d))); }};
}
// An immediate-format instruction computing `value` from $rs and the raw field.
template <class Value>
sim::Fault immediate_fault(Op op, Value value) {
  return {op, [value](Cpu& c, const Decoded& d) { c.set_reg(d.rt, value(rs(c, d), field(d))); }};
}

struct FaultRow {
  const char* name;
  int routine;  // the one routine the fault must fail
  sim::Fault fault;
};

// addu, or, addiu and ori also build the constants, addresses and display
// words of the whole image, so their faults here strike only operands the
// other families do not produce; the plain forms are below.
std::vector<FaultRow> targeted_faults() {
  using U = uint32_t;
  return {
      {"addu drops the carry into bit 16 when both operands have bit 15 set", 2,
       register_fault(Op::addu, [](U a, U b) { return a + b - (a & b & 0x8000 ? 0x10000 : 0); })},
      {"or acts as xor (the frame's or has disjoint operands)", 7,
       register_fault(Op::or_, [](U a, U b) { return a ^ b; })},
      {"slt compares unsigned", 8, register_fault(Op::slt, [](U a, U b) { return U(a < b); })},
      {"add acts as sub", 21, register_fault(Op::add, [](U a, U b) { return a - b; })},
      {"sub computes B - A", 23, register_fault(Op::sub, [](U a, U b) { return b - a; })},
      {"subu forgets the +1 of the two's complement", 24, register_fault(Op::subu, [](U a, U b) { return a + ~b; })},
      {"sltu compares signed", 25, register_fault(Op::sltu, [](U a, U b) { return U(int32_t(a) < int32_t(b)); })},
      {"and acts as or", 26, register_fault(Op::and_, [](U a, U b) { return a | b; })},
      {"nor acts as or", 28, register_fault(Op::nor, [](U a, U b) { return a | b; })},
      {"xor acts as or", 30, register_fault(Op::xor_, [](U a, U b) { return a | b; })},
      {"addiu zero-extends its immediate when $rs is non-negative with bit 15 set", 3,
       immediate_fault(Op::addiu,
                       [](U x, uint16_t f) { return x + ((x & 0x80008000) == 0x8000 ? f : sign_extended(f)); })},
      {"slti zero-extends its immediate", 9,
       immediate_fault(Op::slti, [](U x, uint16_t f) { return U(int32_t(x) < int32_t(f)); })},
      {"sltiu compares signed", 10,
       immediate_fault(Op::sltiu, [](U x, uint16_t f) { return U(int32_t(x) < int32_t(sign_extended(f))); })},
      {"addi zero-extends its immediate", 22, immediate_fault(Op::addi, [](U x, uint16_t f) { return x + f; })},
      {"andi sign-extends its immediate", 27,
       immediate_fault(Op::andi, [](U x, uint16_t f) { return x & sign_extended(f); })},
      {"ori sign-extends its immediate when the low half of $rs is not zero", 29,
       immediate_fault(Op::ori, [](U x, uint16_t f) { return x | (x & 0xFFFF ? sign_extended(f) : f); })},
      {"xori sign-extends its immediate", 31,
       immediate_fault(Op::xori, [](U x, uint16_t f) { return x ^ sign_extended(f); })},
  };
}

// Routines that fail on the fault-free processor, so that a fault row still
// shows exactly what its own fault adds (the image test below wants none).
const std::set<int>& unfaulted_failures() {
  static const std::set<int> failures = run_default_image().failed;
  return failures;
}

std::vector<uint32_t> first_display_words(const std::set<int>& failing, size_t count) {
  std::vector<uint32_t> words = expected_display_words(failing);
  words.resize(count);
  return words;
}

bool in_routine(uint32_t address, int number) {
  const RoutineInfo& routine = default_image().routines.at(number - 1);
  return address >= routine.address && address < routine.address + routine.size;
}

TEST(AluFaults, UnfaultedImagePasses) { EXPECT_TRUE(run_default_image().passed()); }

TEST(AluFaults, AluRoutinesPassWithOtherSeeds) {
  for (const uint32_t seed : {1u, 0xDEADBEEFu, 0xFFFFFFFFu}) {
    const ImageRun run = run_image(build_image(seed));
    ASSERT_TRUE(run.finished()) << seed;
    for (const FaultRow& row : targeted_faults()) EXPECT_EQ(run.failed.count(row.routine), 0u) << seed << " " << row.name;
  }
}

TEST(AluFaults, EachFaultFailsItsOwnRoutineAndTheLampsShowFail) {
  for (const FaultRow& row : targeted_faults()) {
    SCOPED_TRACE(row.name);
    const ImageRun run = run_default_image(row.fault);
    std::set<int> failing = unfaulted_failures();
    failing.insert(row.routine);
    ASSERT_TRUE(run.finished()) << sim::stop_reason_name(run.result.stop);
    EXPECT_EQ(run.failed, failing);
    EXPECT_EQ(run.display_words, expected_display_words(failing));
    EXPECT_EQ(sim::verdict_of(run.result), sim::Verdict::Fail);
    EXPECT_EQ(run.result.board.status_lamp_a, board::kLampFail);
    EXPECT_EQ(run.result.board.status_lamp_b, board::kLampFail);
    EXPECT_EQ(run.result.board.lamp_bank, 0u);
  }
}

// The carry left over from the addu routine's failing case goes into the
// address of the next long-form store, which then traps.
TEST(AluFaults, AdduKeepingItsCarryFailsAdduThenTrapsLater) {
  const sim::Fault fault{Op::addu, [carry = uint32_t(0)](Cpu& c, const Decoded& d) mutable {
                           const uint64_t sum = uint64_t(rs(c, d)) + rt(c, d) + carry;
                           carry = uint32_t(sum >> 32);
                           c.set_reg(d.rd, uint32_t(sum));
                         }};
  const ImageRun run = run_default_image(fault);
  ASSERT_FALSE(run.display_words.empty());
  EXPECT_FALSE(run.passed());
  EXPECT_EQ(run.failed.count(2), 1u);
  EXPECT_EQ(run.display_words, first_display_words({2}, run.display_words.size()));
}

// An add whose overflow test reads the carry out of bit 31 traps on the first
// case that adds two negative numbers or carries, so the run stops in the
// exception loop inside the add routine, before its display word.
TEST(AluFaults, AddTrappingOnACarryStopsInTheAddRoutine) {
  const sim::Fault fault{Op::add, [](Cpu& c, const Decoded& d) {
                           if ((uint64_t(rs(c, d)) + rt(c, d)) >> 32) c.raise(sim::Cause::ArithmeticOverflow);
                           else c.set_reg(d.rd, rs(c, d) + rt(c, d));
                         }};
  const ImageRun run = run_default_image(fault);
  EXPECT_EQ(run.result.stop, sim::StopReason::ExceptionLoop);
  ASSERT_TRUE(run.result.exception.has_value());
  EXPECT_EQ(run.result.exception->cause, sim::Cause::ArithmeticOverflow);
  EXPECT_TRUE(in_routine(run.result.exception->pc, 21));
  std::set<int> earlier;
  for (int n : unfaulted_failures())
    if (n < 21) earlier.insert(n);
  EXPECT_EQ(run.display_words, first_display_words(earlier, 20));
}

// No case of the image overflows, so an add or sub that never traps cannot
// be told from a correct one; this pins that down.
TEST(AluFaults, AddAndSubThatNeverTrapAreNotNoticed) {
  for (const Op op : {Op::add, Op::sub}) {
    const auto wrap = register_fault(op, [op](uint32_t a, uint32_t b) { return op == Op::add ? a + b : a - b; });
    EXPECT_EQ(run_default_image(wrap).failed, unfaulted_failures());
  }
}

// The plain forms of the addiu and ori faults break the constant loads
// everywhere: the run never shows the routine's own result.
TEST(AluFaults, PlainAddiuAndOriFaultsBreakTheWholeRun) {
  const auto addiu = immediate_fault(Op::addiu, [](uint32_t x, uint16_t f) { return x + f; });
  const auto ori = immediate_fault(Op::ori, [](uint32_t x, uint16_t f) { return x | sign_extended(f); });
  for (const auto& [fault, routine] : {std::pair{addiu, 3}, std::pair{ori, 29}}) {
    const ImageRun run = run_default_image(fault);
    EXPECT_FALSE(run.passed());
    EXPECT_LT(run.display_words.size(), static_cast<size_t>(routine));
  }
}

}  // namespace
}  // namespace r3k::test
