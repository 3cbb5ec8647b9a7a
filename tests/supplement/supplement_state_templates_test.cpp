// The supplement's HI/LO moves and load chains against templates written
// out by hand: a move writes only its own register, mfhi right after a
// multiply or divide reads the new HI, a divide without a defined result
// does not trap, and each load of a chain takes its base from the one before.
#include <gtest/gtest.h>

#include <map>
#include <set>
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

std::string signed_offset(int16_t offset) {
  return offset < 0 ? "-" + test::hex_text(uint32_t(-offset)) : test::hex_text(uint32_t(offset));
}

// HI after a multiply (the upper word of the 64-bit product) or a divide
// (the remainder), by 64-bit arithmetic.
uint32_t hi_after(Op op, uint32_t x, uint32_t y) {
  switch (op) {
    case Op::mult: return uint32_t(uint64_t(int64_t(int32_t(x)) * int64_t(int32_t(y))) >> 32);
    case Op::multu: return uint32_t((uint64_t(x) * y) >> 32);
    case Op::div: return uint32_t(int32_t(int64_t(int32_t(x)) % int64_t(int32_t(y))));
    default: return uint32_t(uint64_t(x) % uint64_t(y));
  }
}

struct HiloCase {
  int group;
  Op op;  // the multiply or divide of groups 3 and 4
  CaseRecord record;
};

// Sixteen moves (mthi, mtlo, alternating), mfhi after each of the four
// multiplies and divides, then three divides without a defined result.
std::vector<HiloCase> hilo_cases(const Image& image) {
  const std::vector<CaseRecord> records = test::records_of(image, 7);
  const Op ops[] = {Op::mult, Op::multu, Op::div, Op::divu, Op::div, Op::div, Op::divu};
  std::vector<HiloCase> cases;
  for (size_t i = 0; i < records.size(); ++i) {
    const int group = i < 16 ? 1 + int(i % 2) : i < 20 ? 3 : 4;
    cases.push_back({group, i < 16 ? Op::mthi : ops[i - 16], records[i]});
  }
  return cases;
}

Listing hilo_template(const HiloCase& c, uint32_t inst_error) {
  Listing l;
  l.outside("inst_error", inst_error);
  auto value = [&](const char* name) { return test::value_named(c.record, name); };
  if (c.group <= 2) {
    const bool to_hi = c.group == 1;
    test::load_block(l, {constant(t0, value("HI")), constant(t1, value("LO")), constant(t2, value("moved"))});
    l.line("mthi $t0").line("mtlo $t1").nop().nop();
    l.line(to_hi ? "mthi $t2" : "mtlo $t2").line(to_hi ? "mflo $t3" : "mfhi $t3").line(to_hi ? "mfhi $t4" : "mflo $t4");
    test::read_gap(l);
    test::fail_unless_equal(l, "$t3", to_hi ? "$t1" : "$t0");
    test::fail_unless_equal(l, "$t4", "$t2");
  } else if (c.group == 3) {
    const uint32_t x = value("X"), y = value("Y");
    test::load_block(l, {constant(t0, x), constant(t1, y), constant(t2, hi_after(c.op, x, y))});
    l.line("mthi $zero").nop().nop();
    test::read_gap(l.line(mnemonic(c.op) + " $t0, $t1").line("mfhi $t3"));
    test::fail_unless_equal(l, "$t3", "$t2");
  } else {
    test::load_block(l, {constant(t0, value("X")), constant(t1, value("Y")), constant(t5, value("HI")),
                         constant(t6, value("LO"))});
    l.line(mnemonic(c.op) + " $t0, $t1").line("mflo $t3").line("mfhi $t4");
    l.line("mthi $t5").line("mtlo $t6").nop().nop();
    test::read_gap(l.line("mfhi $t3").line("mflo $t4"));
    test::fail_unless_equal(l, "$t3", "$t5");
    test::fail_unless_equal(l, "$t4", "$t6");
  }
  return l;
}

