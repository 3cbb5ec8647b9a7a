// The HI/LO transfer family: every case writes a word to HI or LO with mthi
// or mtlo and reads it straight back with mfhi or mflo.
#pragma once

#include <cstdint>
#include <vector>

#include "routine/random.h"
#include "isa/isa.h"

namespace r3k::hilo_moves {

// One routine of the family. The routines named after the read and after the
// write of one register run the same template with their own words.
struct Member {
  isa::Op op;           // the instruction the routine is named after
  isa::Op write;        // mthi or mtlo
  isa::Op read;         // mfhi or mflo
  int random_words;     // cases before the final zero case
  unsigned word_class;  // which quarter of the word space the routine draws from
};

// Throws std::logic_error for an instruction outside the family.
const Member& member(isa::Op op);

// The quarter (0..3) of the word space a non-zero word belongs to. Each move
// routine draws only words of its own quarter, which keeps the four routines'
// words apart although each draws from its own stream; the hash mixes every
// bit, so a quarter keeps the distribution of random words.
unsigned word_class(uint32_t word);

// The words one routine writes and expects back, in emission order: distinct
// non-zero random words of the routine's quarter, then 0.
std::vector<uint32_t> draw_cases(isa::Op op, Random& random);

}  // namespace r3k::hilo_moves
