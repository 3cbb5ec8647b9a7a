// The instructions the delay-slot routines place in the slot of a branch or
// a jump, one per case, and the ordinary execution each one is checked
// against: the same instruction, same sources, with its destination replaced
// by the reference register.
//
// The list is a chain: case 1 loads a base address, case 2 derives a data
// word from it, case 3 stores that word to RAM and case 4 reads it back, and
// later cases read the base and the framework registers ($s0 to $s3). No
// case needs an expected constant, since the reference is computed on the
// spot; but each slot result must be visible to the very next instruction.
#pragma once

#include <cstdint>
#include <vector>

#include "asm/assembler.h"
#include "isa/isa.h"

namespace r3k::delay_slots {

struct SlotInstruction {
  isa::Op op;
  isa::Fields fields;  // as listed, its own destination included

  // Multiply and divide leave their result in HI and LO and have no
  // destination register; their cases compare LO instead.
  bool writes_hilo() const;
  // The register the instruction writes; for a store, the register stored.
  isa::Reg destination() const;  // throws for multiply and divide
  uint32_t encoding() const { return isa::encode(op, fields); }
  uint32_t encoding_into(isa::Reg destination) const;
  void emit_into(assembly::Assembler& as, isa::Reg destination) const { as.word(encoding_into(destination)); }
  void emit(assembly::Assembler& as) const { as.word(encoding()); }  // as listed
};

// The list as one routine carries it: 26 or 32 instructions in case order,
// with that routine's registers and RAM offset.
struct SlotList {
  std::vector<SlotInstruction> cases;
  int32_t ram_offset = 0;  // of the word cases 3 and 4 store and load, from the base of case 1
};

inline constexpr uint32_t kRamBase = 0x80020000;      // what case 1 loads
inline constexpr uint32_t kStoredWord = 0x80018123;   // what case 2 derives and case 3 stores
inline constexpr int kShortList = 26;                 // beq, bne, j, jal, jr: ALU, shifts and memory
inline constexpr int kFullList = 32;                  // the rest add multiply, divide and the HI/LO reads
inline constexpr int kFirstMultiplyDivide = 27;       // cases 27 to 30, 1-based
inline constexpr uint32_t kDividend = 0x80000000;     // $t0 of cases 27 to 30
inline constexpr uint32_t kDivisor = 0x8000;          // $t1 of cases 27 to 30

// The list for the routine testing `under_test` (beq ... bgezal, j ... jalr).
// Throws for any other instruction.
SlotList slot_list(isa::Op under_test);

// Between case 26 and case 27 of a full list: the operands of the multiply
// and divide cases, replacing the base and the data word in $t0 and $t1.
void load_multiply_divide_operands(assembly::Assembler& as);

}  // namespace r3k::delay_slots
