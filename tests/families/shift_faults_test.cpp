// A processor with one broken shift instruction: the routine of that
// instruction fails, and the display words and lamps say so.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <vector>

#include "board/layout.h"
#include "sim/semantics.h"
#include "support/image_run.h"
#include "board/board.h"

namespace r3k {
namespace {

using isa::Op;
using sim::Cpu;
using sim::Decoded;

sim::Fault replace(Op op, sim::Semantics semantics) { return {op, std::move(semantics), sim::PipelineEffect::none}; }

uint32_t arithmetic_right(uint32_t word, unsigned amount) { return uint32_t(int32_t(word) >> amount); }

void expect_fail_lamps(const test::ImageRun& run) {
  EXPECT_TRUE(run.finished());
  EXPECT_EQ(run.result.board.status_lamp_a, board::kLampFail);
  EXPECT_EQ(run.result.board.status_lamp_b, board::kLampFail);
  EXPECT_EQ(run.result.board.lamp_bank, 0u);
}

struct ShiftFault {
  const char* name;
  int routine;
  sim::Fault fault;
};

// Faults in instructions that only their own routine uses.
std::vector<ShiftFault> own_routine_faults() {
  return {
      {"sra fills with zeros", 33,
       replace(Op::sra, [](Cpu& c, const Decoded& d) { c.set_reg(d.rd, c.reg(d.rt) >> d.sa()); })},
      {"srav ignores bit 4 of the amount", 34,
       replace(Op::srav, [](Cpu& c, const Decoded& d) { c.set_reg(d.rd, arithmetic_right(c.reg(d.rt), c.reg(d.rs) & 15)); })},
      {"srl fills with copies of bit 31", 35,
       replace(Op::srl, [](Cpu& c, const Decoded& d) { c.set_reg(d.rd, arithmetic_right(c.reg(d.rt), d.sa())); })},
      {"sllv takes the amount from rt and the word from rs", 32,
       replace(Op::sllv, [](Cpu& c, const Decoded& d) { c.set_reg(d.rd, c.reg(d.rs) << (c.reg(d.rt) & 31)); })},
      {"srlv fills with copies of bit 31", 36,
       replace(Op::srlv, [](Cpu& c, const Decoded& d) { c.set_reg(d.rd, arithmetic_right(c.reg(d.rt), c.reg(d.rs) & 31)); })},
  };
}

TEST(ShiftFaults, EachBrokenShiftFailsItsOwnRoutineOnly) {
  for (const ShiftFault& f : own_routine_faults()) {
    SCOPED_TRACE(f.name);
    const test::ImageRun run = test::run_default_image(f.fault);
    EXPECT_EQ(run.failed, std::set<int>{f.routine});
    EXPECT_EQ(run.display_words, test::expected_display_words({f.routine}));
    expect_fail_lamps(run);
  }
}

// The frame forms every display word with `sll $t1, $s0, 24`, so a broken
// sll also garbles the test number of every routine; the pass counts in bits
// 23..0 still show that n11_sll_test alone failed.
void expect_only_sll_routine_fails(const test::ImageRun& run, const std::function<uint32_t(uint32_t)>& number_field) {
  std::vector<uint32_t> expected;
  for (const uint32_t word : test::expected_display_words({11})) {
    const uint32_t number = word >> 24, passes = word & 0xFFFFFF;
    expected.push_back(number_field(number) | passes);
  }
  EXPECT_EQ(run.display_words, expected);
  expect_fail_lamps(run);
}

TEST(ShiftFaults, SllByOneTooManyFailsTheSllRoutine) {
  const test::ImageRun run = test::run_default_image(replace(Op::sll, [](Cpu& c, const Decoded& d) {
    c.set_reg(d.rd, d.sa() == 31 ? 0 : c.reg(d.rt) << (d.sa() + 1));
  }));
  expect_only_sll_routine_fails(run, [](uint32_t number) { return number << 25; });
}

TEST(ShiftFaults, SllShiftingRightFromSixteenOnFailsTheSllRoutine) {
  const test::ImageRun run = test::run_default_image(replace(Op::sll, [](Cpu& c, const Decoded& d) {
    c.set_reg(d.rd, d.sa() >= 16 ? c.reg(d.rt) >> d.sa() : c.reg(d.rt) << d.sa());
  }));
  expect_only_sll_routine_fails(run, [](uint32_t) { return 0u; });
}

// Every amount register of the image holds 0 to 31, so an srav that reads
// the whole register behaves exactly like a correct one here: the image
// cannot tell them apart, by design of its cases.
TEST(ShiftFaults, SravReadingAllOfTheAmountRegisterGoesUnnoticed) {
  const test::ImageRun run = test::run_default_image(replace(Op::srav, [](Cpu& c, const Decoded& d) {
    const uint32_t amount = c.reg(d.rs), word = c.reg(d.rt);
    c.set_reg(d.rd, amount > 31 ? arithmetic_right(word, 31) : arithmetic_right(word, amount));
  }));
  EXPECT_TRUE(run.passed());
}

}  // namespace
}  // namespace r3k
