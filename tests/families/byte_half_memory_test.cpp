// The lb, lbu, lh, lhu, sb and sh routines: drawn cases, expected values
// and the code written for them.
#include <gtest/gtest.h>

#include <array>

#include "common/error.h"
#include "families/byte_half_memory.h"
#include "families/memory_test_support.h"
#include "support/image_run.h"

namespace r3k::test {
namespace {

using isa::Op;

struct ByteHalfRow {
  Op op;
  const char* mnemonic;
  const char* name;
  int number;
  int groups[3];
  int long_form_cases;
  std::array<int, 4> lanes;
  int top_bit_set;
};

constexpr ByteHalfRow kRows[] = {
    {Op::lb, "lb", "n59_lb_test", 59, {57, 41, 19}, 33, {57, 12, 36, 12}, 55},
    {Op::lbu, "lbu", "n60_lbu_test", 60, {53, 50, 23}, 35, {67, 20, 26, 13}, 73},
    {Op::lh, "lh", "n61_lh_test", 61, {37, 35, 14}, 34, {58, 0, 28, 0}, 40},
    {Op::lhu, "lhu", "n62_lhu_test", 62, {33, 41, 36}, 23, {59, 0, 51, 0}, 52},
    {Op::sb, "sb", "n65_sb_test", 65, {36, 45, 32}, 27, {54, 12, 33, 14}, 45},
    {Op::sh, "sh", "n66_sh_test", 66, {40, 39, 24}, 30, {66, 0, 37, 0}, 56},
};

bool is_store(Op op) { return op == Op::sb || op == Op::sh; }
unsigned unit_bytes(Op op) { return op == Op::lh || op == Op::lhu || op == Op::sh ? 2 : 1; }

std::vector<memory::MemoryCase> drawn(const ByteHalfRow& row, uint32_t seed = kDefaultSeed) {
  Random random(seed, static_cast<uint32_t>(row.number));
  return byte_half::draw_cases(row.op, random);
}

// A little-endian memory word as the bytes at A, A + 1, A + 2, A + 3.
std::array<uint8_t, 4> bytes_of(uint32_t word) {
  return {uint8_t(word), uint8_t(word >> 8), uint8_t(word >> 16), uint8_t(word >> 24)};
}
uint32_t word_of(const std::array<uint8_t, 4>& bytes) {
  return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | uint32_t(bytes[3]) << 24;
}

// The access played on a byte array: read the unit at byte k and extend it,
// or overwrite the unit's bytes with S's low bytes.
uint32_t by_bytes(Op op, uint32_t memory_word, uint32_t store_data, unsigned lane) {
  std::array<uint8_t, 4> memory = bytes_of(memory_word);
  if (is_store(op)) {
    const std::array<uint8_t, 4> data = bytes_of(store_data);
    for (unsigned i = 0; i < unit_bytes(op); ++i) memory[lane + i] = data[i];
    return word_of(memory);
  }
  uint32_t unit = 0;
  for (unsigned i = 0; i < unit_bytes(op); ++i) unit |= uint32_t(memory[lane + i]) << (8 * i);
  const uint32_t sign = 1u << (8 * unit_bytes(op) - 1);
  const bool extends_sign = op == Op::lb || op == Op::lh;
  return extends_sign && (unit & sign) ? unit | ~(2 * sign - 1) : unit;
}

TEST(ByteHalfCases, GroupsLanesAndLongFormsHaveTheirCounts) {
  for (const ByteHalfRow& row : kRows) {
    for (uint32_t seed : {kDefaultSeed, 7u, 0x12345678u}) {
      SCOPED_TRACE(testing::Message() << row.mnemonic << " seed " << seed);
      const std::vector<memory::MemoryCase> cases = drawn(row, seed);
      int in_group[4] = {}, long_forms = 0, top_bits = 0, previous_group = 1;
      std::array<int, 4> lanes{};
      for (const memory::MemoryCase& c : cases) {
        ASSERT_GE(c.group, previous_group);
        previous_group = c.group;
        ++in_group[c.group];
        ++lanes.at(c.lane);
        long_forms += c.offset >= 0x8000;
        const uint32_t unit_source = is_store(row.op) ? c.register_value : c.memory_word >> (8 * c.lane);
        top_bits += (unit_source >> (8 * unit_bytes(row.op) - 1)) & 1;
        const uint32_t a = c.base + c.offset;
        EXPECT_TRUE(a >= 0x80020000 && a <= 0x8003FFF8 && a % 4 == 0) << std::hex << a;
        EXPECT_EQ((a + c.lane) % unit_bytes(row.op), 0u);  // no address error
        if (c.group == 1) {
          EXPECT_TRUE(c.base > 0x80020000 && c.base <= 0x8002FFFC && (c.base & 0xFFFF) != 0) << std::hex << c.base;
          EXPECT_TRUE(c.offset > 0 && c.offset <= 0xFFFC && c.offset % 4 == 0);
        } else {
          EXPECT_EQ(c.base, 0x80030000u);
          EXPECT_EQ(c.offset == 0, c.group == 3);
        }
        if (!is_store(row.op)) {
          EXPECT_EQ(c.register_value, 0u);
        }
      }
      EXPECT_EQ(in_group[1], row.groups[0]);
      EXPECT_EQ(in_group[2], row.groups[1]);
      EXPECT_EQ(in_group[3], row.groups[2]);
      EXPECT_EQ(long_forms, row.long_form_cases);
      EXPECT_EQ(lanes, row.lanes);
      EXPECT_EQ(top_bits, row.top_bit_set);
      const memory::MemoryCase& last = cases.back();
      EXPECT_EQ(last.group, 3);
      EXPECT_EQ(last.lane, 0u);
      EXPECT_EQ(last.memory_word | last.register_value | last.expected, 0u);
    }
  }
}

// W, P and S are loaded by lui then ori: a non-zero low half, and a value
// neither in the signed 16-bit range nor small enough for ori alone.
TEST(ByteHalfCases, RandomWordsAreLoadedByLuiAndOri) {
  const auto lui_and_ori = [](uint32_t value) {
    const auto signed_value = static_cast<int32_t>(value);
    return (value & 0xFFFF) != 0 && value > 0xFFFF && (signed_value < -0x8000 || signed_value > 0x7FFF);
  };
  for (const ByteHalfRow& row : kRows) {
    for (uint32_t seed : {kDefaultSeed, 2u, 0xDE1A7u, 0x12345678u}) {
      SCOPED_TRACE(testing::Message() << row.mnemonic << " seed " << seed);
      const std::vector<memory::MemoryCase> cases = drawn(row, seed);
      for (std::size_t i = 0; i + 1 < cases.size(); ++i) {  // the last case loads zeros
        EXPECT_TRUE(lui_and_ori(cases[i].memory_word)) << "case " << i + 1 << std::hex << " 0x" << cases[i].memory_word;
        if (is_store(row.op)) {
          EXPECT_TRUE(lui_and_ori(cases[i].register_value)) << "case " << i + 1 << std::hex << " 0x" << cases[i].register_value;
        }
      }
    }
  }
}

TEST(ByteHalfCases, ExpectedValuesMatchAByteArrayModel) {
  for (const ByteHalfRow& row : kRows) {
    for (const memory::MemoryCase& c : drawn(row))
      ASSERT_EQ(c.expected, by_bytes(row.op, c.memory_word, c.register_value, c.lane))
          << row.mnemonic << std::hex << " W/P " << c.memory_word << " S " << c.register_value << " k " << c.lane;
  }
}

TEST(ByteHalfCases, TellingRows) {
  EXPECT_EQ(byte_half::result(Op::lb, 0xC83B0BE0, 0, 1), 0x0000000Bu);
  EXPECT_EQ(byte_half::result(Op::lb, 0xA0AFED52, 0, 2), 0xFFFFFFAFu);
  EXPECT_EQ(byte_half::result(Op::lbu, 0xD156F470, 0, 3), 0x000000D1u);
  EXPECT_EQ(byte_half::result(Op::lh, 0xBE4D9AC8, 0, 2), 0xFFFFBE4Du);
  EXPECT_EQ(byte_half::result(Op::lhu, 0xC5E0FD00, 0, 2), 0x0000C5E0u);
  EXPECT_EQ(byte_half::result(Op::sb, 0xC93C8D07, 0x607047B4, 3), 0xB43C8D07u);
  EXPECT_EQ(byte_half::result(Op::sh, 0xE15F8848, 0x0E1A3600, 2), 0x36008848u);
  EXPECT_EQ(byte_half::result(Op::lb, 0, 0, 0), 0u);
  // The same byte, sign- and zero-extended; the same halfword likewise.
  EXPECT_EQ(byte_half::result(Op::lb, 0x00008000, 0, 1), 0xFFFFFF80u);
  EXPECT_EQ(byte_half::result(Op::lbu, 0x00008000, 0, 1), 0x00000080u);
  EXPECT_EQ(byte_half::result(Op::lh, 0x8001FFFF, 0, 2), 0xFFFF8001u);
  EXPECT_EQ(byte_half::result(Op::lhu, 0x8001FFFF, 0, 0), 0x0000FFFFu);
  EXPECT_THROW(byte_half::result(Op::lh, 0, 0, 1), std::logic_error);
}

TEST(ByteHalfCases, EveryCaseFollowsItsTemplate) {
  for (const ByteHalfRow& row : kRows) {
    expect_cases_follow(default_image(), row.name, drawn(row), [&](const memory::MemoryCase& c, uint32_t inst_error) {
      return is_store(row.op) ? store_template(row.mnemonic, c, inst_error)
                              : load_template(row.mnemonic, c, false, inst_error);
    });
  }
}

TEST(ByteHalfCases, WorkedLongFormAccess) {
  Listing listing;
  access(listing, "lb", isa::v0, 0x8A80 + 2, isa::t0);
  listing.li(isa::v1, 0xFFFFFFAF).li(isa::v1, 0xC5E0);
  EXPECT_EQ(listing.render(0), (std::vector<std::string>{"lui $v0, 0x1", "addu $v0, $v0, $t0", "lb $v0, -0x757e($v0)",
                                                         "addiu $v1, $zero, -0x51", "ori $v1, $zero, 0xc5e0"}));
}

}  // namespace
}  // namespace r3k::test
