// Tiny hand-assembled programs for the simulator's tests, built with the
// instruction table's encoder alone.
#pragma once

#include <cstdint>
#include <vector>

#include "board/layout.h"
#include "isa/isa.h"
#include "sim/machine.h"

namespace r3k::sim::test {

using isa::Op;
using enum isa::Reg;  // register names: t0, ra, ...

// Above both loops, so a program never runs into a stop entry by accident.
inline constexpr uint32_t kProgramBase = 0xBFC00400;
inline constexpr uint32_t kScratch = 0x80000100;  // a RAM word for memory cases

class Program {
 public:
  explicit Program(uint32_t base = kProgramBase) : base_(base) {}

  uint32_t base() const { return base_; }
  const std::vector<uint32_t>& words() const { return words_; }
  uint32_t here() const { return base_ + 4 * static_cast<uint32_t>(words_.size()); }

  Program& word(uint32_t value) {
    words_.push_back(value);
    return *this;
  }
  Program& emit(Op op, isa::Fields fields) { return word(isa::encode(op, fields)); }
  Program& nop() { return word(0); }
  // Always lui + ori, so that offsets over it are easy to count.
  Program& li(unsigned reg, uint32_t value) {
    emit(Op::lui, {.rt = uint8_t(reg), .imm = uint16_t(value >> 16)});
    return emit(Op::ori, {.rs = uint8_t(reg), .rt = uint8_t(reg), .imm = uint16_t(value)});
  }
  // A branch whose target is `words` instructions after its delay slot.
  Program& branch(Op op, unsigned rs, unsigned rt, int words) {
    return emit(op, {.rs = uint8_t(rs), .rt = uint8_t(rt), .imm = uint16_t(words)});
  }
  Program& jump(Op op, uint32_t target) { return emit(op, {.target = (target >> 2) & 0x03FFFFFF}); }
  Program& store(Op op, unsigned rt, int16_t offset, unsigned base) {
    return emit(op, {.rs = uint8_t(base), .rt = uint8_t(rt), .imm = uint16_t(offset)});
  }
  Program& load(Op op, unsigned rt, int16_t offset, unsigned base) { return store(op, rt, offset, base); }
  // Leaves for the end loop.
  Program& finish() { return jump(Op::j, layout::kEndLoop).nop(); }

  // The boot memory: zero words up to the program, then the program.
  std::vector<uint8_t> rom() const {
    std::vector<uint8_t> bytes(base_ - layout::kResetVector, 0);
    for (uint32_t w : words_)
      for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(w >> (8 * i)));
    return bytes;
  }

 private:
  uint32_t base_;
  std::vector<uint32_t> words_;
};

// branch ; slot: $t3 += 1 ; $v0 = kNotTaken ; leave ; target: $v0 = kTaken ; leave.
// Returns the branch's address.
inline constexpr uint32_t kNotTaken = 1, kTaken = 2;
inline uint32_t emit_two_way(Program& p, Op op, unsigned rs, unsigned rt) {
  const uint32_t at = p.here();
  p.branch(op, rs, rt, 4).emit(Op::addiu, {.rs = t3, .rt = t3, .imm = 1});
  p.emit(Op::addiu, {.rt = v0, .imm = kNotTaken}).finish();
  p.emit(Op::addiu, {.rt = v0, .imm = kTaken}).finish();
  return at;
}

inline RunResult run(const Program& program, RunOptions options = {}) {
  options.start_pc = program.base();
  Machine machine(program.rom());
  return machine.run(options);
}

}  // namespace r3k::sim::test