TEST(SupplementStateCases, HiLoMovesFollowTheirTemplate) {
  for (uint32_t seed : {kDefaultSeed, 2u}) {
    const Image image = supplement::build(seed);
    const std::vector<HiloCase> cases = hilo_cases(image);
    ASSERT_EQ(cases.size(), 23u);
    for (const HiloCase& c : cases) {
      SCOPED_TRACE("case " + std::to_string(c.record.number));
      EXPECT_EQ(c.record.group, c.group);
      auto value = [&](const char* name) { return test::value_named(c.record, name); };
      if (c.group <= 2) {  // three distinct non-zero words, so a move to the wrong register shows
        const std::set<uint32_t> words = {value("HI"), value("LO"), value("moved"), 0};
        EXPECT_EQ(words.size(), 4u);
      } else if (c.group == 3) {  // HI is 0 before, so the new HI must not be
        EXPECT_EQ(c.record.group_name, "mfhi right after " + mnemonic(c.op));
        EXPECT_EQ(value("HI"), hi_after(c.op, value("X"), value("Y")));
        EXPECT_NE(value("HI"), 0u);
      } else {
        const bool by_zero = value("Y") == 0;
        const bool overflows = c.op == Op::div && value("X") == 0x80000000 && value("Y") == 0xFFFFFFFF;
        EXPECT_TRUE(by_zero || overflows);
        EXPECT_NE(value("HI"), value("LO"));
      }
    }
    test::expect_cases_follow(image, "n7_hilo_move_test", cases, hilo_template);
  }
}

// The chain's words stored, the base and the stale values loaded, the six
// loads each with a nop after it, then every loaded register compared.
Listing load_chain_template(const supplement::LoadChain& chain, uint32_t inst_error) {
  const isa::Reg loaded[] = {t1, t2, t3, t4, t5, t6};
  Listing l;
  l.outside("inst_error", inst_error);
  for (size_t k = 0; k < chain.words.size(); ++k) {
    test::load_block(l, {constant(a0, chain.words[k]), constant(a1, chain.values[k])});
    l.line("sw $a1, 0x0($a0)");
  }
  std::vector<test::BlockLoad> setup = {constant(t0, chain.words[0] - uint32_t(chain.offsets[0]))};
  for (isa::Reg reg : loaded) setup.push_back(constant(reg, chain.stale));
  test::load_block(l, setup);
  std::string base = "$t0";
  for (size_t k = 0; k < 6; ++k) {
    const std::string reg(isa::reg_name(loaded[k]));
    l.line("lw " + reg + ", " + signed_offset(chain.offsets[k]) + "(" + base + ")").nop();
    base = reg;
  }
  for (size_t k = 0; k < 6; ++k) {
    test::load_block(l, {constant(a2, chain.values[k])});
    test::fail_unless_equal(l, isa::reg_name(loaded[k]), "$a2");
  }
  return l;
}

// Each chain, followed through a memory of its stored words: every load
// finds a stored word at the address its base and offset give, and reads
// what the case expects of it.
TEST(SupplementStateCases, LoadChainsFollowTheirTemplate) {
  for (uint32_t seed : {kDefaultSeed, 2u}) {
    const Image image = supplement::build(seed);
    Random random(seed, 10);
    const std::vector<supplement::LoadChain> chains = supplement::draw_load_chains(10, random);
    ASSERT_EQ(chains.size(), 8u);
    std::set<uint32_t> used;
    for (const supplement::LoadChain& chain : chains) {
      ASSERT_EQ(chain.words.size(), 6u);
      ASSERT_EQ(chain.values.size(), 6u);
      std::map<uint32_t, uint32_t> memory;
      for (size_t k = 0; k < chain.words.size(); ++k) {
        const uint32_t word = chain.words[k];
        EXPECT_TRUE(word % 4 == 0 && word >= 0x80000000u && word < 0x80040000u) << std::hex << word;
        EXPECT_TRUE(used.insert(word).second) << "word used twice: " << std::hex << word;
        EXPECT_NE(word, chain.stale);
        memory[word] = chain.values[k];
      }
      uint32_t base = chain.words[0] - uint32_t(chain.offsets[0]);
      for (size_t k = 0; k < chain.words.size(); ++k) {
        const uint32_t at = base + uint32_t(int32_t(chain.offsets[k]));
        ASSERT_EQ(memory.count(at), 1u) << "load " << k + 1 << " reads no stored word";
        EXPECT_EQ(memory[at], chain.values[k]);
        base = memory[at];
      }
      EXPECT_NE(chain.values.back(), 0u);
    }
    test::expect_cases_follow(image, "n10_load_chain_test", chains, load_chain_template);
  }
}

}  // namespace
}  // namespace r3k
