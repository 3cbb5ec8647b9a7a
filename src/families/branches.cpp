// beq, bne, bgez, bgtz, blez, bltz
#include "families/branches.h"

#include <algorithm>
#include <bit>
#include <stdexcept>

#include "families/families.h"

namespace r3k {
namespace branches {
namespace {

using namespace isa;  // register names
using assembly::Assembler;
using assembly::Label;
using markers::OutcomeClear;

// An unequal pair is two independent words; the rare pair that differs in
// fewer bits than this is redrawn, so no unequal case hinges on a near miss.
constexpr int kMinimumDifferingBits = 10;

// The case counts are part of the image: its pinned digest locks them.
constexpr Member kMembers[] = {
    {.op = Op::beq, .clear = OutcomeClear::lui, .filler_nops = true,
     .pair_groups = {32, 48, 10, 13, 1}, .positive = 0, .negative = 0, .upper_only_marker = false},
    {.op = Op::bne, .clear = OutcomeClear::lui, .filler_nops = true,
     .pair_groups = {66, 48, 18, 20, 1}, .positive = 0, .negative = 0, .upper_only_marker = false},
    {.op = Op::bgez, .clear = OutcomeClear::addiu, .filler_nops = true,
     .pair_groups = {}, .positive = 94, .negative = 106, .upper_only_marker = true},
    {.op = Op::bgtz, .clear = OutcomeClear::addiu, .filler_nops = true,
     .pair_groups = {}, .positive = 91, .negative = 109, .upper_only_marker = false},
    {.op = Op::blez, .clear = OutcomeClear::addiu, .filler_nops = true,
     .pair_groups = {}, .positive = 106, .negative = 94, .upper_only_marker = false},
    {.op = Op::bltz, .clear = OutcomeClear::addiu, .filler_nops = false,
     .pair_groups = {}, .positive = 71, .negative = 81, .upper_only_marker = false},
};

constexpr Group kPairGroups[] = {Group::unequal, Group::equal, Group::second_zero, Group::first_zero,
                                 Group::both_zero};

std::pair<uint32_t, uint32_t> draw_pair(Group group, Random& random) {
  switch (group) {
    case Group::unequal: {
      const uint32_t x = markers::draw_two_instruction_word(random);
      for (;;) {
        const uint32_t y = markers::draw_two_instruction_word(random);
        if (std::popcount(x ^ y) >= kMinimumDifferingBits) return {x, y};
      }
    }
    case Group::equal: {
      const uint32_t x = markers::draw_two_instruction_word(random);
      return {x, x};
    }
    case Group::second_zero: return {markers::draw_two_instruction_word(random), 0};
    case Group::first_zero: return {0, markers::draw_two_instruction_word(random)};
    default: return {0, 0};
  }
}

Case make_case(Op op, Group group, uint32_t x, uint32_t y, uint32_t a, uint32_t b) {
  return {group, x, y, a, b, condition(op, x, y)};
}

std::vector<Case> draw_pair_cases(const Member& m, Random& random) {
  markers::MarkerDraw markers(random);
  std::vector<Case> cases;
  for (int g = 0; g < 5; ++g)
    for (int i = 0; i < m.pair_groups[g]; ++i) {
      const auto [x, y] = draw_pair(kPairGroups[g], random);
      const uint32_t a = markers.next(), b = markers.next();
      cases.push_back(make_case(m.op, kPairGroups[g], x, y, a, b));
    }
  return cases;
}

std::vector<Case> draw_single_cases(const Member& m, Random& random) {
  const std::vector<uint32_t> operands = draw_signed_operands(m.positive, m.negative, random);
  const auto random_cases = static_cast<uint32_t>(operands.size());
  const uint32_t upper_only_case = m.upper_only_marker ? random.below(random_cases) : random_cases;

  markers::MarkerDraw markers(random);
  std::vector<Case> cases;
  for (uint32_t i = 0; i < random_cases; ++i) {
    const uint32_t a = i == upper_only_case ? markers.next_upper_only() : markers.next();
    const uint32_t b = markers.next();
    cases.push_back(make_case(m.op, Group::random, operands[i], 0, a, b));
  }
  const uint32_t a = markers.next(), b = markers.next();
  cases.push_back(make_case(m.op, Group::zero, 0, 0, a, b));
  return cases;
}

// The branch on $t0 (and $t1); `swapped` puts $t1 first, as the second
// execution of beq and bne does.
void emit_branch(Assembler& as, Op op, bool swapped, Label target) {
  if (!two_operands(op)) as.branch(op, t0, target);
  else if (swapped) as.branch(op, t1, t0, target);
  else as.branch(op, t0, t1, target);
}

// The case template. The labels name the blocks: `taken_block` (L1) is
// reached only by the branch under test, `forward_block` (L3) only by the
// second execution, `operands` (L2) holds the loads and the branch under
// test, `compare` (L4) the checks.
void emit_case(Assembler& as, const Member& m, const Case& c, Label inst_error) {
  const Label taken_block = as.make_label(), operands = as.make_label(), forward_block = as.make_label(),
              compare = as.make_label();
  markers::clear_outcome(as, m.clear);
  as.b(operands);
  as.nop();

  as.bind(taken_block);
  as.li(markers::kFirstMarker, c.a);
  emit_branch(as, m.op, true, forward_block);  // the same decision from swapped operands
  as.nop();
  as.b(compare);
  as.nop();
  if (m.filler_nops) as.nop();

  as.bind(operands);
  as.li(t0, c.x);
  if (two_operands(m.op)) as.li(t1, c.y);
  // Backward, and reading the register loaded by the instruction just before.
  emit_branch(as, m.op, false, taken_block);
  as.nop();
  as.b(compare);
  as.nop();
  if (m.filler_nops) as.nop();

  as.bind(forward_block);
  as.li(markers::kSecondMarker, c.b);

  as.bind(compare);
  markers::check_markers(as, c.expected_first(), c.expected_second(), inst_error);
}

}  // namespace

const Member& member(Op op) { return find_member(kMembers, op, "branch"); }

bool two_operands(Op op) { return op == Op::beq || op == Op::bne; }

bool condition(Op op, uint32_t x, uint32_t y) {
  const auto s = static_cast<int32_t>(x);
  switch (op) {
    case Op::beq: return x == y;
    case Op::bne: return x != y;
    case Op::bgez: return s >= 0;
    case Op::bgtz: return s > 0;
    case Op::blez: return s <= 0;
    case Op::bltz: return s < 0;
    default: throw std::logic_error("branch family: no condition for " + std::string(info(op).mnemonic));
  }
}

std::vector<uint32_t> draw_signed_operands(int positive, int negative, Random& random) {
  // The signs are laid out first, so each count holds exactly, then shuffled.
  std::vector<uint8_t> is_negative(positive + negative, 0);
  std::fill(is_negative.begin() + positive, is_negative.end(), 1);
  random.shuffle(is_negative);
  std::vector<uint32_t> operands;
  for (const uint8_t sign : is_negative) operands.push_back(markers::draw_two_instruction_word(random, sign != 0));
  return operands;
}

std::vector<Case> draw_cases(Op op, Random& random) {
  const Member& m = member(op);
  return two_operands(op) ? draw_pair_cases(m, random) : draw_single_cases(m, random);
}

}  // namespace branches

void branch_cases(RoutineContext& routine) {
  const branches::Member& member = branches::member(routine.spec.op);
  const bool pair = branches::two_operands(routine.spec.op);
  static constexpr std::string_view kGroupNames[] = {"X and Y random, apart", "Y = X", "Y = 0", "X = 0",
                                                     "X = Y = 0", "X random", "X = 0"};
  const auto describe = [pair](const branches::Case& c) {
    const auto group = static_cast<int>(c.group);
    CaseInfo info{pair ? group + 1 : group - 4, kGroupNames[group], {{"X", c.x}}, c.taken ? "taken" : "not taken"};
    if (pair) info.values.push_back({"Y", c.y});
    info.values.insert(info.values.end(), {{"marker A", c.a}, {"marker B", c.b},
                                           {"expected $v0", c.expected_first()}, {"expected $v1", c.expected_second()}});
    return info;
  };
  emit_cases(routine, branches::draw_cases(routine.spec.op, routine.random), describe,
             [&](const branches::Case& c) { branches::emit_case(routine.as, member, c, routine.inst_error); });
}

}  // namespace r3k
