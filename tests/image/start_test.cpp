// The start code and the frame, word by word.
#include <gtest/gtest.h>

#include <set>

#include "image/build.h"
#include "board/layout.h"
#include "image/run_order.h"

namespace r3k {
namespace {

using Lines = std::vector<std::string>;

const Image& image() {
  static const Image built = build_image();
  return built;
}

Lines text(uint32_t address, size_t words) {
  Lines lines;
  for (size_t i = 0; i < words; ++i, address += 4) lines.push_back(isa::disassemble(image().word_at(address), address));
  return lines;
}

const Lines kFiller = {"lui $t0, 0x8000", "addiu $t1, $t1, 0x1", "or $t2, $t0, $zero", "addu $t3, $t5, $t6",
                       "lw $t4, 0x0($t0)"};

TEST(StartCode, VectorsLoopsAndFillerBlocks) {
  EXPECT_EQ(text(0xBFC00000, 2), (Lines{"j 0xbfc0038c", "nop"}));
  EXPECT_EQ(text(0xBFC00008, 5), kFiller);
  EXPECT_EQ(text(0xBFC000EC, 5), kFiller);
  EXPECT_EQ(text(0xBFC0010C, 5), kFiller);
  EXPECT_EQ(text(0xBFC00100, 3), (Lines{"addiu $t0, $t0, 0x1", "beq $zero, $zero, 0xbfc00100", "nop"}));
  EXPECT_EQ(text(0xBFC00380, 3), (Lines{"addiu $t0, $t0, 0x1", "beq $zero, $zero, 0xbfc00380", "nop"}));
  for (uint32_t a = 0xBFC0001C; a < 0xBFC000EC; a += 4) EXPECT_EQ(image().word_at(a), 0u) << std::hex << a;
  for (uint32_t a = 0xBFC00120; a < 0xBFC00380; a += 4) EXPECT_EQ(image().word_at(a), 0u) << std::hex << a;
  EXPECT_EQ(image().word_at(0xBFC0087C), 0u);
}

TEST(StartCode, LocateSetsUpTheBoardInOrder) {
  EXPECT_EQ(text(layout::kLocate, 13),
            (Lines{"addiu $a0, $zero, -0xff8", "addiu $a1, $zero, -0xffc", "addiu $a2, $zero, -0x1000",
                   "addiu $s1, $zero, -0xff0", "addiu $t1, $zero, 0x2", "addiu $t2, $zero, 0x1",
                   "ori $t3, $zero, 0xffff", "lui $s3, 0x0", "sw $t1, 0x0($a0)", "sw $t2, 0x0($a1)",
                   "sw $t3, 0x0($a2)", "sw $s3, 0x0($s1)", "lui $s0, 0x0"}));
}

TEST(StartCode, InstTestCallsEveryRoutineInRunOrderThenPauses) {
  ASSERT_EQ(image().routines.size(), 68u);
  for (int i = 0; i < 68; ++i) {
    const uint32_t at = layout::kInstTest + 16 * i;
    char call[32];
    std::snprintf(call, sizeof call, "jal 0x%x", image().routines[i].address);
    EXPECT_EQ(text(at, 4), (Lines{call, "nop", "jal 0xbfc0084c", "nop"})) << image().routines[i].name;
    EXPECT_EQ(image().routines[i].number, i + 1);
    EXPECT_EQ(image().routines[i].name, run_order()[i].name);
  }
}

TEST(StartCode, TestEndAndWait1s) {
  EXPECT_EQ(text(layout::kTestEnd, 19),
            (Lines{"addiu $s0, $zero, 0x44", "beq $s0, $s3, 0xbfc00830", "nop", "addiu $a0, $zero, -0x1000",
                   "addiu $a1, $zero, -0xff8", "addiu $a2, $zero, -0xffc", "addiu $t1, $zero, 0x2",
                   "sw $zero, 0x0($a0)", "sw $t1, 0x0($a1)", "sw $t1, 0x0($a2)", "beq $zero, $zero, 0xbfc00844",
                   "nop", "addiu $t1, $zero, 0x1", "addiu $a0, $zero, -0xff8", "addiu $a1, $zero, -0xffc",
                   "sw $t1, 0x0($a0)", "sw $t1, 0x0($a1)", "j 0xbfc00100", "nop"}));
  EXPECT_EQ(text(layout::kWait1s, 12),
            (Lines{"addiu $t1, $zero, -0xc", "lui $t0, 0x0", "lw $t2, 0x0($t1)", "bne $t2, $zero, 0xbfc00864",
                   "nop", "lui $t0, 0x20", "addiu $t0, $t0, 0x1", "addiu $t0, $t0, -0x1",
                   "bne $t0, $zero, 0xbfc00868", "nop", "jr $ra", "nop"}));
}

TEST(Frame, EveryRoutineHasEntryExitAndAlignment) {
  uint32_t previous_end = layout::kFirstRoutine;
  for (const RoutineInfo& r : image().routines) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(r.address % 16, 0u);
    EXPECT_LT(r.address - previous_end, 16u);
    for (uint32_t a = previous_end; a < r.address; a += 4) EXPECT_EQ(image().word_at(a), 0u);
    EXPECT_EQ(text(r.address, 2), (Lines{"addiu $s0, $s0, 0x1", "addiu $s2, $zero, 0x0"}));
    const uint32_t end = r.address + r.size;
    EXPECT_EQ(r.inst_error, end - 20);
    char bnez[48];
    std::snprintf(bnez, sizeof bnez, "bne $s2, $zero, 0x%x", r.inst_error);
    EXPECT_EQ(text(end - 32, 8), (Lines{bnez, "nop", "addiu $s3, $s3, 0x1", "sll $t1, $s0, 24",
                                        "or $t0, $t1, $s3", "sw $t0, 0x0($s1)", "jr $ra", "nop"}));
    EXPECT_EQ(image().files.at(r.file), "inst/" + r.name.substr(0, r.name.size() - 5) + ".S");
    previous_end = end;
  }
  // The register-usage record closes the text.
  EXPECT_EQ(image().text_end(), previous_end + 24);
  EXPECT_EQ(image().word_at(previous_end), layout::kRegisterUsageMask);
  for (uint32_t a = previous_end + 4; a < image().text_end(); a += 4) EXPECT_EQ(image().word_at(a), 0u);
}

// $sp, $gp, $fp, $k0 and $k1 are never read or written, and every word of
// code decodes.
TEST(Image, NeverTouchesReservedRegistersAndDecodes) {
  const std::set<unsigned> reserved = {isa::k0, isa::k1, isa::gp, isa::sp, isa::fp};
  const uint32_t code_end = image().text_end() - layout::kRegisterUsageSize;
  for (uint32_t a = image().text_base; a < code_end; a += 4) {
    const uint32_t word = image().word_at(a);
    ASSERT_NE(isa::decode(word), isa::Op::invalid) << std::hex << a;
    const std::string line = isa::disassemble(word, a);
    for (unsigned r : reserved)
      EXPECT_EQ(line.find(std::string(isa::reg_name(r))), std::string::npos) << std::hex << a << ": " << line;
  }
}

TEST(Image, SameSeedSameImage) {
  const Image again = build_image();
  EXPECT_EQ(again.boot_bytes(), image().boot_bytes());
  EXPECT_EQ(image().data, std::vector<uint8_t>(16, 0));
  EXPECT_EQ(image().boot_bytes().size(), image().text.size() * 4 + 16);
  EXPECT_EQ(image().lines.size(), image().text.size());
  EXPECT_EQ(image().lines[0].line, 1u);
  EXPECT_EQ(image().lines[0].file, 0u);
}

}  // namespace
}  // namespace r3k
