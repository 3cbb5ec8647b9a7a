#include "isa/isa.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <sstream>

#include "support/tools.h"

namespace r3k::isa {
namespace {

// One golden line per format: encoding, text at 0xBFC00000, instruction.
struct Golden {
  uint32_t word;
  const char* text;
  Op op;
};
const Golden kGolden[] = {
    {0x2409FFF4, "addiu $t1, $zero, -0xc", Op::addiu},
    {0x340BFFFF, "ori $t3, $zero, 0xffff", Op::ori},
    {0x3C088000, "lui $t0, 0x8000", Op::lui},
    {0x01685021, "addu $t2, $t3, $t0", Op::addu},
    {0x00104E00, "sll $t1, $s0, 24", Op::sll},
    {0x01095006, "srlv $t2, $t1, $t0", Op::srlv},
    {0x01090018, "mult $t0, $t1", Op::mult},
    {0x00001010, "mfhi $v0", Op::mfhi},
    {0x01000013, "mtlo $t0", Op::mtlo},
    {0x03E00008, "jr $ra", Op::jr},
    {0x0100F809, "jalr $t0", Op::jalr},
    {0x01004809, "jalr $t1, $t0", Op::jalr},
    {0x0000000C, "syscall", Op::syscall},
    {0x10430001, "beq $v0, $v1, 0xbfc00008", Op::beq},
    {0x1660FFFF, "bne $s3, $zero, 0xbfc00000", Op::bne},
    {0x04910002, "bgezal $a0, 0xbfc0000c", Op::bgezal},
    {0x1C800002, "bgtz $a0, 0xbfc0000c", Op::bgtz},
    {0x0BF000E0, "j 0xbfc00380", Op::j},
    {0x8D2AFFFC, "lw $t2, -0x4($t1)", Op::lw},
    {0xAE300000, "sw $s0, 0x0($s1)", Op::sw},
    {0x8A280003, "lwl $t0, 0x3($s1)", Op::lwl},
};

TEST(Isa, GoldenEncodingsDecodeAndDisassemble) {
  for (const Golden& g : kGolden) {
    EXPECT_EQ(decode(g.word), g.op) << g.text;
    EXPECT_EQ(disassemble(g.word, 0xBFC00000), g.text);
    EXPECT_EQ(encode(g.op, fields_of(g.word)), g.word) << g.text;
  }
  EXPECT_EQ(disassemble(0, 0xBFC00000), "nop");
}

// No two rows may claim the same encoding, and every row decodes to itself.
TEST(Isa, TableRowsDoNotOverlap) {
  for (int a = 0; a < kOpCount; ++a) {
    const OpInfo& row = info(static_cast<Op>(a));
    EXPECT_EQ(row.match & ~row.mask, 0u) << row.mnemonic;
    EXPECT_EQ(decode(row.match), static_cast<Op>(a)) << row.mnemonic;
    EXPECT_EQ(op_from_mnemonic(row.mnemonic), static_cast<Op>(a));
    for (int b = a + 1; b < kOpCount; ++b) {
      const OpInfo& other = info(static_cast<Op>(b));
      const uint32_t common = row.mask & other.mask;
      EXPECT_NE(row.match & common, other.match & common) << row.mnemonic << " overlaps " << other.mnemonic;
    }
  }
}

TEST(Isa, NonZeroReservedFieldsAreInvalid) {
  EXPECT_EQ(decode(0x01685021 | (1 << 6)), Op::invalid);  // addu with a shift amount
  EXPECT_EQ(decode(0x00104E00 | (1 << 21)), Op::invalid); // sll with rs set
  EXPECT_EQ(decode(0x3C088000 | (1 << 21)), Op::invalid); // lui with rs set
  EXPECT_EQ(decode(0x1C800002 | (1 << 16)), Op::invalid); // bgtz with rt set
  EXPECT_EQ(decode(0x04020000), Op::invalid);             // unused REGIMM row
  EXPECT_EQ(decode(0x40000001), Op::invalid);             // mfc0 with low bits set
  EXPECT_EQ(decode(0x40200000), Op::invalid);             // unused COP0 rs row
  EXPECT_EQ(decode(0x42000001), Op::invalid);             // tlbr: no TLB
  EXPECT_EQ(decode(0x42000810), Op::invalid);             // rfe with bits in its zero field
  EXPECT_EQ(decode(0x44000000), Op::invalid);             // coprocessor 1
  EXPECT_EQ(decode(0x0000003F), Op::invalid);             // unused SPECIAL row
  EXPECT_EQ(decode(0xFFFFFFFF), Op::invalid);
}

TEST(Isa, BranchAndJumpTargets) {
  EXPECT_EQ(branch_target(0xBFC00100, 0xFFFF), 0xBFC00100u);
  EXPECT_EQ(branch_target(0xBFC00100, 0x8000), 0xBFC00104u - 0x20000u);
  EXPECT_EQ(jump_target(0xBFC00000, 0x3F000E0), 0xBFC00380u);
  // The region comes from the delay slot's address.
  EXPECT_EQ(jump_target(0xAFFFFFFC, 0), 0xB0000000u);
  EXPECT_TRUE(has_delay_slot(Op::bltzal));
  EXPECT_TRUE(has_delay_slot(Op::jalr));
  EXPECT_FALSE(has_delay_slot(Op::syscall));
}

// Every row, with varied operands, disassembles as GNU objdump reads it.
TEST(Isa, DisassemblyAgreesWithObjdump) {
  const std::string objdump = test::find_program("mipsel-linux-gnu-objdump");
  if (objdump.empty()) GTEST_SKIP() << "mipsel-linux-gnu-objdump not found (package binutils-mipsel-linux-gnu)";
  std::vector<uint32_t> words;
  for (int i = 0; i < kOpCount; ++i) {
    const Op op = static_cast<Op>(i);
    for (int variant = 0; variant < 4; ++variant) {
      Fields f;
      f.rs = static_cast<uint8_t>((7 * variant + i) % 32);
      f.rt = static_cast<uint8_t>((11 * variant + 3 * i + 1) % 32);
      f.rd = static_cast<uint8_t>(variant == 0 ? 31 : (5 * variant + i) % 32);
      f.sa = static_cast<uint8_t>((9 * variant + i) % 32);
      f.imm = static_cast<uint16_t>(0x8001 * variant + 0x123 * i);
      f.target = 0x3F000E0 + 4 * variant;
      if (op == Op::break_ || op == Op::syscall) continue;  // code fields print differently
      words.push_back(encode(op, f));
    }
  }
  // Every coprocessor-0 register number, named or not.
  for (uint8_t reg = 0; reg < 32; ++reg) {
    words.push_back(encode(Op::mfc0, {.rt = static_cast<uint8_t>(31 - reg), .rd = reg}));
    words.push_back(encode(Op::mtc0, {.rt = reg, .rd = reg}));
  }
  test::TempDir dir;
  std::vector<unsigned char> bytes;
  for (uint32_t w : words)
    for (int s = 0; s < 32; s += 8) bytes.push_back(static_cast<unsigned char>(w >> s));
  test::write_bytes(dir.path("code.bin"), bytes);
  const auto result = test::run_command(objdump + " -b binary -m mips:3000 -EL -M no-aliases -z --adjust-vma=0xbfc00000 -D " +
                                        dir.path("code.bin"));
  ASSERT_EQ(result.exit_code, 0) << result.err;
  const std::map<uint32_t, std::string> theirs = test::objdump_lines(result.out);
  for (size_t i = 0; i < words.size(); ++i) {
    const uint32_t address = 0xBFC00000 + 4 * static_cast<uint32_t>(i);
    if (words[i] == 0) continue;
    ASSERT_TRUE(theirs.count(address)) << std::hex << address;
    EXPECT_EQ(test::normalise_disassembly(disassemble(words[i], address)), test::normalise_objdump(theirs.at(address)))
        << std::hex << words[i];
  }
}

}  // namespace
}  // namespace r3k::isa
