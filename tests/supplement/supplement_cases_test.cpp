// The supplement's cases against their templates, written out by hand from
// the drawn values: the interleaved constant loads, the instruction under
// test, the settling nop and the compare.
#include <gtest/gtest.h>

#include "families/immediate_alu.h"
#include "families/register_alu.h"
#include "families/case_listing.h"
#include "supplement/draws.h"
#include "supplement/supplement.h"

namespace r3k {
namespace {

using test::Listing;

// The supplement's constant loads: every first instruction, then every
// second one (a nop between a register's two halves when they would touch),
// then a nop.
void interleaved_loads(Listing& listing, const std::vector<std::pair<std::string, uint32_t>>& loads) {
  std::vector<std::string> firsts, seconds;
  std::string last_first, first_second_reg;
  for (const auto& [reg, value] : loads) {
    const std::vector<std::string> text = test::constant_load_text(reg, value);
    firsts.push_back(text[0]);
    last_first = reg;
    if (text.size() == 2) {
      if (seconds.empty()) first_second_reg = reg;
      seconds.push_back(text[1]);
    }
  }
  for (const std::string& line : firsts) listing.line(line);
  if (!seconds.empty() && first_second_reg == last_first) listing.nop();
  for (const std::string& line : seconds) listing.line(line);
  listing.nop();
}

TEST(SupplementCases, SetOnLessThanAtTheOverflowBoundaryFollowsItsTemplate) {
  for (uint32_t seed : {kDefaultSeed, 2u}) {
    const Image image = supplement::build(seed);
    Random random(seed, 4);
    const auto pairs = supplement::draw_overflow_pairs(random);
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
      interleaved_loads(listing, {{"$t0", c.a}, {"$t1", c.b}, {"$t2", register_alu::result(c.op, c.a, c.b)}});
      listing.line(std::string(isa::info(c.op).mnemonic) + " $t3, $t0, $t1").nop();
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
                              interleaved_loads(listing, {{"$t0", c.word}, {"$t1", c.amount}, {"$t2", c.expected}});
                              listing.line(std::string(isa::info(c.op).mnemonic) + " $t3, $t0, $t1").nop();
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

}  // namespace
}  // namespace r3k
