// addi, addiu, slti, sltiu, andi, ori, xori
#include "families/immediate_alu.h"

#include <unordered_set>
#include <stdexcept>

#include "families/families.h"

namespace r3k {
namespace immediate_alu {

namespace {

using namespace isa;  // register names
using isa::Op;

// The case counts are part of the image: its pinned digest locks them.
constexpr std::array<Member, 7> kMembers = {{
    {.op = Op::addiu, .cases = {107, 12, 3, 1}},
    {.op = Op::slti, .cases = {200, 50, 50, 1}},
    {.op = Op::sltiu, .cases = {200, 50, 50, 1}},
    {.op = Op::addi, .cases = {200, 50, 50, 1}},
    {.op = Op::andi, .cases = {200, 50, 50, 1}},
    {.op = Op::ori, .cases = {200, 50, 50, 1}},
    {.op = Op::xori, .cases = {200, 50, 50, 1}},
}};

constexpr std::array<uint16_t, 4> kEdgeValues = {0x0001, 0x7FFF, 0x8000, 0xFFFF};

bool is_comparison(Op op) { return op == Op::slti || op == Op::sltiu; }

// Draws the operands of one routine: immediates that are no edge value, and
// register operands that the routine has not used yet and that meet the
// instruction's own rule for the immediate they go with.
class OperandDraw {
 public:
  OperandDraw(Op op, Random& random) : op_(op), random_(random) {}

  uint16_t immediate() {
    for (;;)
      if (const uint16_t field = random_.imm16(); field != 0 && !is_edge_immediate(field)) return field;
  }

  uint32_t register_operand(uint16_t field) {
    for (;;) {
      const uint32_t x = random_.word();
      if (x == 0 || used_.contains(x) || overflows(op_, x, field)) continue;
      if (is_comparison(op_) && comparison_distance(op_, x, field) < kComparisonMargin) continue;
      used_.insert(x);
      return x;
    }
  }

 private:
  Op op_;
  Random& random_;
  std::unordered_set<uint32_t> used_;
};

}  // namespace

const Member& member(Op op) { return find_member(kMembers, op, "immediate ALU"); }

uint32_t widen_immediate(Op op, uint16_t field) {
  member(op);  // throws for an instruction outside the family
  if (isa::info(op).immediate == isa::Extension::zero) return field;
  return uint32_t(int32_t(int16_t(field)));
}

bool overflows(Op op, uint32_t x, uint16_t field) {
  int32_t ignored;
  return op == Op::addi && __builtin_add_overflow(int32_t(x), int32_t(int16_t(field)), &ignored);
}

uint32_t result(Op op, uint32_t x, uint16_t field) {
  if (overflows(op, x, field)) throw std::logic_error("addi overflows: it traps and writes no result");
  const uint32_t imm = widen_immediate(op, field);
  switch (op) {
    case Op::addi:
    case Op::addiu: return x + imm;
    case Op::slti: return int32_t(x) < int32_t(imm) ? 1 : 0;
    case Op::sltiu: return x < imm ? 1 : 0;
    case Op::andi: return x & imm;
    case Op::ori: return x | imm;
    default: return x ^ imm;  // xori; widen_immediate refused the rest
  }
}

bool is_edge_immediate(uint16_t field) {
  for (const uint16_t edge : kEdgeValues) {
    const uint16_t above = uint16_t(field - edge), below = uint16_t(edge - field);
    if (above <= kEdgeNeighbourhood || below <= kEdgeNeighbourhood) return true;
  }
  return false;
}

uint64_t comparison_distance(Op op, uint32_t x, uint16_t field) {
  const uint32_t imm = widen_immediate(op, field);
  if (op == Op::slti) {
    const int64_t difference = int64_t(int32_t(x)) - int32_t(imm);
    return uint64_t(difference < 0 ? -difference : difference);
  }
  if (op == Op::sltiu) return x > imm ? uint64_t(x) - imm : uint64_t(imm) - x;
  throw std::logic_error(std::string(isa::info(op).mnemonic) + " is not a comparison");
}

std::vector<Case> draw_cases(Op op, Random& random) {
  const Member& m = member(op);
  OperandDraw draw(op, random);
  std::vector<Case> cases;
  auto keep = [&](Group group, uint32_t x, uint16_t field) {
    cases.push_back({group, x, field, result(op, x, field)});
  };
  for (int i = 0; i < m.cases[0]; ++i) {
    const uint16_t field = draw.immediate();
    keep(Group::both_random, draw.register_operand(field), field);
  }
  for (int i = 0; i < m.cases[1]; ++i) keep(Group::zero_immediate, draw.register_operand(0), 0);
  for (int i = 0; i < m.cases[2]; ++i) keep(Group::zero_register, 0, draw.immediate());
  for (int i = 0; i < m.cases[3]; ++i) keep(Group::both_zero, 0, 0);
  return cases;
}

}  // namespace immediate_alu

// The expected value is loaded between the load of $t0 and its use, so the
// register operand is two or three instructions old when it is read.
void immediate_alu_cases(RoutineContext& routine) {
  using namespace isa;  // register names
  assembly::Assembler& as = routine.as;
  static constexpr std::string_view kGroupNames[] = {"", "X and immediate random", "immediate 0", "X = 0",
                                                     "X = 0, immediate 0"};
  const auto describe = [](const immediate_alu::Case& c) {
    const int group = static_cast<int>(c.group);
    return CaseInfo{group, kGroupNames[group], {{"X", c.x}, {"immediate", c.field}, {"expected", c.expected}}, {}};
  };
  emit_cases(routine, immediate_alu::draw_cases(routine.spec.op, routine.random), describe,
             [&](const immediate_alu::Case& c) {
               as.li(t0, c.x);
               as.li(v1, c.expected);
               as.immediate(routine.spec.op, v0, t0, c.field);
               as.bne(v0, v1, routine.inst_error);
               as.nop();
             });
}

}  // namespace r3k
