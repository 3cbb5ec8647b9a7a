// One instruction decoded once, ready for the run loop: the operation and its
// operands with every immediate already extended and every branch or jump
// target already computed.
#pragma once

#include <cstdint>
#include <optional>

#include "isa/isa.h"

namespace r3k::sim {

// The operations of the run loop: the instruction set's rows in the same
// order (so an Action converts to and from isa::Op), then the entries that are
// not instructions.
enum class Action : uint8_t {
#define R3K_ACTION(name, ...) name,
  R3K_INSTRUCTIONS(R3K_ACTION)
#undef R3K_ACTION
  reserved,        // isa::Op::invalid: raises the reserved-instruction exception
  end_loop,        // the pc reached the end loop: the run is finished
  exception_loop,  // the pc reached the exception loop
  outside_rom,     // a word past the boot ROM's contents: fetch through the bus
  counted_loop,    // an addiu heading a counted loop (sim/counted_loop.h): a plain
                   // run may take whole passes at once; anything else sees addiu
};
static_assert(static_cast<int>(Action::reserved) == static_cast<int>(isa::Op::invalid));

inline constexpr Action action_of(isa::Op op) { return static_cast<Action>(op); }

struct Decoded {
  Action action = Action::reserved;
  uint8_t rs = 0, rt = 0, rd = 0;
  // The immediate as the instruction uses it: sign-extended for arithmetic,
  // compare, load and store offsets; zero-extended for andi, ori, xori;
  // already shifted for lui; the shift amount of sll, srl, sra; the code of
  // syscall and break.
  uint32_t imm = 0;
  uint32_t target = 0;  // absolute destination of a branch or j/jal
  uint32_t word = 0;    // the instruction word as fetched

  uint32_t sa() const { return imm; }
  isa::Op op() const { return action < Action::reserved ? static_cast<isa::Op>(action) : isa::Op::invalid; }
};
static_assert(sizeof(Decoded) == 16, "the predecoded ROM packs four instructions per cache line");

// Decodes the word fetched from `address` (the address fixes branch and jump
// targets).
Decoded decode_at(uint32_t word, uint32_t address);

// The general register the instruction names as its destination, by the
// instruction table ($zero included: the write is lost); nothing for one
// that names none or a reserved word, which traps.
std::optional<uint8_t> named_destination(const Decoded& d);

}  // namespace r3k::sim
