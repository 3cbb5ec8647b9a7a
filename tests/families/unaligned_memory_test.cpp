// The lwl, lwr, swl and swr routines: drawn cases, the merge table and the
// code written for them.
#include <gtest/gtest.h>

#include <array>

#include "families/memory_test_support.h"
#include "families/unaligned_memory.h"
#include "support/image_run.h"

namespace r3k::test {
namespace {

using isa::Op;

struct UnalignedRow {
  Op op;
  const char* mnemonic;
  const char* name;
  int number;
  int long_form_cases;
  std::array<int, 4> lanes;
};

constexpr UnalignedRow kRows[] = {
    {Op::lwl, "lwl", "n63_lwl_test", 63, 21, {19, 6, 14, 11}},
    {Op::lwr, "lwr", "n64_lwr_test", 64, 27, {26, 7, 10, 7}},
    {Op::swl, "swl", "n67_swl_test", 67, 29, {26, 9, 9, 6}},
    {Op::swr, "swr", "n68_swr_test", 68, 26, {27, 8, 9, 6}},
};

bool is_load(Op op) { return op == Op::lwl || op == Op::lwr; }

std::vector<memory::MemoryCase> drawn(const UnalignedRow& row, uint32_t seed = kDefaultSeed) {
  Random random(seed, static_cast<uint32_t>(row.number));
  return unaligned::draw_cases(row.op, random);
}

// The merge table, row by row: W or S shifted, OR the kept bytes of R0 or P.
uint32_t merge_table(Op op, uint32_t memory_word, uint32_t register_value, unsigned k) {
  static constexpr uint32_t kLwlKeep[] = {0x00FFFFFF, 0x0000FFFF, 0x000000FF, 0};
  static constexpr uint32_t kLwrKeep[] = {0, 0xFF000000, 0xFFFF0000, 0xFFFFFF00};
  static constexpr uint32_t kSwlKeep[] = {0xFFFFFF00, 0xFFFF0000, 0xFF000000, 0};
  static constexpr uint32_t kSwrKeep[] = {0, 0x000000FF, 0x0000FFFF, 0x00FFFFFF};
  const uint64_t w = memory_word, s = register_value;
  switch (op) {
    case Op::lwl: return uint32_t(w << (24 - 8 * k)) | (register_value & kLwlKeep[k]);
    case Op::lwr: return uint32_t(w >> (8 * k)) | (register_value & kLwrKeep[k]);
    case Op::swl: return uint32_t(s >> (24 - 8 * k)) | (memory_word & kSwlKeep[k]);
    case Op::swr: return uint32_t(s << (8 * k)) | (memory_word & kSwrKeep[k]);
    default: return 0;
  }
}

TEST(UnalignedCases, LanesLongFormsAndOffsetsHaveTheirCounts) {
  for (const UnalignedRow& row : kRows) {
    for (uint32_t seed : {kDefaultSeed, 3u, 0xCAFEF00Du}) {
      SCOPED_TRACE(testing::Message() << row.mnemonic << " seed " << seed);
      const std::vector<memory::MemoryCase> cases = drawn(row, seed);
      ASSERT_EQ(cases.size(), 50u);
      std::array<int, 4> lanes{};
      int long_forms = 0;
      for (const memory::MemoryCase& c : cases) {
        ++lanes.at(c.lane);
        long_forms += c.offset >= 0x8000;
        EXPECT_EQ(c.base, 0x80000000u);
        EXPECT_TRUE(c.offset >= 0x330 && c.offset <= 0xFFD8 && c.offset % 4 == 0) << std::hex << c.offset;
      }
      EXPECT_EQ(lanes, row.lanes);
      EXPECT_EQ(long_forms, row.long_form_cases);
    }
  }
}

// lui then ori: a non-zero low half, and a value neither in the signed
// 16-bit range nor small enough for ori alone.
bool loaded_by_lui_and_ori(uint32_t value) {
  const auto signed_value = static_cast<int32_t>(value);
  return (value & 0xFFFF) != 0 && value > 0xFFFF && (signed_value < -0x8000 || signed_value > 0x7FFF);
}

TEST(UnalignedCases, EveryValueIsLoadedByLuiAndOri) {
  for (const UnalignedRow& row : kRows) {
    for (uint32_t seed : {kDefaultSeed, 2u, 0xDE1A7u, 0xCAFEF00Du, 0xFFFFFFFFu}) {
      SCOPED_TRACE(testing::Message() << row.mnemonic << " seed " << seed);
      int case_number = 0;
      for (const memory::MemoryCase& c : drawn(row, seed)) {
        ++case_number;
        EXPECT_TRUE(loaded_by_lui_and_ori(c.memory_word)) << "case " << case_number << std::hex << " W/P 0x" << c.memory_word;
        EXPECT_TRUE(loaded_by_lui_and_ori(c.register_value)) << "case " << case_number << std::hex << " R0/S 0x" << c.register_value;
        EXPECT_TRUE(loaded_by_lui_and_ori(c.expected)) << "case " << case_number << std::hex << " E 0x" << c.expected;
      }
    }
  }
}

TEST(UnalignedCases, ExpectedValuesFollowTheMergeTable) {
  for (const UnalignedRow& row : kRows)
    for (const memory::MemoryCase& c : drawn(row))
      ASSERT_EQ(c.expected, merge_table(row.op, c.memory_word, c.register_value, c.lane))
          << row.mnemonic << std::hex << " word " << c.memory_word << " register " << c.register_value << " k "
          << c.lane;
}

TEST(UnalignedCases, TellingRows) {
  struct Row {
    Op op;
    unsigned k;
    uint32_t memory_word, register_value, expected;
  };
  const Row rows[] = {
      {Op::lwl, 0, 0x49EB9CD2, 0x86C9BAD0, 0xD2C9BAD0}, {Op::lwl, 1, 0xD8B8A164, 0xBD1ECE34, 0xA164CE34},
      {Op::lwl, 2, 0x79E8D3EE, 0xF507F480, 0xE8D3EE80}, {Op::lwl, 3, 0x173BCF08, 0xE9C2D280, 0x173BCF08},
      {Op::lwr, 0, 0x523C6DA6, 0x1C2FAC22, 0x523C6DA6}, {Op::lwr, 1, 0x5C049582, 0xCA18F110, 0xCA5C0495},
      {Op::lwr, 2, 0xCE7208CC, 0xED6D7900, 0xED6DCE72}, {Op::lwr, 3, 0x2877C94C, 0xE2A519A8, 0xE2A51928},
      {Op::swl, 0, 0xCB3C1100, 0xE2B9DE40, 0xCB3C11E2}, {Op::swl, 1, 0xCEEB5200, 0x8EA80E00, 0xCEEB8EA8},
      {Op::swl, 2, 0x4E2E485C, 0xF16B41E8, 0x4EF16B41}, {Op::swl, 3, 0x2C29E090, 0xBDE2BD60, 0xBDE2BD60},
      {Op::swr, 0, 0xE473EA82, 0xFA531AC0, 0xFA531AC0}, {Op::swr, 1, 0xFDA4EFE8, 0x0213424C, 0x13424CE8},
      {Op::swr, 2, 0x13FA054C, 0xEEFDB448, 0xB448054C}, {Op::swr, 3, 0x7579C07B, 0xFB583C8C, 0x8C79C07B},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(unaligned::result(r.op, r.memory_word, r.register_value, r.k), r.expected)
        << isa::info(r.op).mnemonic << " k " << r.k;
    EXPECT_EQ(merge_table(r.op, r.memory_word, r.register_value, r.k), r.expected);
  }
}

TEST(UnalignedCases, EveryCaseFollowsItsTemplate) {
  for (const UnalignedRow& row : kRows) {
    expect_cases_follow(default_image(), row.name, drawn(row), [&](const memory::MemoryCase& c, uint32_t inst_error) {
      return is_load(row.op) ? load_template(row.mnemonic, c, true, inst_error)
                             : store_template(row.mnemonic, c, inst_error);
    });
  }
}

TEST(UnalignedCases, MergingLoadsTakeTheirLongFormThroughAt) {
  Listing listing;
  access(listing, "lwl", isa::v0, 0xD06F, isa::t0);
  listing.li(isa::t0, 0x80000000);
  EXPECT_EQ(listing.render(0), (std::vector<std::string>{"lui $at, 0x1", "addu $at, $at, $t0",
                                                         "lwl $v0, -0x2f91($at)", "lui $t0, 0x8000"}));
}

}  // namespace
}  // namespace r3k::test
