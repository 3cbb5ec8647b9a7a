#include "exceptions/trap_draws.h"

#include <utility>

namespace r3k::exceptions {

using isa::Op;

namespace {

int64_t signed_of(uint32_t word) { return static_cast<int32_t>(word); }
uint32_t widened(uint32_t imm) { return static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(imm))); }

ArithmeticCase make(Op op, uint32_t a, uint32_t b) {
  const bool immediate = op == Op::addi || op == Op::addiu;
  const bool subtract = op == Op::sub || op == Op::subu;
  const uint32_t operand = immediate ? widened(b) : b;
  const int64_t exact = subtract ? signed_of(a) - signed_of(operand) : signed_of(a) + signed_of(operand);
  const bool overflows = exact != signed_of(static_cast<uint32_t>(exact));
  const bool can_trap = op == Op::add || op == Op::addi || op == Op::sub;
  return {op, a, immediate ? b & 0xFFFF : b, overflows && can_trap, static_cast<uint32_t>(exact)};
}

// Operands on both sides of every boundary: the largest and smallest
// values with +-1, each other and themselves.
const std::pair<uint32_t, uint32_t> kRegisterPairs[] = {
    {0x7FFFFFFF, 1},          {1, 0x7FFFFFFF},          {0x7FFFFFFF, 0x7FFFFFFF}, {0x80000000, 0xFFFFFFFF},
    {0x80000000, 0x80000000}, {0xFFFFFFFF, 0x80000000}, {0x80000000, 1},          {0x7FFFFFFF, 0xFFFFFFFF},
    {0, 0x80000000},          {0x80000000, 0x7FFFFFFF}, {0x7FFFFFFF, 0x80000000}, {0x7FFFFFFF, 0},
    {0x80000000, 0},          {0x7FFFFFFE, 1},          {0x80000001, 0xFFFFFFFF}, {0xFFFFFFFF, 0x7FFFFFFF},
};
const std::pair<uint32_t, uint32_t> kImmediatePairs[] = {
    {0x7FFFFFFF, 1},      {0x7FFFFFFF, 0x7FFF}, {0x7FFF8000, 0x7FFF}, {0x80000000, 0xFFFF}, {0x80000000, 0x8000},
    {0x80007FFF, 0x8000}, {0x7FFFFFFF, 0},      {0x7FFFFFFF, 0xFFFF}, {0x80000000, 1},      {0x7FFF8000, 0x7FFE},
};

// A word within `span` of a boundary of the signed range.
uint32_t near_boundary(Random& random, uint32_t span) {
  const uint32_t offset = random.below(span);
  return random.below(2) ? 0x7FFFFFFF - offset : 0x80000000 + offset;
}

}  // namespace

std::vector<ArithmeticCase> draw_overflow_cases(Random& random, bool trapping) {
  const Op add = trapping ? Op::add : Op::addu, addi = trapping ? Op::addi : Op::addiu,
           sub = trapping ? Op::sub : Op::subu;
  std::vector<ArithmeticCase> cases;
  for (const auto& [a, b] : kRegisterPairs) cases.push_back(make(add, a, b));
  for (const auto& [a, b] : kRegisterPairs) cases.push_back(make(sub, a, b));
  for (const auto& [a, b] : kImmediatePairs) cases.push_back(make(addi, a, b));
  // Drawn near the boundaries, so about half of them overflow.
  for (int i = 0; i < 6; ++i) {
    cases.push_back(make(add, near_boundary(random, 1u << 24), near_boundary(random, 1u << 24)));
    cases.push_back(make(sub, near_boundary(random, 1u << 24), near_boundary(random, 1u << 24)));
    cases.push_back(make(addi, near_boundary(random, 0x8000), random.imm16()));
  }
  return cases;
}

std::vector<ReservedWord> reserved_words(Random& random) {
  std::vector<ReservedWord> words;
  // Reserved whatever its other fields hold: with them zero and drawn.
  auto reserved_both = [](uint32_t table, uint32_t drawn) {
    return isa::decode(table) == Op::invalid && isa::decode(table | drawn) == Op::invalid;
  };
  for (uint32_t opcode = 0; opcode < 64; ++opcode) {
    const uint32_t group = opcode & ~3u;
    if (group == 0x10 || group == 0x30 || group == 0x38) continue;  // coprocessor instructions: n9
    const uint32_t drawn = random.uniform32() & 0x03FFFFFF;
    if (opcode > 1 && reserved_both(opcode << 26, drawn)) words.push_back({opcode << 26 | drawn, "opcode"});
  }
  for (uint32_t function = 0; function < 64; ++function) {
    const uint32_t drawn = random.uniform32() & 0x03FFFFC0;
    if (reserved_both(function, drawn)) words.push_back({function | drawn, "SPECIAL"});
  }
  for (uint32_t rt = 0; rt < 32; ++rt) {
    const uint32_t drawn = random.uniform32() & 0x03E0FFFF;
    if (reserved_both(1u << 26 | rt << 16, drawn)) words.push_back({1u << 26 | rt << 16 | drawn, "REGIMM"});
  }
  return words;
}

std::vector<CoprocessorWord> coprocessor_words(Random& random) {
  std::vector<CoprocessorWord> words;
  for (uint32_t unit = 1; unit <= 3; ++unit) {
    const uint32_t rt = random.below(32) << 16, rd = random.below(32) << 11;
    words.push_back({(0x10 | unit) << 26 | 0x00u << 21 | rt | rd, unit, "mfc" + std::to_string(unit)});
    words.push_back({(0x10 | unit) << 26 | 0x04u << 21 | rt | rd, unit, "mtc" + std::to_string(unit)});
    words.push_back({(0x10 | unit) << 26 | 0x02u << 21 | rt | rd, unit, "cfc" + std::to_string(unit)});
    words.push_back({(0x10 | unit) << 26 | 0x06u << 21 | rt | rd, unit, "ctc" + std::to_string(unit)});
    words.push_back({(0x10 | unit) << 26 | 1u << 25 | (random.uniform32() & 0x01FFFFFF), unit,
                     "cop" + std::to_string(unit) + " operation"});
    words.push_back({(0x30 | unit) << 26 | rt | random.imm16(), unit, "lwc" + std::to_string(unit)});
    words.push_back({(0x38 | unit) << 26 | rt | random.imm16(), unit, "swc" + std::to_string(unit)});
  }
  return words;
}

}  // namespace r3k::exceptions
