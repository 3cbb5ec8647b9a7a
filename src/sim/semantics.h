// What each instruction does, one short line per row of the instruction table.
// The run loop inlines execute(); a fault that wants the real instruction
// before corrupting its result calls execute_normal().
#pragma once

#include <cstdint>

#include "sim/cop0_semantics.h"
#include "sim/cpu.h"
#include "sim/decoded.h"

namespace r3k::sim {

// What the run loop does after an entry of the predecoded ROM.
enum class Flow : uint8_t { next, end_loop, exception_loop, outside_rom, counted_loop };

// Little-endian merges of the unaligned word instructions; `lane` is the
// address's byte offset in its word, `memory` the aligned word there.
// lwl fills the high lane+1 bytes of the register with the low bytes of the
// word; lwr fills the low 4-lane bytes with its high bytes; swl and swr store
// the mirror images.
inline uint32_t merge_lwl(uint32_t reg, uint32_t memory, unsigned lane) {
  const unsigned shift = 8 * (3 - lane);
  return memory << shift | (reg & ((1u << shift) - 1));
}
inline uint32_t merge_lwr(uint32_t reg, uint32_t memory, unsigned lane) {
  const unsigned shift = 8 * lane;
  return memory >> shift | (reg & ~(0xFFFFFFFFu >> shift));
}
inline uint32_t merge_swl(uint32_t memory, uint32_t reg, unsigned lane) {
  const unsigned shift = 8 * (3 - lane);
  return reg >> shift | (memory & ~(0xFFFFFFFFu >> shift));
}
inline uint32_t merge_swr(uint32_t memory, uint32_t reg, unsigned lane) {
  const unsigned shift = 8 * lane;
  return reg << shift | (memory & ((1u << shift) - 1));
}

inline uint32_t sign_extend_byte(uint32_t v) { return uint32_t(int32_t(int8_t(v))); }
inline uint32_t sign_extend_half(uint32_t v) { return uint32_t(int32_t(int16_t(v))); }

struct HiLo {
  uint32_t hi, lo;
};

inline HiLo multiply_signed(uint32_t a, uint32_t b) {
  const auto product = uint64_t(int64_t(int32_t(a)) * int32_t(b));
  return {uint32_t(product >> 32), uint32_t(product)};
}
inline HiLo multiply_unsigned(uint32_t a, uint32_t b) {
  const uint64_t product = uint64_t(a) * b;
  return {uint32_t(product >> 32), uint32_t(product)};
}

// MIPS-I leaves HI and LO unpredictable after a division by zero (the image
// never divides by zero). We leave what R3000A silicon is reported to: HI the
// dividend, LO all ones for divu and for div of a non-negative dividend, 1
// for div of a negative one.
inline HiLo divide_signed(uint32_t dividend, uint32_t divisor) {
  const auto n = int32_t(dividend), m = int32_t(divisor);
  if (m == 0) return {dividend, n < 0 ? 1u : 0xFFFFFFFFu};
  if (n == INT32_MIN && m == -1) return {0, dividend};  // the one quotient that does not fit
  return {uint32_t(n % m), uint32_t(n / m)};  // C++ truncates toward zero, as MIPS does
}
inline HiLo divide_unsigned(uint32_t dividend, uint32_t divisor) {
  if (divisor == 0) return {dividend, 0xFFFFFFFFu};
  return {dividend % divisor, dividend / divisor};
}

template <class Core>
inline void set_hi_lo(Core& c, HiLo result) {
  c.hi = result.hi, c.lo = result.lo;
}

template <class Core>
inline void add_trapping(Core& c, unsigned dest, uint32_t a, uint32_t b) {
  int32_t sum;
  if (__builtin_add_overflow(int32_t(a), int32_t(b), &sum)) c.raise(Cause::ArithmeticOverflow);
  else c.set_reg(dest, uint32_t(sum));
}
template <class Core>
inline void sub_trapping(Core& c, unsigned dest, uint32_t a, uint32_t b) {
  int32_t difference;
  if (__builtin_sub_overflow(int32_t(a), int32_t(b), &difference)) c.raise(Cause::ArithmeticOverflow);
  else c.set_reg(dest, uint32_t(difference));
}

using Merge = uint32_t (*)(uint32_t, uint32_t, unsigned);

// A load writes its register only if the access succeeded.
template <class Core, class Extend>
inline void load_into(Core& c, unsigned dest, uint32_t address, Width width, Extend extend) {
  uint32_t value;
  if (c.load(address, width, value)) c.set_reg(dest, extend(value));
}
template <class Core>
inline void load_merged(Core& c, unsigned dest, uint32_t address, Merge merge) {
  uint32_t word;
  if (c.load(address, Width::partial_word, word)) c.set_reg(dest, merge(c.reg(dest), word, address & 3));
}
// swl and swr change only some bytes of the word; whatever refuses the store
// of the merged word refuses the instruction.
template <class Core>
inline void store_merged(Core& c, uint32_t value, uint32_t address, Merge merge) {
  uint32_t word;
  if (c.bus().read(address & ~3u, Width::partial_word, word))
    c.store(address, Width::partial_word, merge(word, value, address & 3));
  else
    c.raise(Cause::BusErrorStore, address);
}

template <class Core>
[[gnu::always_inline]] inline Flow execute(Core& c, const Decoded& d) {
  using A = Action;
  const uint32_t s = c.reg(d.rs), t = c.reg(d.rt), imm = d.imm;
  const auto same = [](uint32_t v) { return v; };
  switch (d.action) {
    case A::sll: c.set_reg(d.rd, t << imm); break;
    case A::srl: c.set_reg(d.rd, t >> imm); break;
    case A::sra: c.set_reg(d.rd, uint32_t(int32_t(t) >> imm)); break;
    case A::sllv: c.set_reg(d.rd, t << (s & 31)); break;
    case A::srlv: c.set_reg(d.rd, t >> (s & 31)); break;
    case A::srav: c.set_reg(d.rd, uint32_t(int32_t(t) >> (s & 31))); break;
    case A::jr: c.branch(s); break;
    case A::jalr: c.set_reg(d.rd, c.link_address()), c.branch(s); break;
    case A::syscall: c.raise(Cause::Syscall); break;
    case A::break_: c.raise(Cause::Breakpoint); break;
    case A::mfhi: c.set_reg(d.rd, c.hi); break;
    case A::mthi: c.hi = s; break;
    case A::mflo: c.set_reg(d.rd, c.lo); break;
    case A::mtlo: c.lo = s; break;
    case A::mult: set_hi_lo(c, multiply_signed(s, t)); break;
    case A::multu: set_hi_lo(c, multiply_unsigned(s, t)); break;
    case A::div: set_hi_lo(c, divide_signed(s, t)); break;
    case A::divu: set_hi_lo(c, divide_unsigned(s, t)); break;
    case A::add: add_trapping(c, d.rd, s, t); break;
    case A::addu: c.set_reg(d.rd, s + t); break;
    case A::sub: sub_trapping(c, d.rd, s, t); break;
    case A::subu: c.set_reg(d.rd, s - t); break;
    case A::and_: c.set_reg(d.rd, s & t); break;
    case A::or_: c.set_reg(d.rd, s | t); break;
    case A::xor_: c.set_reg(d.rd, s ^ t); break;
    case A::nor: c.set_reg(d.rd, ~(s | t)); break;
    case A::slt: c.set_reg(d.rd, int32_t(s) < int32_t(t)); break;
    case A::sltu: c.set_reg(d.rd, s < t); break;
    case A::bltz: if (int32_t(s) < 0) c.branch(d.target); break;
    case A::bgez: if (int32_t(s) >= 0) c.branch(d.target); break;
    // The link is written whether or not the branch is taken; the condition
    // reads rs before the link overwrites it.
    case A::bltzal: c.set_reg(isa::ra, c.link_address()); if (int32_t(s) < 0) c.branch(d.target); break;
    case A::bgezal: c.set_reg(isa::ra, c.link_address()); if (int32_t(s) >= 0) c.branch(d.target); break;
    case A::j: c.branch(d.target); break;
    case A::jal: c.set_reg(isa::ra, c.link_address()), c.branch(d.target); break;
    case A::beq: if (s == t) c.branch(d.target); break;
    case A::bne: if (s != t) c.branch(d.target); break;
    case A::blez: if (int32_t(s) <= 0) c.branch(d.target); break;
    case A::bgtz: if (int32_t(s) > 0) c.branch(d.target); break;
    case A::addi: add_trapping(c, d.rt, s, imm); break;
    case A::addiu: c.set_reg(d.rt, s + imm); break;
    case A::slti: c.set_reg(d.rt, int32_t(s) < int32_t(imm)); break;
    case A::sltiu: c.set_reg(d.rt, s < imm); break;
    case A::andi: c.set_reg(d.rt, s & imm); break;
    case A::ori: c.set_reg(d.rt, s | imm); break;
    case A::xori: c.set_reg(d.rt, s ^ imm); break;
    case A::lui: c.set_reg(d.rt, imm); break;
    case A::lb: load_into(c, d.rt, s + imm, Width::byte, sign_extend_byte); break;
    case A::lh: load_into(c, d.rt, s + imm, Width::half, sign_extend_half); break;
    case A::lwl: load_merged(c, d.rt, s + imm, merge_lwl); break;
    case A::lw: load_into(c, d.rt, s + imm, Width::word, same); break;
    case A::lbu: load_into(c, d.rt, s + imm, Width::byte, same); break;
    case A::lhu: load_into(c, d.rt, s + imm, Width::half, same); break;
    case A::lwr: load_merged(c, d.rt, s + imm, merge_lwr); break;
    case A::sb: c.store(s + imm, Width::byte, t); break;
    case A::sh: c.store(s + imm, Width::half, t); break;
    case A::swl: store_merged(c, t, s + imm, merge_swl); break;
    case A::sw: c.store(s + imm, Width::word, t); break;
    case A::swr: store_merged(c, t, s + imm, merge_swr); break;
    case A::mfc0: move_from_cop0(c, d); break;
    case A::mtc0: move_to_cop0(c, d); break;
    case A::rfe: return_from_exception(c); break;
    case A::reserved: raise_unmatched(c, d.word); break;
    case A::end_loop: return Flow::end_loop;
    case A::exception_loop: return Flow::exception_loop;
    case A::outside_rom: return Flow::outside_rom;
    case A::counted_loop: return Flow::counted_loop;
  }
  return Flow::next;
}

// The same semantics, not inlined: for faults that run the real instruction.
Flow execute_normal(Cpu& c, const Decoded& d);

}  // namespace r3k::sim
