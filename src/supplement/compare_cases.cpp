// Comparisons where the main image draws no telling operands:
// set-on-less-than whose subtraction overflows, immediates over their whole
// sign-extended range, and beq/bne with operands that differ in one half.
#include <cstdio>

#include "families/immediate_alu.h"
#include "families/register_alu.h"
#include "supplement/draws.h"
#include "supplement/robust_code.h"
#include "supplement/supplement.h"

namespace r3k::supplement {

using namespace isa;  // register names
using assembly::Label;

namespace {

// Whether a - b overflows as a signed subtraction.
bool difference_overflows(uint32_t a, uint32_t b) {
  const int64_t difference = int64_t(int32_t(a)) - int64_t(int32_t(b));
  return difference > INT32_MAX || difference < INT32_MIN;
}

std::string hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

}  // namespace

std::vector<std::pair<uint32_t, uint32_t>> draw_overflow_pairs(Random& random) {
  std::vector<std::pair<uint32_t, uint32_t>> pairs = {
      {0x7FFFFFFF, 0xFFFFFFFF}, {0xFFFFFFFF, 0x7FFFFFFF}, {0x80000000, 1},          {1, 0x80000000},
      {0x80000000, 0x7FFFFFFF}, {0x7FFFFFFF, 0x80000000}, {0x80000000, 0},          {0, 0x80000000},
      {0x7FFFFFFF, 0x80000001}, {0x80000001, 0x7FFFFFFF}, {0x40000000, 0xC0000000}, {0xC0000000, 0x40000000},
  };
  while (pairs.size() < 24) {
    const uint32_t a = random.word(), b = random.word();
    if (difference_overflows(a, b)) pairs.push_back({a, b});
  }
  return pairs;
}

// op $t3, $t0, $t1 ; the read gap ; bne $t3, $t2 (expected)
void set_less_overflow_cases(RoutineContext& routine) {
  auto& as = routine.as;
  const auto pairs = draw_overflow_pairs(routine.random);
  for (Op op : {Op::slt, Op::sltu})
    for (const auto& [a, b] : pairs) {
      const uint32_t expected = register_alu::result(op, a, b);
      routine.begin_case({op == Op::slt ? 1 : 2, info(op).mnemonic, {{"A", a}, {"B", b}, {"expected", expected}}, {}});
      LoadBlock().value(t0, a).value(t1, b).value(t2, expected).emit(as);
      as.alu(op, t3, t0, t1);
      read_gap(as);
      fail_unless_equal(routine, t3, t2);
    }
}

// Immediates from every part of the sign-extended range: the edges, every
// single bit, and random ones; each against X just below it, equal to it,
// and the two ends of the signed range.
std::vector<uint16_t> draw_range_immediates(Random& random) {
  std::vector<uint16_t> immediates = {0x0000, 0x0001, 0x7FFE, 0x7FFF, 0x8000, 0x8001, 0xFFFE, 0xFFFF};
  for (int bit = 1; bit < 15; ++bit) immediates.push_back(static_cast<uint16_t>(1u << bit));
  for (int i = 0; i < 4; ++i) immediates.push_back(random.imm16());
  return immediates;
}

void set_less_immediate_range_cases(RoutineContext& routine) {
  auto& as = routine.as;
  const std::vector<uint16_t> immediates = draw_range_immediates(routine.random);
  for (Op op : {Op::slti, Op::sltiu})
    for (uint16_t field : immediates) {
      const uint32_t widened = immediate_alu::widen_immediate(op, field);
      for (uint32_t x : {widened - 1, widened, 0x7FFFFFFFu, 0x80000000u}) {
        const uint32_t expected = immediate_alu::result(op, x, field);
        routine.begin_case(
            {op == Op::slti ? 1 : 2, info(op).mnemonic, {{"X", x}, {"immediate", field}, {"expected", expected}}, {}});
        LoadBlock().value(t0, x).value(t2, expected).emit(as);
        as.immediate(op, t3, t0, field);
        read_gap(as);
        fail_unless_equal(routine, t3, t2);
      }
    }
}

std::vector<HalvesCase> draw_halves_cases(Random& random) {
  std::vector<HalvesCase> cases;
  for (int bit = 0; bit < 32; ++bit) {
    const uint32_t x = random.word();
    cases.push_back({x, x ^ (1u << bit), "differ in bit " + std::to_string(bit)});
  }
  for (int i = 0; i < 8; ++i) {
    const uint32_t x = random.word();
    const uint32_t high = nonzero_word(random) & 0xFFFF0000;
    if (high) cases.push_back({x, x ^ high, "equal low halves"});
    const uint32_t low = nonzero_word(random) & 0xFFFF;
    if (low) cases.push_back({x, x ^ low, "equal high halves"});
  }
  for (int i = 0; i < 4; ++i) {
    const uint32_t x = random.word();
    cases.push_back({x, x, "equal"});
  }
  return cases;
}

// op $t0, $t1, T ; nop ; b C ; addiu $t2, $zero, 0 ; T: addiu $t2, $zero, 1 ;
// nop ; C: the read gap ; bne $t2, $t3 (expected taken)
void branch_compare_halves_cases(RoutineContext& routine) {
  auto& as = routine.as;
  const std::vector<HalvesCase> cases = draw_halves_cases(routine.random);
  for (Op op : {Op::beq, Op::bne})
    for (const HalvesCase& c : cases) {
      const bool taken = (c.x == c.y) == (op == Op::beq);
      routine.begin_case({op == Op::beq ? 1 : 2, info(op).mnemonic, {{"X", c.x}, {"Y", c.y}, {"taken", taken}},
                          c.what + (taken ? ", taken" : ", not taken") + " (" + hex(c.x ^ c.y) + ")"});
      Label target = as.make_label(), compare = as.make_label();
      LoadBlock().value(t0, c.x).value(t1, c.y).value(t3, taken).emit(as);
      as.branch(op, t0, t1, target);
      as.nop();
      as.b(compare);
      as.addiu(t2, zero, 0);
      as.bind(target);
      as.addiu(t2, zero, 1);
      as.nop();
      as.bind(compare);
      read_gap(as);
      fail_unless_equal(routine, t2, t3);
    }
}

}  // namespace r3k::supplement
