// The load-upper-immediate routine: its groups and immediates, the code it
// becomes, and what a broken lui does to it and to the run.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "families/load_upper.h"
#include "report/verdict.h"
#include "support/image_run.h"

namespace r3k {
namespace {

using load_upper::Case;
using isa::Op;
using Lines = std::vector<std::string>;

TEST(LoadUpperValues, TwelveGroupsOfSixteenFromTheirBases) {
  const std::vector<uint16_t> bases = {0x0000, 0x1010, 0x2020, 0x3030, 0x4040, 0x5040,
                                       0x6050, 0x8060, 0xA070, 0xC080, 0xE090, 0xF0A0};
  const std::vector<Case> cases = load_upper::list_cases();
  ASSERT_EQ(cases.size(), 192u);
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(i);
    EXPECT_EQ(c.group, int(i / 16) + 1);
    EXPECT_EQ(c.base, bases[i / 16]);
    EXPECT_EQ(c.offset, int(i % 16));
    EXPECT_EQ(c.immediate, c.base + c.offset);  // never carries past 16 bits
    EXPECT_EQ(c.expected, uint32_t(c.immediate) * 0x10000u);
    // What the routine builds at run time: the base's lui plus k steps of 0x10000.
    EXPECT_EQ(c.expected, uint32_t(c.base) * 0x10000u + uint32_t(c.offset) * 0x10000u);
    EXPECT_EQ(c.expected >> 31, c.group >= 8 ? 1u : 0u);
  }
  EXPECT_EQ(test::default_image().routines.at(0).cases, 192);
}

TEST(LoadUpperValues, TellingRows) {
  EXPECT_EQ(load_upper::result(0), 0u);
  EXPECT_EQ(load_upper::result(0x8060), 0x80600000u);
  EXPECT_EQ(load_upper::result(0x101F), 0x101F0000u);
  EXPECT_EQ(load_upper::result(0xF0AF), 0xF0AF0000u);
  EXPECT_EQ(load_upper::list_cases().back().expected, 0xF0AF0000u);
}

std::string hex_text(uint32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%x", value);
  return buffer;
}

// The whole body, written out from the group table: the step, then per group
// the reset of the running offset and sixteen six-instruction cases.
TEST(LoadUpperImage, BodyFollowsTheTemplate) {
  const Image& image = test::default_image();
  const RoutineInfo& info = image.routines.at(0);
  ASSERT_EQ(info.name, "n1_lui_test");
  const std::string fail = "bne $t0, $a0, " + hex_text(info.inst_error);
  Lines expected = {"lui $t2, 0x1"};
  for (const uint16_t base : load_upper::kBases) {
    expected.push_back("addiu $t1, $zero, 0x0");
    for (uint32_t k = 0; k < 16; ++k)
      for (const std::string& line : {"lui $a0, " + hex_text(base), "lui $t0, " + hex_text(base + k),
                                      std::string("addu $a0, $a0, $t1"), std::string("addu $t1, $t1, $t2"), fail,
                                      std::string("nop")})
        expected.push_back(line);
  }
  Lines emitted;
  for (uint32_t at = info.address + 8; at < info.inst_error - 12; at += 4)
    emitted.push_back(isa::disassemble(image.word_at(at), at));
  EXPECT_EQ(emitted, expected);
  EXPECT_EQ(info.size / 4 - 10, 1 + 12 * (1 + 16 * 6));
}

sim::Fault broken_lui(sim::Semantics semantics) { return {Op::lui, std::move(semantics), sim::PipelineEffect::none}; }
using sim::Cpu;
using sim::Decoded;

// Later routines build constants and RAM addresses with lui as well, so a
// broken lui fails several of them and the run usually ends in the exception
// loop in a memory routine, with the lamps still showing the start pattern.
// The lui routine shows its number with no pass.
void expect_lui_routine_fails(const test::ImageRun& run) {
  ASSERT_FALSE(run.display_words.empty());
  EXPECT_EQ(run.display_words.front(), 0x01000000u);
  EXPECT_NE(report::verdict_of(run.result), report::Verdict::Pass);
}

// The first case finds $a0 = 0xFFFFF008 (left by the start code) and $t0 = 0,
// so the two lui results differ in their kept low halves.
TEST(LoadUpperFaults, LuiKeepingTheOldLowHalfFailsTheLuiRoutine) {
  expect_lui_routine_fails(test::run_default_image(
      broken_lui([](Cpu& c, const Decoded& d) { c.set_reg(d.rt, d.imm | (c.reg(d.rt) & 0xFFFF)); })));
}

// Bits 19..16 are the ones that differ between a group's base and its
// sixteen immediates.
TEST(LoadUpperFaults, LuiLosingImmediateBitZeroFailsTheLuiRoutine) {
  expect_lui_routine_fails(
      test::run_default_image(broken_lui([](Cpu& c, const Decoded& d) { c.set_reg(d.rt, d.imm & ~0x10000u); })));
}

// The expected value is made by the same lui (the base, and the step in $t2)
// plus addu, so a fault that spoils every lui result the same additive way
// spoils the expected value exactly as much: the lui routine passes, and only
// the constant loads of later routines give the fault away.
TEST(LoadUpperFaults, FaultsThatSpoilEveryLuiAlikeCancelOutInTheLuiRoutine) {
  const std::vector<std::pair<const char*, sim::Semantics>> faults = {
      {"fills the low half with copies of bit 15",
       [](Cpu& c, const Decoded& d) { c.set_reg(d.rt, d.imm | (d.imm >> 31 ? 0xFFFF : 0)); }},
      {"writes the immediate into the low half", [](Cpu& c, const Decoded& d) { c.set_reg(d.rt, d.imm >> 16); }},
      {"loses bit 31", [](Cpu& c, const Decoded& d) { c.set_reg(d.rt, d.imm & 0x7FFFFFFF); }},
  };
  for (const auto& [name, semantics] : faults) {
    SCOPED_TRACE(name);
    const test::ImageRun run = test::run_default_image(broken_lui(semantics));
    ASSERT_FALSE(run.display_words.empty());
    EXPECT_EQ(run.display_words.front(), 0x01000001u);
    EXPECT_TRUE(run.failed.count(2));
    EXPECT_NE(report::verdict_of(run.result), report::Verdict::Pass);
  }
}

}  // namespace
}  // namespace r3k
