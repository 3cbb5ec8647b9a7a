// A processor with a broken sll: the frame forms every display word's test
// number with sll, so the words themselves read wrong; the pass counts still
// show that n11_sll_test alone failed. The other shift faults are in the
// fault catalog (tests/faults).
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

void expect_fail_lamps(const test::ImageRun& run) {
  EXPECT_TRUE(run.finished());
  EXPECT_EQ(run.result.board.status_lamp_a, board::kLampFail);
  EXPECT_EQ(run.result.board.status_lamp_b, board::kLampFail);
  EXPECT_EQ(run.result.board.lamp_bank, 0u);
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

}  // namespace
}  // namespace r3k
