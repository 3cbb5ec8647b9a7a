// The lw and sw routines: their drawn cases and the code written for them.
#include <gtest/gtest.h>

#include "families/memory_test_support.h"
#include "families/word_memory.h"
#include "support/image_run.h"

namespace r3k::test {
namespace {

using isa::Op;
using Lines = std::vector<std::string>;

struct WordRoutineRow {
  Op op;
  const char* name;
  int number;
  int groups[3];
  int long_form_cases;
  int second_neighbour;
};

constexpr WordRoutineRow kRows[] = {{Op::lw, "n6_lw_test", 6, {23, 23, 18}, 16, -8},
                                 {Op::sw, "n12_sw_test", 12, {32, 21, 16}, 21, -4}};

std::vector<memory::MemoryCase> drawn(const WordRoutineRow& row, uint32_t seed = kDefaultSeed) {
  Random random(seed, static_cast<uint32_t>(row.number));
  return word_memory::draw_cases(row.op, random);
}

// The rules hold by construction, so they hold for any seed.
TEST(WordMemoryCases, GroupsBasesAndOffsetsStayInBounds) {
  for (const WordRoutineRow& row : kRows) {
    for (uint32_t seed : {kDefaultSeed, 1u, 0xFFFFFFFFu}) {
      SCOPED_TRACE(testing::Message() << row.number << " seed " << seed);
      const std::vector<memory::MemoryCase> cases = drawn(row, seed);
      int in_group[4] = {}, long_forms = 0, previous_group = 1;
      for (const memory::MemoryCase& c : cases) {
        ASSERT_GE(c.group, previous_group);  // groups in order, never interleaved
        previous_group = c.group;
        ++in_group[c.group];
        long_forms += c.offset >= 0x8000;
        EXPECT_EQ(c.offset % 4, 0u);
        EXPECT_EQ(c.lane, 0u);
        EXPECT_EQ(c.expected, c.memory_word);
        const uint32_t a = c.base + c.offset;
        EXPECT_TRUE(a >= 0x80020000 && a <= 0x8003FFF8) << std::hex << a;
        EXPECT_GE(a + row.second_neighbour, 0x8001FFF8u);
        if (c.group == 1) {
          EXPECT_TRUE(c.base >= 0x80020000 && c.base <= 0x8002FFFC && c.base % 4 == 0) << std::hex << c.base;
          EXPECT_NE(c.base & 0xFFFF, 0u);
          EXPECT_TRUE(c.offset > 0 && c.offset <= 0xFFFC);
        } else {
          EXPECT_EQ(c.base, 0x80030000u);
          EXPECT_EQ(c.offset == 0, c.group == 3);
        }
      }
      EXPECT_EQ(in_group[1], row.groups[0]);
      EXPECT_EQ(in_group[2], row.groups[1]);
      EXPECT_EQ(in_group[3], row.groups[2]);
      EXPECT_EQ(long_forms, row.long_form_cases);
      EXPECT_EQ(cases.back().memory_word, 0u);
    }
  }
}

TEST(WordMemoryCases, EveryCaseFollowsItsTemplate) {
  using namespace isa;  // register names
  for (const WordRoutineRow& row : kRows) {
    expect_cases_follow(default_image(), row.name, drawn(row), [&](const memory::MemoryCase& c, uint32_t inst_error) {
      Listing listing;
      listing.li(t1, c.memory_word).li(t0, c.base).li(v1, c.memory_word);
      access(listing, "sw", t1, c.offset, t0);
      neighbour_words(listing, c.offset, row.second_neighbour);
      access(listing, "lw", v0, c.offset, t0);
      follow_ups(listing, c.offset, row.op == Op::lw);
      check(listing, inst_error);
      return listing;
    });
  }
}

TEST(WordMemoryCases, LastCaseAndLongFormAsWritten) {
  const Image& image = default_image();
  const RoutineInfo& routine = routine_named(image, "n6_lw_test");
  EXPECT_EQ(emitted_cases(image, routine).back().listing(),
            (Lines{"addiu $t1, $zero, 0x0", "lui $t0, 0x8003", "addiu $v1, $zero, 0x0", "sw $t1, 0x0($t0)",
                   "addiu $a0, $t0, 0x4", "addiu $a1, $t0, -0x8", "sw $a0, 0x0($a0)", "sw $a1, 0x0($a1)",
                   "lw $v0, 0x0($t0)", "lw $a1, 0x0($a0)", "lw $a0, 0x0($a1)", "lw $a2, 0x0($a1)",
                   "bne $v0, $v1, " + hex_text(routine.inst_error), "nop"}));
  // The worked long forms: offset 0xB058 is displacement -0x4FA8 from base + 0x10000.
  Listing listing;
  access(listing, "lw", isa::a0, 0xB058, isa::a1);
  access(listing, "sw", isa::t1, 0x8000, isa::t0);
  EXPECT_EQ(listing.render(0), (Lines{"lui $a0, 0x1", "addu $a0, $a0, $a1", "lw $a0, -0x4fa8($a0)", "lui $at, 0x1",
                                      "addu $at, $at, $t0", "sw $t1, -0x8000($at)"}));
}

}  // namespace
}  // namespace r3k::test
