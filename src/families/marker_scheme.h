// The marker scheme shared by the branch and jump families.
//
// A case does not compare a computed value: it clears $v0 and $v1, lets the
// blocks that a branch or jump reaches write marker constants into them, and
// then compares them with the expected markers loaded into $s5 and $s6. A
// marker is never 0, so "block reached" and "block skipped" always differ.
// The random operands of these families follow the markers' value rule:
// every one takes the two-instruction constant load.
#pragma once

#include <cstdint>
#include <set>

#include "asm/assembler.h"
#include "routine/random.h"
#include "isa/isa.h"

namespace r3k::markers {

// Where the blocks write their markers and where the expected ones go.
inline constexpr isa::Reg kFirstMarker = isa::v0;   // written by the block the backward transfer reaches
inline constexpr isa::Reg kSecondMarker = isa::v1;  // written by the block the forward transfer reaches
inline constexpr isa::Reg kExpectedFirst = isa::s5;
inline constexpr isa::Reg kExpectedSecond = isa::s6;

// Whether a value takes the two-instruction constant load, lui then ori: it
// is neither a signed 16-bit value nor an ori-sized one, and its low half is
// not zero.
bool takes_two_instructions(uint32_t value);

// A random word redrawn until it takes the two-instruction load, so that
// every case of a routine has the same length.
uint32_t draw_two_instruction_word(Random& random);
// The same with the sign bit as asked.
uint32_t draw_two_instruction_word(Random& random, bool negative);

// Draws the markers of one routine, none equal to another.
class MarkerDraw {
 public:
  explicit MarkerDraw(Random& random) : random_(random) {}

  // A random word with the two-instruction load.
  uint32_t next();
  // A marker whose low half is zero, so a lone lui loads it; its high half
  // is non-zero and it lies outside the signed 16-bit range.
  uint32_t next_upper_only();

 private:
  Random& random_;
  std::set<uint32_t> used_;
};

// How a template clears $v0 and $v1: with `lui R, 0` or with the constant
// load of 0, which is `addiu R, $zero, 0`.
enum class OutcomeClear : uint8_t { lui, addiu };
void clear_outcome(assembly::Assembler& as, OutcomeClear how);

// li $s5, first ; li $s6, second
void load_expected_markers(assembly::Assembler& as, uint32_t first, uint32_t second);
// bne actual, expected, inst_error ; nop
void check_equal(assembly::Assembler& as, isa::Reg actual, isa::Reg expected, assembly::Label inst_error);
// The markers' check: load the expected markers, then compare $v0 and $v1.
void check_markers(assembly::Assembler& as, uint32_t first, uint32_t second, assembly::Label inst_error);

}  // namespace r3k::markers
