// add, addu, sub, subu, slt, sltu, and, or, xor, nor
#include "families/register_alu.h"

#include <stdexcept>

#include "families/families.h"

namespace r3k {
namespace register_alu {

namespace {

using namespace isa;  // register names
using isa::Op;

// The case counts are part of the image: its pinned digest locks them.
constexpr std::array<Member, 10> kMembers = {{
    {.op = Op::addu, .drawn = {200, 50, 50, 1}},
    {.op = Op::or_, .drawn = {200, 50, 50, 1}},
    {.op = Op::slt, .drawn = {200, 50, 50, 1}},
    {.op = Op::add, .drawn = {200, 50, 50, 1}},
    {.op = Op::sub, .drawn = {200, 50, 50, 1}},
    {.op = Op::subu, .drawn = {200, 50, 50, 1}},
    {.op = Op::sltu, .drawn = {200, 50, 50, 1}},
    {.op = Op::and_, .drawn = {200, 50, 50, 1}},
    {.op = Op::nor, .drawn = {200, 50, 50, 1}},
    {.op = Op::xor_, .drawn = {200, 50, 50, 1}},
}};

uint32_t non_zero_word(Random& random) {
  for (;;)
    if (const uint32_t value = random.word(); value != 0) return value;
}

}  // namespace

const Member& member(Op op) { return find_member(kMembers, op, "register ALU"); }

bool overflows(Op op, uint32_t a, uint32_t b) {
  int32_t ignored;
  if (op == Op::add) return __builtin_add_overflow(int32_t(a), int32_t(b), &ignored);
  if (op == Op::sub) return __builtin_sub_overflow(int32_t(a), int32_t(b), &ignored);
  return false;
}

uint32_t result(Op op, uint32_t a, uint32_t b) {
  if (overflows(op, a, b))
    throw std::logic_error(std::string(isa::info(op).mnemonic) + " overflows: it traps and writes no result");
  switch (op) {
    case Op::add:
    case Op::addu: return a + b;
    case Op::sub:
    case Op::subu: return a - b;
    case Op::slt: return int32_t(a) < int32_t(b) ? 1 : 0;
    case Op::sltu: return a < b ? 1 : 0;
    case Op::and_: return a & b;
    case Op::or_: return a | b;
    case Op::xor_: return a ^ b;
    case Op::nor: return ~(a | b);
    default: break;
  }
  member(op);  // throws
  return 0;
}

std::vector<Case> draw_cases(Op op, Random& random) {
  const Member& m = member(op);
  std::vector<Case> cases;
  auto keep = [&](Group group, uint32_t a, uint32_t b) {
    cases.push_back({group, a, b, result(op, a, b)});
  };

  // The trapping instructions draw their pairs exactly as the others do and
  // keep those that do not overflow, so about a quarter of them go.
  for (int i = 0; i < m.drawn[0]; ++i) {
    const uint32_t a = non_zero_word(random);
    uint32_t b;
    do b = non_zero_word(random);
    while (b == a);
    if (!overflows(op, a, b)) keep(Group::both_random, a, b);
  }
  for (int i = 0; i < m.drawn[1]; ++i) keep(Group::second_zero, non_zero_word(random), 0);
  // 0 - 0x80000000 is the one pair with a zero operand that overflows.
  for (int i = 0; i < m.drawn[2]; ++i) {
    uint32_t b;
    do b = non_zero_word(random);
    while (overflows(op, 0, b));
    keep(Group::first_zero, 0, b);
  }
  for (int i = 0; i < m.drawn[3]; ++i) keep(Group::both_zero, 0, 0);
  return cases;
}

}  // namespace register_alu

// The expected value is loaded last, so between the load of $t1 and its use
// stand only the one or two instructions of that load.
void register_alu_cases(RoutineContext& routine) {
  using namespace isa;  // register names
  assembly::Assembler& as = routine.as;
  static constexpr std::string_view kGroupNames[] = {"", "A and B random", "B = 0", "A = 0", "A = B = 0"};
  const auto describe = [](const register_alu::Case& c) {
    const int group = static_cast<int>(c.group);
    return CaseInfo{group, kGroupNames[group], {{"A", c.a}, {"B", c.b}, {"expected", c.expected}}, {}};
  };
  emit_cases(routine, register_alu::draw_cases(routine.spec.op, routine.random), describe,
             [&](const register_alu::Case& c) {
               as.li(t0, c.a);
               as.li(t1, c.b);
               as.li(v1, c.expected);
               as.alu(routine.spec.op, v0, t0, t1);
               as.bne(v0, v1, routine.inst_error);
               as.nop();
             });
}

}  // namespace r3k
