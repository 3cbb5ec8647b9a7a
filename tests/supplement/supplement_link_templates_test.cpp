// The supplement's links and self-updating delay slots against templates
// written out by hand: jal's link, jalr's into another register, the
// branch-and-link's when taken and when not, and a slot that adds to its own
// register under every branch and jump.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "families/case_listing.h"
#include "supplement/draws.h"
#include "supplement/supplement.h"
#include "supplement/supplement_listing.h"
#include "support/image_run.h"

namespace r3k {
namespace {

using isa::Op;
using test::constant;
using test::Listing;
using test::mnemonic;
using enum isa::Reg;

// jal T ; nop ; L: b inst_error ; nop ; T: the read gap, the link copied, $ra
// put back, the read gap, and the link compared with L's address.
TEST(SupplementLinkCases, JalLinksFollowTheirTemplate) {
  const Image& image = test::supplement_image();
  const std::vector<int> sixteen(16);
  test::expect_cases_follow(image, "n1_jal_link_test", sixteen, [](int, uint32_t inst_error) {
    Listing l;
    l.outside("inst_error", inst_error);
    test::load_block(l, {test::address(t1, "after slot")});
    l.line("addu $s7, $zero, $ra").line("jal @target").nop();
    l.label("after slot").line("beq $zero, $zero, @inst_error").nop();
    test::read_gap(l.label("target")).line("addu $t0, $ra, $zero");
    test::read_gap(l.line("addu $ra, $zero, $s7"));
    test::fail_unless_equal(l, "$t0", "$t1");
    return l;
  });
}

// jalr rd, $t9 into every register a case may name but $31, $t8 (the
// expected link), $t9 (the target), $s7 (the saved $ra) and the frame's:
// rd gets the link, $31 keeps the value it had.
TEST(SupplementLinkCases, JalrLinksIntoOtherRegistersFollowTheirTemplate) {
  const Image& image = test::supplement_image();
  const std::vector<isa::Reg> links = {at, v0, v1, a0, a1, a2, a3, t0, t1, t2, t3, t4, t5, t6, t7, s4, s5};
  test::expect_cases_follow(image, "n2_jalr_link_test", links, [](isa::Reg link, uint32_t inst_error) {
    const std::string rd(isa::reg_name(link));
    Listing l;
    l.outside("inst_error", inst_error);
    test::load_block(l, {test::address(t9, "target"), test::address(t8, "after slot")});
    l.line("addu $s7, $zero, $ra").line("jalr " + rd + ", $t9").nop();
    l.label("after slot").line("beq $zero, $zero, @inst_error").nop();
    test::read_gap(l.label("target")).line("addu $t9, $ra, $zero").line("addu $ra, $zero, $s7");
    test::fail_unless_equal(l, rd, "$t8");
    test::fail_unless_equal(l, "$t9", "$s7");
    return l;
  });
}

// bltzal and bgezal over the edges of the sign and six random words: the
// link is the address after the slot either way, and $t2 says which path ran.
TEST(SupplementLinkCases, BranchAndLinkAddressesFollowTheirTemplate) {
  for (uint32_t seed : {kDefaultSeed, 2u}) {
    const Image image = supplement::build(seed);
    struct Drawn {
      Op op;
      uint32_t x;
    };
    std::vector<Drawn> drawn;
    for (const CaseRecord& record : test::records_of(image, 3))
      drawn.push_back({record.note.starts_with("bltzal") ? Op::bltzal : Op::bgezal, test::value_named(record, "X")});
    ASSERT_EQ(drawn.size(), 26u);
    for (Op op : {Op::bltzal, Op::bgezal})
      for (uint32_t edge : {0u, 1u, 0xFFFFFFFFu, 0x7FFFFFFFu, 0x80000000u, 0x8000u, 0xFFFF8000u})
        EXPECT_TRUE(std::any_of(drawn.begin(), drawn.end(), [&](const Drawn& d) { return d.op == op && d.x == edge; }))
            << mnemonic(op) << " " << std::hex << edge;
    test::expect_cases_follow(image, "n3_branch_link_address_test", drawn, [](const Drawn& d, uint32_t inst_error) {
      const bool negative = d.x >= 0x80000000u;
      const bool taken = d.op == Op::bltzal ? negative : !negative;
      Listing l;
      l.outside("inst_error", inst_error);
      test::load_block(l, {constant(t0, d.x), test::address(t8, "after slot"), constant(t3, taken)});
      l.line("addu $s7, $zero, $ra").line(mnemonic(d.op) + " $t0, @taken").nop();
      test::read_gap(l.label("after slot")).line("addu $t1, $ra, $zero");
      l.line("beq $zero, $zero, @compare").line("addiu $t2, $zero, 0x0");
      test::read_gap(l.label("taken")).line("addu $t1, $ra, $zero").line("addiu $t2, $zero, 0x1");
      test::read_gap(l.label("compare").line("addu $ra, $zero, $s7"));
      test::fail_unless_equal(l, "$t1", "$t8");
      test::fail_unless_equal(l, "$t2", "$t3");
      return l;
    });
  }
}

// Whether `op` over `operand` in $t4 (beq $t4, $t4 and bne $t4, $zero for
// the two-register branches) transfers: by the sign and zero tests alone.
bool transfers(Op op, uint32_t operand) {
  const auto x = static_cast<int32_t>(operand);
  switch (op) {
    case Op::bne: return x != 0;
    case Op::blez: return x <= 0;
    case Op::bgtz: return x > 0;
    case Op::bltz: case Op::bltzal: return x < 0;
    case Op::bgez: case Op::bgezal: return x >= 0;
    default: return true;  // beq $t4, $t4 and the jumps
  }
}

std::string transfer_text(Op op) {
  switch (op) {
    case Op::beq: return "beq $t4, $t4, @target";
    case Op::bne: return "bne $t4, $zero, @target";
    case Op::j: return "j @target";
    case Op::jal: return "jal @target";
    case Op::jr: return "jr $t9";
    case Op::jalr: return "jalr $t8, $t9";
    default: return mnemonic(op) + " $t4, @target";
  }
}

// Two cases per branch and jump: the transfer is taken, its slot is
// addiu $t0, $t0, 1, and $t0 must come out one more than it went in.
TEST(SupplementLinkCases, SlotsThatUpdateTheirOwnRegisterFollowTheirTemplate) {
  for (uint32_t seed : {kDefaultSeed, 2u}) {
    const Image image = supplement::build(seed);
    const std::vector<Op> ops = {Op::beq,    Op::bne,    Op::blez, Op::bgtz, Op::bltz, Op::bgez,
                                 Op::bltzal, Op::bgezal, Op::j,    Op::jal,  Op::jr,   Op::jalr};
    ASSERT_EQ(supplement::slot_ops(), ops);
    const std::vector<CaseRecord> records = test::records_of(image, 9);
    ASSERT_EQ(records.size(), 2 * ops.size());
    struct Drawn {
      Op op;
      uint32_t start, operand;
    };
    std::vector<Drawn> drawn;
    for (size_t i = 0; i < records.size(); ++i) {
      const Drawn d{ops[i / 2], test::value_named(records[i], "start"), test::value_named(records[i], "operand")};
      EXPECT_TRUE(transfers(d.op, d.operand)) << mnemonic(d.op) << " " << std::hex << d.operand;
      EXPECT_NE(d.start, 0xFFFFFFFFu);  // start + 1 does not wrap round
      drawn.push_back(d);
    }
    test::expect_cases_follow(image, "n9_slot_self_update_test", drawn, [](const Drawn& d, uint32_t inst_error) {
      Listing l;
      l.outside("inst_error", inst_error);
      test::load_block(l, {constant(t0, d.start), constant(t1, d.start + 1), constant(t4, d.operand),
                           test::address(t9, "target")});
      l.line("addu $s7, $zero, $ra").nop().line(transfer_text(d.op)).line("addiu $t0, $t0, 0x1");
      l.line("addu $ra, $zero, $s7").line("beq $zero, $zero, @inst_error").nop();
      test::read_gap(l.label("target").line("addu $ra, $zero, $s7"));
      test::fail_unless_equal(l, "$t0", "$t1");
      return l;
    });
  }
}

}  // namespace
}  // namespace r3k
