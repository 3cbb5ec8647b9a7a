// Broken branches and jumps on the reference simulator: which of them the
// image notices, and which it cannot.
#include <gtest/gtest.h>

#include <array>
#include <set>

#include "families/branches.h"
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

const RoutineInfo& routine(int number) { return test::default_image().routines.at(number - 1); }

// The routines holding an instruction of this kind: the only ones a fault in
// it can make fail.
std::set<int> routines_using(Op op) {
  const Image& image = test::default_image();
  std::set<int> users;
  for (const RoutineInfo& r : image.routines)
    for (uint32_t address = r.address; address < r.address + r.size; address += 4)
      if (isa::decode(image.word_at(address)) == op) users.insert(r.number);
  return users;
}

void expect_caught(const test::ImageRun& run, Op op, int number) {
  ASSERT_TRUE(run.finished());
  EXPECT_TRUE(run.failed.count(number)) << "routine " << number << " passed";
  const std::set<int> users = routines_using(op);
  for (const int n : run.failed) EXPECT_TRUE(users.count(n)) << "routine " << n << " failed without using the op";
  EXPECT_EQ(run.display_words, test::expected_display_words(run.failed));
  EXPECT_EQ(sim::verdict_of(run.result), sim::Verdict::Fail);
}

Fault replace(Op op, sim::Semantics semantics) { return {op, std::move(semantics), sim::PipelineEffect::none}; }

// The fault inside one routine's cases only. The reset vector and test_end
// leave with j, the driver calls with jal and every routine returns with jr:
// broken there too, these stop or derail the run before the routine under
// test can report.
Fault inside(const RoutineInfo& r, Op op, sim::Semantics faulty) {
  const uint32_t first_case = r.address + 8, exit = r.inst_error - 12;
  return replace(op, [=](Cpu& c, const Decoded& d) {
    if (c.pc >= first_case && c.pc < exit) faulty(c, d);
    else sim::execute_normal(c, d);
  });
}

void branch_if(Cpu& c, const Decoded& d, bool taken) {
  if (taken) c.branch(d.target);
}
int32_t rs_value(const Cpu& c, const Decoded& d) { return static_cast<int32_t>(c.reg(d.rs)); }

TEST(ControlFamilies, ImagePassesWithOtherSeedsToo) {
  EXPECT_TRUE(test::run_default_image().passed());
  for (const uint32_t seed : {1u, 0xC0FFEEu}) EXPECT_TRUE(test::run_image(build_image(seed)).passed()) << seed;
}

TEST(ControlFamilies, WrongConditionsFailTheirRoutine) {
  const struct {
    const char* name;
    Fault fault;
    int routine;
  } faults[] = {
      {"bgez not taken on 0", replace(Op::bgez, [](Cpu& c, const Decoded& d) { branch_if(c, d, rs_value(c, d) > 0); }),
       37},
      {"bgtz taken on 0", replace(Op::bgtz, [](Cpu& c, const Decoded& d) { branch_if(c, d, rs_value(c, d) >= 0); }),
       38},
      {"blez taken on positive values (sign test inverted)",
       replace(Op::blez, [](Cpu& c, const Decoded& d) { branch_if(c, d, rs_value(c, d) >= 0); }), 39},
      {"bltz taken on 0", replace(Op::bltz, [](Cpu& c, const Decoded& d) { branch_if(c, d, rs_value(c, d) <= 0); }),
       40},
  };
  for (const auto& f : faults) {
    SCOPED_TRACE(f.name);
    expect_caught(test::run_default_image(f.fault), f.fault.op, f.routine);
  }
}

TEST(ControlFamilies, MissingOrWrongLinksFailTheirRoutine) {
  const auto link_only_when_taken = [](bool negative_taken) {
    return [negative_taken](Cpu& c, const Decoded& d) {
      if ((rs_value(c, d) < 0) != negative_taken) return;
      c.set_reg(isa::ra, c.link_address());
      c.branch(d.target);
    };
  };
  const struct {
    const char* name;
    Fault fault;
    int routine;
  } faults[] = {
      {"bltzal links only when taken", replace(Op::bltzal, link_only_when_taken(true)), 41},
      {"bgezal links only when taken", replace(Op::bgezal, link_only_when_taken(false)), 42},
      {"jalr links its own address + 4", replace(Op::jalr, [](Cpu& c, const Decoded& d) {
         sim::execute_normal(c, d);
         c.set_reg(d.rd, c.pc + 4);
       }), 43},
      {"jalr writes its link into the target register", replace(Op::jalr, [](Cpu& c, const Decoded& d) {
         const uint32_t target = c.reg(d.rs);
         c.set_reg(d.rs, c.link_address());
         c.branch(target);
       }), 43},
      // The link taken from the fetch address after the jump: its target.
      {"jal links its target", inside(routine(14), Op::jal, [](Cpu& c, const Decoded& d) {
         c.set_reg(isa::ra, d.target);
         c.branch(d.target);
       }), 14},
  };
  for (const auto& f : faults) {
    SCOPED_TRACE(f.name);
    expect_caught(test::run_default_image(f.fault), f.fault.op, f.routine);
  }
}

