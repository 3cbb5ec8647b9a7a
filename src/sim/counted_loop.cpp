#include "sim/counted_loop.h"

#include <bit>

namespace r3k::sim {

namespace {

// Writes only $zero, touches neither memory nor HI/LO and never traps.
bool changes_nothing(const Decoded& d) {
  using A = Action;
  switch (d.action) {
    case A::sll: case A::srl: case A::sra: case A::sllv: case A::srlv: case A::srav:
    case A::addu: case A::subu: case A::and_: case A::or_: case A::xor_: case A::nor:
    case A::slt: case A::sltu: case A::mfhi: case A::mflo:
      return d.rd == isa::zero;
    case A::addiu: case A::slti: case A::sltiu: case A::andi: case A::ori: case A::xori: case A::lui:
      return d.rt == isa::zero;
    default:
      return false;
  }
}

// The inverse of an odd number modulo 2^32 (Newton's iteration doubles the
// correct low bits each step: 3, 6, 12, 24, 48).
uint32_t inverse_of_odd(uint32_t odd) {
  uint32_t inverse = odd;
  for (int i = 0; i < 4; ++i) inverse *= 2 - odd * inverse;
  return inverse;
}

}  // namespace

bool is_counted_loop(uint32_t address, const Decoded& first, const Decoded& second, const Decoded& third) {
  const uint8_t counter = first.rt;
  const bool tests_counter = second.action == Action::bne && second.target == address &&
                             ((second.rs == counter && second.rt == isa::zero) ||
                              (second.rs == isa::zero && second.rt == counter));
  return steps_a_counter(first) && tests_counter && changes_nothing(third);
}

uint64_t passes_until_zero(uint32_t value, uint32_t step) {
  // n * step == -value (mod 2^32). With step = odd * 2^shift this has a
  // solution only if 2^shift divides -value, and then one modulo 2^(32-shift).
  if (step == 0) return value == 0 ? 1 : 0;
  const auto shift = static_cast<unsigned>(std::countr_zero(step));
  const uint32_t wanted = 0u - value;
  if (wanted & ((1u << shift) - 1)) return 0;
  const uint64_t modulus = uint64_t{1} << (32 - shift);
  const uint64_t passes = ((wanted >> shift) * inverse_of_odd(step >> shift)) & (modulus - 1);
  return passes == 0 ? modulus : passes;  // from 0, all the way round
}

}  // namespace r3k::sim
