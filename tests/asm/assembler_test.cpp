#include "asm/assembler.h"

#include <gtest/gtest.h>

#include "common/error.h"

namespace r3k::assembly {
namespace {

using namespace isa;

std::vector<std::string> text_of(const Assembler& as) {
  std::vector<std::string> lines;
  for (size_t i = 0; i < as.words().size(); ++i)
    lines.push_back(disassemble(as.words()[i], as.base() + 4 * static_cast<uint32_t>(i)));
  return lines;
}

std::vector<std::string> li_text(uint32_t value) {
  Assembler as(0xBFC00000);
  as.li(t0, value);
  EXPECT_EQ(static_cast<int>(as.words().size()), constant_load_length(value));
  return text_of(as);
}

using Lines = std::vector<std::string>;

TEST(ConstantLoad, EveryRowOfTheRule) {
  // Signed 16-bit values: one addiu from $zero.
  EXPECT_EQ(li_text(0), Lines{"addiu $t0, $zero, 0x0"});
  EXPECT_EQ(li_text(0x7FFF), Lines{"addiu $t0, $zero, 0x7fff"});
  EXPECT_EQ(li_text(0xFFFFFFFF), Lines{"addiu $t0, $zero, -0x1"});
  EXPECT_EQ(li_text(0xFFFF8000), Lines{"addiu $t0, $zero, -0x8000"});
  EXPECT_EQ(li_text(0xFFFFF010), Lines{"addiu $t0, $zero, -0xff0"});
  // 0x8000 to 0xFFFF: one ori from $zero.
  EXPECT_EQ(li_text(0x8000), Lines{"ori $t0, $zero, 0x8000"});
  EXPECT_EQ(li_text(0xFFFF), Lines{"ori $t0, $zero, 0xffff"});
  // Zero low half: one lui.
  EXPECT_EQ(li_text(0x10000), Lines{"lui $t0, 0x1"});
  EXPECT_EQ(li_text(0x80000000), Lines{"lui $t0, 0x8000"});
  EXPECT_EQ(li_text(0x80030000), Lines{"lui $t0, 0x8003"});
  EXPECT_EQ(li_text(0xFFFF0000), Lines{"lui $t0, 0xffff"});
  // Otherwise lui then ori into the same register.
  EXPECT_EQ(li_text(0x10001), (Lines{"lui $t0, 0x1", "ori $t0, $t0, 0x1"}));
  EXPECT_EQ(li_text(0x7FFFFFFF), (Lines{"lui $t0, 0x7fff", "ori $t0, $t0, 0xffff"}));
  EXPECT_EQ(li_text(0xFFFF7E8C), (Lines{"lui $t0, 0xffff", "ori $t0, $t0, 0x7e8c"}));
  EXPECT_EQ(li_text(0xFFFF7FFF), (Lines{"lui $t0, 0xffff", "ori $t0, $t0, 0x7fff"}));
}

TEST(ConstantLoad, LengthBoundaries) {
  EXPECT_EQ(constant_load_length(0x7FFF), 1);
  EXPECT_EQ(constant_load_length(0x8000), 1);
  EXPECT_EQ(constant_load_length(0xFFFF), 1);
  EXPECT_EQ(constant_load_length(0x10000), 1);
  EXPECT_EQ(constant_load_length(0x10001), 2);
  EXPECT_EQ(constant_load_length(0xFFFF8000), 1);
  EXPECT_EQ(constant_load_length(0xFFFF7FFF), 2);
}

Lines load_store_text(Op op, Reg rt, int32_t offset, Reg base) {
  Assembler as(0xBFC00000);
  as.load_store(op, rt, offset, base);
  return text_of(as);
}

TEST(LongForm, LoadsUseTheirDestinationAndStoresUseAt) {
  EXPECT_EQ(load_store_text(Op::lw, t2, 0x7FFF, t1), Lines{"lw $t2, 0x7fff($t1)"});
  EXPECT_EQ(load_store_text(Op::lw, t2, -0x8000, t1), Lines{"lw $t2, -0x8000($t1)"});
  EXPECT_EQ(load_store_text(Op::lw, t2, 0x8000, t1),
            (Lines{"lui $t2, 0x1", "addu $t2, $t2, $t1", "lw $t2, -0x8000($t2)"}));
  EXPECT_EQ(load_store_text(Op::lbu, t2, 0xB058, t1),
            (Lines{"lui $t2, 0x1", "addu $t2, $t2, $t1", "lbu $t2, -0x4fa8($t2)"}));
  EXPECT_EQ(load_store_text(Op::sw, t2, 0x8000, t1),
            (Lines{"lui $at, 0x1", "addu $at, $at, $t1", "sw $t2, -0x8000($at)"}));
  EXPECT_EQ(load_store_text(Op::swr, t2, 0xFFFF, t1),
            (Lines{"lui $at, 0x1", "addu $at, $at, $t1", "swr $t2, -0x1($at)"}));
  // lwl and lwr merge into their destination, so they need $at too.
  EXPECT_EQ(load_store_text(Op::lwl, t2, 0x8003, t1),
            (Lines{"lui $at, 0x1", "addu $at, $at, $t1", "lwl $t2, -0x7ffd($at)"}));
  EXPECT_EQ(load_store_text(Op::lwr, t2, 0xC000, t1),
            (Lines{"lui $at, 0x1", "addu $at, $at, $t1", "lwr $t2, -0x4000($at)"}));
}

TEST(LongForm, RefusesToOverwriteItsOwnOperands) {
  Assembler as(0xBFC00000);
  EXPECT_THROW(as.load_store(Op::lw, t1, 0x8000, t1), std::logic_error);
  EXPECT_THROW(as.load_store(Op::sw, at, 0x8000, t1), std::logic_error);
  EXPECT_THROW(as.load_store(Op::sb, t0, 0x9000, at), std::logic_error);
}

TEST(Labels, BranchesJumpsAndAddressLoadsResolve) {
  Assembler as(0xBFC00880);
  Label back = as.make_label(), ahead = as.make_label();
  as.bind(back);                 // 0xBFC00880
  as.nop();
  as.bne(v0, v1, ahead);         // 0xBFC00884
  as.nop();
  as.b(back);                    // 0xBFC0088C
  as.nop();
  as.la(t0, ahead);              // 0xBFC00894
  as.la(t1, ahead, 8);
  as.j(ahead);                   // 0xBFC008A4
  as.bind(ahead);                // 0xBFC008A8
  as.jal(back);
  as.finish();
  EXPECT_EQ(text_of(as), (Lines{"nop", "bne $v0, $v1, 0xbfc008a8", "nop", "beq $zero, $zero, 0xbfc00880", "nop",
                                "lui $t0, 0xbfc0", "addiu $t0, $t0, 0x8a8", "lui $t1, 0xbfc0",
                                "addiu $t1, $t1, 0x8b0", "j 0xbfc008a8", "jal 0xbfc00880"}));
}

// The low half of an address load is sign-extended, so the high half rounds up.
TEST(Labels, AddressLoadCarriesIntoTheHighHalf) {
  Assembler as(0xBFC08000);
  Label here = as.make_label();
  as.bind(here);
  as.la(t0, here);
  as.finish();
  EXPECT_EQ(text_of(as), (Lines{"lui $t0, 0xbfc1", "addiu $t0, $t0, -0x8000"}));
}

TEST(Labels, ErrorsAreReported) {
  Assembler as(0xBFC00000);
  Label never = as.make_label();
  as.b(never);
  EXPECT_THROW(as.finish(), std::logic_error);

  Assembler far(0xBFC00000);
  Label target = far.make_label();
  far.b(target);
  far.zero_words(0x8000);
  far.bind(target);
  EXPECT_THROW(far.finish(), std::logic_error);
  EXPECT_THROW(far.bind(target), std::logic_error);
}

TEST(Source, EveryWordCarriesTheLineCurrentWhenItWasEmitted) {
  Assembler as(0xBFC00000);
  as.set_source({3, 7});
  as.li(t0, 0x12345678);
  as.set_source({3, 8});
  as.nop();
  ASSERT_EQ(as.locs().size(), 3u);
  EXPECT_EQ(as.locs()[0].line, 7u);
  EXPECT_EQ(as.locs()[1].line, 7u);
  EXPECT_EQ(as.locs()[2].line, 8u);
  EXPECT_EQ(as.locs()[2].file, 3u);
}

}  // namespace
}  // namespace r3k::assembly
