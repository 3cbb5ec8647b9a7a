// The values the trap routines draw, as plain lists a test can inspect.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "routine/random.h"
#include "isa/isa.h"

namespace r3k::exceptions {

// add, addi, sub (n1) or addu, addiu, subu (n2); for the immediate forms `b`
// holds the 16-bit immediate.
struct ArithmeticCase {
  isa::Op op;
  uint32_t a, b;
  bool traps;
  uint32_t result;  // what rd gets when it does not trap
};
// n1: the trapping forms at every boundary of the signed range, overflowing
// and not; n2: the unsigned forms on the same operands, none of which traps.
std::vector<ArithmeticCase> draw_overflow_cases(Random& random, bool trapping);

// n8: the words of the opcode, SPECIAL and REGIMM tables that no row of the
// instruction table has (coprocessor opcodes aside), some with drawn operand
// fields.
struct ReservedWord {
  uint32_t word;
  std::string_view table;
};
std::vector<ReservedWord> reserved_words(Random& random);

// n9: instructions of coprocessors 1..3 (moves, loads, stores, operations).
struct CoprocessorWord {
  uint32_t word;
  uint32_t unit;
  std::string what;
};
std::vector<CoprocessorWord> coprocessor_words(Random& random);

}  // namespace r3k::exceptions
