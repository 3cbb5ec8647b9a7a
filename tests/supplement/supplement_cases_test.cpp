// The supplement's cases against their templates, written out by hand from
// the drawn values: the interleaved constant loads, the instruction under
// test, the settling nop and the compare.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "families/case_listing.h"
#include "supplement/draws.h"
#include "supplement/supplement.h"
#include "supplement/supplement_listing.h"

namespace r3k {
namespace {

using test::Listing;
using isa::Op;

// Set-on-less-than by comparing the operands as 64-bit integers, signed for
// slt and slti, unsigned for sltu and sltiu.
uint32_t set_on_less_than(Op op, uint32_t a, uint32_t b) {
  const bool is_signed = op == Op::slt || op == Op::slti;
  const int64_t x = is_signed ? int64_t(int32_t(a)) : int64_t(a), y = is_signed ? int64_t(int32_t(b)) : int64_t(b);
  return x < y ? 1 : 0;
}

// An immediate as the disassembler writes a signed one.
std::string signed_immediate(uint16_t field) {
  const int value = int16_t(field);
  return value < 0 ? "-" + test::hex_text(uint32_t(-value)) : test::hex_text(uint32_t(value));
}

TEST(SupplementCases, SetOnLessThanAtTheOverflowBoundaryFollowsItsTemplate) {
  for (uint32_t seed : {kDefaultSeed, 2u}) {
    const Image image = supplement::build(seed);
    Random random(seed, 4);
    const auto pairs = supplement::draw_overflow_pairs(random);
    // Every pair's signed difference leaves the 32-bit range, or (three of
    // the twelve fixed pairs, the mirror images of overflowing ones) lands on
    // its lowest value; every random pair overflows.
    ASSERT_EQ(pairs.size(), 24u);
    for (size_t i = 0; i < pairs.size(); ++i) {
      const int64_t difference = int64_t(int32_t(pairs[i].first)) - int64_t(int32_t(pairs[i].second));
      EXPECT_TRUE(difference < INT32_MIN || difference > INT32_MAX || (i < 12 && difference == INT32_MIN))
          << std::hex << pairs[i].first << " " << pairs[i].second;
    }
    struct Drawn {
      isa::Op op;
      uint32_t a, b;
    };
    std::vector<Drawn> drawn;
    for (isa::Op op : {isa::Op::slt, isa::Op::sltu})
      for (const auto& [a, b] : pairs) drawn.push_back({op, a, b});
    test::expect_cases_follow(image, "n4_slt_overflow_test", drawn, [](const Drawn& c, uint32_t inst_error) {
      Listing listing;
      listing.outside("inst_error", inst_error);
      test::load_block(listing, {test::constant(isa::t0, c.a), test::constant(isa::t1, c.b),
                                 test::constant(isa::t2, set_on_less_than(c.op, c.a, c.b))});
      test::read_gap(listing.line(std::string(isa::info(c.op).mnemonic) + " $t3, $t0, $t1"));
      listing.line("bne $t3, $t2, @inst_error").nop();
      return listing;
    });
  }
}

TEST(SupplementCases, VariableShiftAmountsFollowTheirTemplate) {
  const Image image = supplement::build();
  Random random(kDefaultSeed, 8);
  const auto drawn = supplement::draw_shift_amount_cases(random);
  test::expect_cases_follow(image, "n8_shift_amount_bits_test", drawn,
                            [](const supplement::ShiftAmountCase& c, uint32_t inst_error) {
                              Listing listing;
                              listing.outside("inst_error", inst_error);
                              test::load_block(listing, {test::constant(isa::t0, c.word),
                                                         test::constant(isa::t1, c.amount),
                                                         test::constant(isa::t2, c.expected)});
                              test::read_gap(listing.line(std::string(isa::info(c.op).mnemonic) + " $t3, $t0, $t1"));
                              listing.line("bne $t3, $t2, @inst_error").nop();
                              return listing;
                            });
  // Expected values by other arithmetic: 64-bit shifts of the low five bits.
  for (const auto& c : drawn) {
    const unsigned amount = c.amount % 32;
    const uint64_t word = c.word;
    const uint32_t by_64 = c.op == isa::Op::sllv   ? uint32_t(word << amount)
                           : c.op == isa::Op::srlv ? uint32_t(word >> amount)
                                                   : uint32_t(uint64_t(int64_t(int32_t(c.word))) >> amount);
    EXPECT_EQ(c.expected, by_64);
  }
}

// Each immediate against X just below its sign-extended value, equal to it,
// and the two ends of the signed range; the expected bit by 64-bit compares.
TEST(SupplementCases, SetOnLessThanImmediatesFollowTheirTemplate) {
  for (uint32_t seed : {kDefaultSeed, 2u}) {
    const Image image = supplement::build(seed);
    Random random(seed, 5);
    const std::vector<uint16_t> immediates = supplement::draw_range_immediates(random);
    for (uint16_t edge : {0x0000, 0x7FFF, 0x8000, 0xFFFF, 0x4000})
      EXPECT_TRUE(std::find(immediates.begin(), immediates.end(), edge) != immediates.end()) << edge;
    struct Drawn {
      Op op;
      uint32_t x;
      uint16_t field;
    };
    std::vector<Drawn> drawn;
    for (Op op : {Op::slti, Op::sltiu})
      for (uint16_t field : immediates) {
        const uint32_t widened = uint32_t(int32_t(int16_t(field)));
        for (uint32_t x : {widened - 1, widened, 0x7FFFFFFFu, 0x80000000u}) drawn.push_back({op, x, field});
      }
    test::expect_cases_follow(image, "n5_slti_range_test", drawn, [](const Drawn& c, uint32_t inst_error) {
      Listing listing;
      listing.outside("inst_error", inst_error);
      const uint32_t expected = set_on_less_than(c.op, c.x, uint32_t(int32_t(int16_t(c.field))));
      test::load_block(listing, {test::constant(isa::t0, c.x), test::constant(isa::t2, expected)});
      test::read_gap(listing.line(std::string(isa::info(c.op).mnemonic) + " $t3, $t0, " + signed_immediate(c.field)));
      test::fail_unless_equal(listing, "$t3", "$t2");
      return listing;
    });
  }
}

// beq and bne over operands differing in one bit, in one half only, or
// equal: each draw is what its note says, and the case sets $t2 on the
// taken path only.
TEST(SupplementCases, BranchComparesOfHalvesFollowTheirTemplate) {
  for (uint32_t seed : {kDefaultSeed, 2u}) {
    const Image image = supplement::build(seed);
    Random random(seed, 6);
    const std::vector<supplement::HalvesCase> halves = supplement::draw_halves_cases(random);
    int single_bits = 0;
    for (const auto& c : halves) {
      const uint32_t difference = c.x ^ c.y;
      if (c.what.starts_with("differ in bit ")) {
        EXPECT_EQ(difference, 1u << std::stoi(c.what.substr(14))) << c.what;
        ++single_bits;
      } else if (c.what == "equal low halves") {
        EXPECT_TRUE(difference != 0 && (difference & 0xFFFF) == 0) << std::hex << difference;
      } else if (c.what == "equal high halves") {
        EXPECT_TRUE(difference != 0 && (difference >> 16) == 0) << std::hex << difference;
      } else {
        EXPECT_EQ(c.what, "equal");
        EXPECT_EQ(difference, 0u);
      }
    }
    EXPECT_EQ(single_bits, 32);
    struct Drawn {
      Op op;
      supplement::HalvesCase c;
    };
    std::vector<Drawn> drawn;
    for (Op op : {Op::beq, Op::bne})
      for (const auto& c : halves) drawn.push_back({op, c});
    test::expect_cases_follow(image, "n6_branch_compare_halves_test", drawn, [](const Drawn& d, uint32_t inst_error) {
      Listing listing;
      listing.outside("inst_error", inst_error);
      const bool taken = d.op == Op::beq ? d.c.x == d.c.y : d.c.x != d.c.y;
      test::load_block(listing, {test::constant(isa::t0, d.c.x), test::constant(isa::t1, d.c.y),
                                 test::constant(isa::t3, taken)});
      listing.line(std::string(isa::info(d.op).mnemonic) + " $t0, $t1, @taken").nop();
      listing.line("beq $zero, $zero, @compare").line("addiu $t2, $zero, 0x0");
      listing.label("taken").line("addiu $t2, $zero, 0x1").nop();
      test::read_gap(listing.label("compare"));
      test::fail_unless_equal(listing, "$t2", "$t3");
      return listing;
    });
  }
}

}  // namespace
}  // namespace r3k
