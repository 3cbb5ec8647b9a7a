// The case shape every memory routine shares. A case writes its data word
// (or, for a sub-word or unaligned store, its preset word) at A = B + O and two
// neighbour words at A + 4 and A + D, each holding the address that, plus O,
// points back at it. Three follow-up loads then chase the neighbour words
// through one another, so loads whose address depends on the load just before
// them run through the pipeline; only the accessed value is compared.
#pragma once

#include <cstdint>

#include "asm/assembler.h"
#include "routine/routine.h"

namespace r3k::memory {

// Offsets from here up take the three-instruction long form.
inline constexpr uint32_t kLongFormOffset = 0x8000;

struct MemoryCase {
  int group = 1;                // 1 to 3; the unaligned routines have one group
  uint32_t base = 0;            // B, a multiple of 4
  uint32_t offset = 0;          // O, a multiple of 4 up to 0xFFFC: the data word's displacement
  unsigned lane = 0;            // k, the access's byte offset within the data word
  uint32_t memory_word = 0;     // W (the word loads read from) or P (the preset a partial store changes)
  uint32_t register_value = 0;  // S, the register a partial store writes; R0, the lwl/lwr preset; else 0
  uint32_t expected = 0;        // E: the loaded register, or the word read back after the store

  uint32_t address() const { return base + offset; }
  bool long_form() const { return offset >= kLongFormOffset; }
};

// Which neighbour word the follow-up loads start from.
enum class FollowUps {
  a1_first,  // lw $a1, O($a0); lw $a0, O($a1); lw $a2, O($a1)
  a0_first,  // lw $a0, O($a1); lw $a1, O($a0); lw $a2, O($a1)
};

// $a0 = B + 4 and $a1 = B + second_neighbour, each stored at itself plus O.
void emit_neighbour_words(assembly::Assembler& as, uint32_t offset, int16_t second_neighbour);
void emit_follow_up_loads(assembly::Assembler& as, uint32_t offset, FollowUps order);
// The case as the case index shows it: B, O, the address A, the lane k, the
// words the access reads or changes, and the group (`grouped` routines only).
CaseInfo describe(const MemoryCase& c, isa::Op access, bool grouped);

// bne $v0, $v1, inst_error with its nop.
void emit_check(assembly::Assembler& as, assembly::Label inst_error);

// W to A, neighbours at A + 4 and A - 8, `access` into $v0 at A + k, follow-ups
// from $a1, check. With `preset_destination` $v0 is loaded with R0 first, for
// the loads that merge into it.
void emit_load_case(assembly::Assembler& as, isa::Op access, const MemoryCase& c, bool preset_destination,
                    assembly::Label inst_error);
// P to A, `access` stores $t1 = S at A + k, neighbours at A + 4 and A - 8, the
// word read back into $v0, follow-ups from $a0, check.
void emit_store_case(assembly::Assembler& as, isa::Op access, const MemoryCase& c, assembly::Label inst_error);

}  // namespace r3k::memory