TEST(ControlFamilies, JumpsThatDoNotTransferFailTheirRoutine) {
  const auto stay = [](Cpu&, const Decoded&) {};
  for (const auto& [op, number] : {std::pair{Op::j, 13}, {Op::jr, 15}, {Op::jal, 14}, {Op::jalr, 43}}) {
    SCOPED_TRACE(isa::info(op).mnemonic);
    expect_caught(test::run_default_image(inside(routine(number), op, stay)), op, number);
  }
}

// Which register the instruction just run changed, and what it held before.
struct LastWrite {
  std::array<uint32_t, 32> before{};
  unsigned reg = 32;  // 32: none
  uint32_t old_value = 0;
  void on_instruction(const Cpu& cpu, const Decoded&) {
    reg = 32;
    for (unsigned r = 1; r < 32; ++r)
      if (cpu.regs[r] != before[r]) reg = r, old_value = before[r];
    before = cpu.regs;
  }
};

test::ImageRun run_watched(const Fault& fault, LastWrite& watch) {
  return test::run_image_observed(test::default_image(), fault, watch);
}

// A compare branch whose second operand misses the result of the
// instruction right before it (no forwarding on that read port). The branch
// under test of beq and bne reads $t1 straight after its load.
TEST(ControlFamilies, StaleSecondOperandFailsBeqAndBne) {
  for (const auto& [tested, number] : {std::pair{Op::beq, 4}, {Op::bne, 5}}) {
    const Op op = tested;  // clang 14 cannot capture a structured binding in a lambda
    SCOPED_TRACE(isa::info(op).mnemonic);
    LastWrite watch;
    const Fault fault = replace(op, [&watch, op](Cpu& c, const Decoded& d) {
      const uint32_t rt = watch.reg == d.rt ? watch.old_value : c.reg(d.rt);
      branch_if(c, d, (c.reg(d.rs) == rt) == (op == Op::beq));
    });
    expect_caught(run_watched(fault, watch), op, number);
  }
}

// Faults of the kind the image cannot see. Each run passes all 68.

// The unequal pairs are independent words, and none of the image shares its
// low half with its partner; every case with one zero operand has a non-zero
// low half on the other side.
TEST(ControlFamiliesBlindSpots, CompareOnlyTheLow16BitsGoesUnnoticed) {
  for (const auto& [tested, number] : {std::pair{Op::beq, 4}, {Op::bne, 5}}) {
    const Op op = tested;  // clang 14 cannot capture a structured binding in a lambda
    SCOPED_TRACE(isa::info(op).mnemonic);
    Random random(kDefaultSeed, number);
    for (const branches::Case& c : branches::draw_cases(op, random))
      EXPECT_EQ(uint16_t(c.x) == uint16_t(c.y), c.x == c.y) << std::hex << c.x << " " << c.y;
    const Fault fault = replace(op, [op](Cpu& c, const Decoded& d) {
      branch_if(c, d, (uint16_t(c.reg(d.rs)) == uint16_t(c.reg(d.rt))) == (op == Op::beq));
    });
    EXPECT_TRUE(test::run_default_image(fault).passed());
  }
}

// Nearly every check of the image is a bne to inst_error: a bne that never
// branches silences them all. Only the bne delay-slot routine sees it, whose
// taken bne falls into the b inst_error that guards its wrong path.
TEST(ControlFamiliesBlindSpots, BneThatNeverBranchesIsSeenOnlyByItsDelaySlotRoutine) {
  const test::ImageRun run = test::run_default_image(replace(Op::bne, [](Cpu&, const Decoded&) {}));
  ASSERT_TRUE(run.finished());
  EXPECT_EQ(run.failed, std::set<int>{17});
  EXPECT_EQ(run.display_words, test::expected_display_words({17}));
}

// n14 compares the distance between two links, not where they lie; and the
// driver's calls return to the nop in their delay slot, which is harmless.
TEST(ControlFamiliesBlindSpots, JalLinkingItsDelaySlotGoesUnnoticed) {
  const Fault fault = replace(Op::jal, [](Cpu& c, const Decoded& d) {
    sim::execute_normal(c, d);
    c.set_reg(isa::ra, c.pc + 4);
  });
  EXPECT_TRUE(test::run_default_image(fault).passed());
}

}  // namespace
}  // namespace r3k
