// Forwarding into every instruction that reads a register: a plain addu
// writes one register operand of the instruction, which reads it 1, 2 or 3
// instructions later. A core whose bypass mux is wired per instruction or
// per unit can leave one instruction's path out; the other forwarding
// routines read through a handful of fixed consumers and never see it.
//
// The readers come from the instruction table's read facts. Left out, by
// format:
//   - jr, jalr: a jump through a register goes wherever the value says;
//     n11 already jumps through an addu's result at distances 1 to 3.
//   - mtc0: writing a coprocessor register changes how the processor runs
//     (Status, the exception state), not a value this routine can compare.
// syscall, break, mfc0 and rfe read no general register.
#pragma once

#include <cstdint>
#include <vector>

#include "isa/isa.h"
#include "routine/random.h"

namespace r3k::supplement {

// Whether the routine has cases for `op` (it reads rs or rt and its format
// is not one left out above).
bool is_tested_reader(isa::Op op);

struct ReaderCase {
  isa::Op op;
  isa::Operand operand;  // rs or rt: the one the addu writes
  int distance = 1;
  uint32_t value = 0;    // what the addu writes
  uint32_t stale = 0;    // what the register holds before
  uint32_t addend = 0;   // the addu's second operand
  uint32_t other = 0;    // the other register operand, if the instruction reads one
  uint16_t imm = 0;      // immediate, shift amount or offset
  // Memory cases: the word the instruction reaches, and the one a stale base reaches.
  uint32_t address = 0, word = 0;
  uint32_t decoy_address = 0, decoy = 0;
};

// What the check sees: a register result, LO, the word stored, or 1 for a
// taken branch; and HI.
struct ReaderOutcome {
  uint32_t value = 0, hi = 0;
  friend bool operator==(const ReaderOutcome&, const ReaderOutcome&) = default;
};

// The outcome when the read register holds `read` (the case's value or its
// stale one). Throws std::logic_error where the instruction has no defined,
// non-trapping result.
ReaderOutcome reader_outcome(const ReaderCase& c, uint32_t read);

// Every tested reader, each register operand it reads, distances 1 to 3,
// drawn so that the stale value gives another outcome.
std::vector<ReaderCase> draw_reader_cases(int routine_number, Random& random);

}  // namespace r3k::supplement
