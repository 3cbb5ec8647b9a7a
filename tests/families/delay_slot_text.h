// The delay-slot instruction list written out as text, in the
// disassembler's syntax, with each routine's changes; and the twelve
// delay-slot routines. Tests build their expectations from this, not from
// the generator's tables.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "isa/isa.h"

namespace r3k::test {

struct DelaySlotRoutine {
  const char* name;
  int number;
  isa::Op op;
  int cases;
  int register_case_length;   // a slot that writes a register, branch or jump
  int hilo_case_length;       // a multiply or divide in the slot (jalr: 15 steps, the
                              // address load two instructions); 0 without
  uint32_t ram_word;          // written by case 3, read by case 4
  bool jump;
};

inline const std::vector<DelaySlotRoutine>& delay_slot_routines() {
  static const std::vector<DelaySlotRoutine> rows = {
      {"n16_beq_ds_test", 16, isa::Op::beq, 26, 12, 0, 0x80018EE0, false},
      {"n17_bne_ds_test", 17, isa::Op::bne, 26, 12, 0, 0x80020120, false},
      {"n52_bgez_ds_test", 52, isa::Op::bgez, 32, 12, 19, 0x80018EE0, false},
      {"n53_bgtz_ds_test", 53, isa::Op::bgtz, 32, 14, 21, 0x80018EE0, false},
      {"n54_blez_ds_test", 54, isa::Op::blez, 32, 13, 20, 0x80018EE0, false},
      {"n55_bltz_ds_test", 55, isa::Op::bltz, 32, 14, 21, 0x80018EE0, false},
      {"n56_bltzal_ds_test", 56, isa::Op::bltzal, 32, 17, 24, 0x80018EE0, false},
      {"n57_bgezal_ds_test", 57, isa::Op::bgezal, 32, 15, 22, 0x80018EE0, false},
      {"n18_j_ds_test", 18, isa::Op::j, 26, 7, 0, 0x80027120, true},
      {"n19_jal_ds_test", 19, isa::Op::jal, 26, 9, 0, 0x80019EE0, true},
      {"n20_jr_ds_test", 20, isa::Op::jr, 26, 9, 0, 0x80018EE0, true},
      {"n58_jalr_ds_test", 58, isa::Op::jalr, 32, 11, 16, 0x80018EE0, true},
  };
  return rows;
}

inline bool links(isa::Op op) {
  return op == isa::Op::bltzal || op == isa::Op::bgezal || op == isa::Op::jal || op == isa::Op::jalr;
}

// The list of the routine, case 1 first.
inline std::vector<std::string> slot_list_text(int routine_number) {
  std::vector<std::string> list = {
      "lui $t0, 0x8002",       "addiu $t1, $t0, -0x7edd", "sw $t1, -0x7120($t0)", "lw $t2, -0x7120($t0)",
      "addu $t3, $t1, $t2",    "or $t4, $s1, $s2",        "slt $t5, $s2, $s3",    "slti $t6, $s2, -0x7fef",
      "sltiu $t7, $s2, -0x7fef", "sltu $t8, $s2, $s3",    "sll $t1, $s2, 17",     "add $t2, $t0, $s0",
      "addi $t3, $s0, -0x7ffe", "sub $t4, $t0, $s0",      "subu $t5, $t0, $s0",   "and $t6, $t0, $s0",
      "andi $t7, $s0, 0x8ff2", "nor $t8, $t0, $s0",       "ori $t1, $s0, 0x8ff2", "xor $t2, $t0, $s0",
      "xori $t3, $s0, 0x8ff2", "sllv $t4, $t0, $s0",      "sra $t5, $s0, 8",      "srav $t6, $t0, $s0",
      "srl $t7, $s0, 8",       "srlv $t8, $t0, $s0",      "div $t0, $t1",         "divu $t0, $t1",
      "mult $t0, $t1",         "multu $t0, $t1",          "mfhi $t7",             "mflo $t6",
  };
  std::map<int, std::string> changes;
  if (routine_number == 17)
    changes = {{1, "lui $a0, 0x8002"},    {2, "addiu $a1, $a0, -0x7edd"}, {3, "sw $a1, 0x120($a0)"},
               {4, "lw $a2, 0x120($a0)"}, {5, "addu $a3, $a1, $a2"},      {6, "or $t1, $s1, $s2"},
               {7, "slt $t2, $s2, $s3"},  {8, "slti $t3, $s2, -0x7fef"}};
  if (routine_number == 18)
    changes = {{3, "sw $t1, 0x7120($t0)"}, {4, "lw $t2, 0x7120($t0)"}, {6, "or $t9, $s1, $s2"},
               {7, "slt $t8, $s2, $s3"},   {8, "slti $t7, $s2, -0x7fef"}};
  if (routine_number == 19)
    changes = {{1, "lui $a3, 0x8002"},       {2, "addiu $a2, $a3, -0x7edd"}, {3, "sw $a2, -0x6120($a3)"},
               {4, "lw $a1, -0x6120($a3)"}, {5, "addu $a0, $a2, $a1"}};
  for (const auto& [number, text] : changes) list[number - 1] = text;
  return list;
}

inline const std::vector<std::string>& loose_instructions_text() {
  static const std::vector<std::string> text = {"lui $t0, 0x8000", "ori $t1, $zero, 0x8000"};
  return text;
}

// X(R): the instruction with its first register (the destination, or for a
// store the register stored) replaced.
inline std::string with_destination(const std::string& text, const std::string& reg) {
  const size_t start = text.find('$');
  const size_t end = std::min(text.find_first_of(",)", start), text.size());
  return text.substr(0, start) + reg + text.substr(end);
}
inline std::string destination_of(const std::string& text) {
  const size_t start = text.find('$');
  return text.substr(start, text.find_first_of(",)", start) - start);
}
inline bool multiply_or_divide(const std::string& text) {
  for (const char* op : {"div ", "divu ", "mult ", "multu "})
    if (text.rfind(op, 0) == 0) return true;
  return false;
}

// The Result column: what a correct processor computes for case `number`,
// given the $t0 the routine reads in cases 12 to 26, the test number and the
// pass count before the routine.
inline uint32_t listed_result(int number, uint32_t t0, uint32_t test, uint32_t passed) {
  const unsigned amount = test % 32;
  switch (number) {
    case 1: return 0x80020000;
    case 2: case 3: case 4: return 0x80018123;
    case 5: return 0x00030246;
    case 6: return 0xFFFFF010;
    case 7: case 10: return passed > 0 ? 1 : 0;
    case 8: return 0;
    case 9: return 1;
    case 11: return 0;
    case 12: return t0 + test;
    case 13: return test - 32766;
    case 14: case 15: return t0 - test;
    case 16: return 0;
    case 17: return test & 0x8FF2;
    case 18: return ~(t0 | test);
    case 19: return test | 0x8FF2;
    case 20: return t0 ^ test;
    case 21: return test ^ 0x8FF2;
    case 22: return t0 << amount;
    case 23: case 25: return 0;
    case 24: return static_cast<uint32_t>(static_cast<int32_t>(t0) >> amount);
    case 26: return t0 >> amount;
    case 27: return 0xFFFF0000;  // LO from here on
    case 28: return 0x00010000;
    case 29: case 30: return 0;
    case 31: return 0x00004000;  // HI left by case 30
    default: return 0;           // case 32: LO left by case 30
  }
}

}  // namespace r3k::test
