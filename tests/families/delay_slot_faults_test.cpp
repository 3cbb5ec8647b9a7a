// Broken delay slots on the reference simulator: which routines notice, and
// that a linking routine that goes wrong still returns to the driver.
#include <gtest/gtest.h>

#include <set>

#include "families/case_listing.h"
#include "families/delay_slot_text.h"
#include "image/build.h"
#include "sim/report.h"
#include "sim/semantics.h"
#include "support/image_run.h"

namespace r3k {
namespace {

using isa::Op;
using sim::Cpu;
using sim::Decoded;
using sim::Fault;
using sim::PipelineEffect;

Fault disturb(Op op, PipelineEffect effect) { return {op, {}, effect}; }

// The run went on to the end, every routine reported in order, and exactly
// `failing` failed.
void expect_exactly(const test::ImageRun& run, const std::set<int>& failing) {
  ASSERT_TRUE(run.finished()) << "stopped at " << std::hex << run.result.pc;
  EXPECT_FALSE(run.result.exception.has_value());
  EXPECT_EQ(run.failed, failing);
  EXPECT_EQ(run.display_words, test::expected_display_words(failing));
  EXPECT_EQ(sim::verdict_of(run.result), sim::Verdict::Fail);
}

int number_of(Op op) {
  for (const test::DelaySlotRoutine& row : test::delay_slot_routines())
    if (row.op == op) return row.number;
  return 0;
}

// Every other delay slot of the image (the driver's calls and returns, the
// frames, the other families) holds a nop, so skipping a slot anywhere
// fails the delay-slot routine of that branch or jump alone.
TEST(DelaySlotFaults, SkippedSlotFailsExactlyItsRoutine) {
  for (const Op op : {Op::beq, Op::bne, Op::bgez, Op::bgtz, Op::blez, Op::bltz, Op::bltzal, Op::bgezal})
    for (const PipelineEffect effect : {PipelineEffect::skip_slot_when_taken, PipelineEffect::skip_slot_when_not_taken}) {
      SCOPED_TRACE(std::string(isa::info(op).mnemonic) +
                   (effect == PipelineEffect::skip_slot_when_taken ? " taken" : " not taken"));
      expect_exactly(test::run_default_image(disturb(op, effect)), {number_of(op)});
    }
  for (const Op op : {Op::j, Op::jal, Op::jr, Op::jalr}) {
    SCOPED_TRACE(isa::info(op).mnemonic);
    expect_exactly(test::run_default_image(disturb(op, PipelineEffect::skip_slot_always)), {number_of(op)});
  }
}

// A load whose register changes one instruction late. j and jr compare the
// slot's load at the target right away. The branch routines compare it one
// instruction later (the reference comes between), and there the delayed
// reference and taken-path registers still hold case 2's and case 3's word,
// which is the word loaded; in jal and jalr the restore of $ra comes between.
// The pause reads QUICK_RUN_FLAG right after its load too, and only pauses
// longer for it.
TEST(DelaySlotFaults, LateLoadFailsTheJumpAndJumpRegisterRoutines) {
  expect_exactly(test::run_default_image(disturb(Op::lw, PipelineEffect::delayed_load)), {18, 20});
}

// Multiply and divide whose LO reaches mflo only `latency` instructions
// later: an mflo that early reads LO as it was before.
struct LateLo {
  int latency;
  int since_multiply = 1 << 20;
  uint32_t lo_before = 0, lo_previous = 0;
  void on_instruction(const Cpu& cpu, const Decoded& d) {
    const Op op = d.op();
    ++since_multiply;
    if (op == Op::mult || op == Op::multu || op == Op::div || op == Op::divu) since_multiply = 0, lo_before = lo_previous;
    lo_previous = cpu.lo;
  }
};

test::ImageRun run_watched(const Fault& fault, LateLo& watch) {
  return test::run_image_observed(test::default_image(), fault, watch);
}

test::ImageRun run_with_late_lo(int latency) {
  LateLo watch{latency};
  const Fault fault{Op::mflo, [&watch](Cpu& c, const Decoded& d) {
                      // The observer counts this mflo after it ran: one instruction after the multiply is 0 here.
                      c.set_reg(d.rd, watch.since_multiply < watch.latency ? watch.lo_before : c.lo);
                    },
                    PipelineEffect::none};
  return run_watched(fault, watch);
}

// With LO one instruction late, the branch routines see it at their
// not-taken path, whose mflo stands right after the slot; n58's mflo at the
// target comes after the restore of $ra, and there it is the reference's
// mflo, right after the reference multiply, that reads stale. The multiply
// and HI/LO families read LO right after the multiply as well.
TEST(DelaySlotFaults, LateLoFailsTheMultiplyAndDivideCases) {
  for (const int latency : {1, 2}) {
    SCOPED_TRACE("latency " + std::to_string(latency));
    const test::ImageRun run = run_with_late_lo(latency);
    ASSERT_TRUE(run.finished());
    EXPECT_EQ(run.display_words, test::expected_display_words(run.failed));
    for (const int number : {52, 53, 54, 55, 56, 57, 58}) EXPECT_TRUE(run.failed.count(number)) << number;
    std::string failed;
    for (const int number : run.failed) failed += " " + std::to_string(number);
    RecordProperty("failed_latency_" + std::to_string(latency), failed);
  }
}

// Linking branches and jumps that link and then do not transfer: the case
// leaves through its wrong-path exit with the link in $ra, restores it in
// the exit's delay slot, and the run goes on with the next routine.
TEST(DelaySlotFaults, LinkThenNoTransferStillReturnsToTheDriver) {
  const auto link_only = [](Cpu& c, const Decoded&) { c.set_reg(isa::ra, c.link_address()); };
  const auto link_and_always_branch = [](Cpu& c, const Decoded& d) {
    c.set_reg(isa::ra, c.link_address());
    c.branch(d.target);
  };
  const RoutineInfo& n19 = test::routine_named(test::default_image(), "n19_jal_ds_test");
  // The driver calls every routine with jal: only n19's jals go wrong.
  const auto jal_in_n19 = [&n19, link_only](Cpu& c, const Decoded& d) {
    if (c.pc > n19.address && c.pc < n19.inst_error) link_only(c, d);
    else sim::execute_normal(c, d);
  };
  const struct {
    const char* name;
    Fault fault;
    std::set<int> failing;
  } faults[] = {
      {"bltzal never branches", {Op::bltzal, link_only, PipelineEffect::none}, {41, 56}},
      {"bgezal never branches", {Op::bgezal, link_only, PipelineEffect::none}, {42, 57}},
      {"bltzal always branches", {Op::bltzal, link_and_always_branch, PipelineEffect::none}, {41, 56}},
      {"bgezal always branches", {Op::bgezal, link_and_always_branch, PipelineEffect::none}, {42, 57}},
      {"jal in n19 does not jump", {Op::jal, jal_in_n19, PipelineEffect::none}, {19}},
      {"jalr does not jump", {Op::jalr, link_only, PipelineEffect::none}, {43, 58}},
  };
  for (const auto& f : faults) {
    SCOPED_TRACE(f.name);
    expect_exactly(test::run_default_image(f.fault), f.failing);
  }
}

// The same fault with the restore of the first case's wrong-path exit
// replaced by a nop: the routine's jr $ra goes back to the link, the
// b inst_error of its own first case, and it reports again and again and
// never reaches the next routine. So the faults above do take the
// wrong-path exit, and the restore there is what saves the run.
TEST(DelaySlotFaults, WithoutTheWrongPathRestoreTheRunIsLost) {
  Image image = test::default_image();
  const RoutineInfo& n56 = test::routine_named(image, "n56_bltzal_ds_test");
  const test::EmittedCase first = test::emitted_cases(image, n56).front();
  const std::vector<size_t> exits = first.indices_of(Op::beq);  // b inst_error
  ASSERT_EQ(exits.size(), 1u);
  const size_t slot = (first.address_of(exits[0] + 1) - image.text_base) / 4;
  ASSERT_EQ(isa::disassemble(image.text.at(slot), 0), "addu $ra, $zero, $s7");
  image.text[slot] = 0;
  const Fault never_branches{Op::bltzal, [](Cpu& c, const Decoded&) { c.set_reg(isa::ra, c.link_address()); },
                             PipelineEffect::none};
  const test::ImageRun run = test::run_image(image, never_branches);
  EXPECT_EQ(run.result.stop, sim::StopReason::InstructionLimit);
  // n41 failed before: 54 passes when n56 first reports, then n56 again
  // and again, never n57.
  ASSERT_GT(run.display_words.size(), 57u);
  for (size_t i = 55; i < 58; ++i) EXPECT_EQ(run.display_words[i], 0x38000036u) << i;
}

// A slot executed twice: every instruction of the list writes what it read
// from other registers (or stores the same word, or rewrites HI and LO from
// the same operands), so a second execution changes nothing. No routine can
// tell; the whole image passes.
TEST(DelaySlotFaultsBlindSpots, SlotExecutedTwiceGoesUnnoticed) {
  for (const test::DelaySlotRoutine& row : test::delay_slot_routines()) {
    SCOPED_TRACE(row.name);
    EXPECT_TRUE(test::run_default_image(disturb(row.op, PipelineEffect::slot_twice)).passed());
  }
}

TEST(DelaySlotFaults, ImagePassesWithOtherSeeds) {
  EXPECT_TRUE(test::run_default_image().passed());
  for (const uint32_t seed : {2u, 0xDE1A7u, 0xFFFFFFFFu}) EXPECT_TRUE(test::run_image(build_image(seed)).passed()) << seed;
}

}  // namespace
}  // namespace r3k
