// sll, srl, sra, sllv, srlv, srav
#include "families/shifts.h"

#include <algorithm>
#include <unordered_set>
#include <stdexcept>

#include "families/families.h"

namespace r3k {
namespace shifts {

namespace {

using namespace isa;  // register names
using isa::Op;

// The case counts are part of the image: its pinned digest locks them.
constexpr std::array<Member, 6> kMembers = {{
    {.op = Op::sll, .amount_in_register = false, .cases = {200, 50, 50, 1}},
    {.op = Op::sllv, .amount_in_register = true, .cases = {200, 50, 50, 1}},
    {.op = Op::sra, .amount_in_register = false, .cases = {200, 50, 50, 1}},
    {.op = Op::srav, .amount_in_register = true, .cases = {200, 50, 50, 1}},
    {.op = Op::srl, .amount_in_register = false, .cases = {200, 50, 50, 1}},
    {.op = Op::srlv, .amount_in_register = true, .cases = {200, 50, 50, 1}},
}};

constexpr unsigned kAmounts = 32;
// How often the amount 0 may fall among the random amounts of a group.
constexpr int kFewestZeroAmountsFirstGroup = 6, kMostZeroAmountsFirstGroup = 12;
constexpr int kMostZeroAmountsThirdGroup = 2;

// Uniform amounts for one group, the whole group drawn again until every
// amount occurs at least `each_at_least` times and 0 occurs `zeros_from` to
// `zeros_to` times. Redrawing the whole group, rather than patching single
// amounts, keeps every qualifying list equally likely.
std::vector<unsigned> draw_amounts(Random& random, int size, int each_at_least, int zeros_from, int zeros_to) {
  std::vector<unsigned> amounts(static_cast<size_t>(size));
  for (;;) {
    std::array<int, kAmounts> seen{};
    for (unsigned& amount : amounts) ++seen[amount = random.below(kAmounts)];
    const bool covered = std::all_of(seen.begin(), seen.end(), [&](int n) { return n >= each_at_least; });
    if (covered && seen[0] >= zeros_from && seen[0] <= zeros_to) return amounts;
  }
}

// Non-zero full-width words, none of them drawn before in this routine.
class FreshWords {
 public:
  explicit FreshWords(Random& random) : random_(random) {}
  uint32_t next() {
    for (;;)
      if (const uint32_t word = random_.word(); word != 0 && seen_.insert(word).second) return word;
  }

 private:
  Random& random_;
  std::unordered_set<uint32_t> seen_;
};

}  // namespace

const Member& member(Op op) { return find_member(kMembers, op, "shift"); }

uint32_t result(Op op, uint32_t word, unsigned amount) {
  member(op);  // throws for any other instruction
  if (amount >= kAmounts) throw std::logic_error("shift amount " + std::to_string(amount) + " is outside 0 to 31");
  switch (op) {
    case Op::sll:
    case Op::sllv: return word << amount;
    case Op::srl:
    case Op::srlv: return word >> amount;
    default: return static_cast<uint32_t>(static_cast<int32_t>(word) >> amount);  // sra, srav
  }
}

std::vector<Case> draw_cases(Op op, Random& random) {
  const Member& m = member(op);
  std::vector<Case> cases;
  auto keep = [&](Group group, uint32_t word, unsigned amount) {
    cases.push_back({group, word, amount, result(op, word, amount)});
  };
  FreshWords words(random);

  for (unsigned amount :
       draw_amounts(random, m.cases[0], 1, kFewestZeroAmountsFirstGroup, kMostZeroAmountsFirstGroup))
    keep(Group::both_random, words.next(), amount);
  for (int i = 0; i < m.cases[1]; ++i) keep(Group::amount_zero, words.next(), 0);
  for (unsigned amount : draw_amounts(random, m.cases[2], 0, 0, kMostZeroAmountsThirdGroup))
    keep(Group::word_zero, 0, amount);
  for (int i = 0; i < m.cases[3]; ++i) keep(Group::both_zero, 0, 0);
  return cases;
}

}  // namespace shifts

// The expected value is loaded between the amount and the shift, so the
// register forms read $t1 one or two instructions after it is written; the
// check reads $v0 right after the shift writes it.
void shift_cases(RoutineContext& routine) {
  using namespace isa;  // register names
  assembly::Assembler& as = routine.as;
  const Op op = routine.spec.op;
  const bool amount_in_register = shifts::member(op).amount_in_register;
  static constexpr std::string_view kGroupNames[] = {"", "word and amount random", "amount 0", "word 0",
                                                     "word 0, amount 0"};
  const auto describe = [](const shifts::Case& c) {
    const int group = static_cast<int>(c.group);
    return CaseInfo{group, kGroupNames[group], {{"word", c.word}, {"amount", c.amount}, {"expected", c.expected}}, {}};
  };
  emit_cases(routine, shifts::draw_cases(op, routine.random), describe, [&](const shifts::Case& c) {
    as.li(t0, c.word);
    if (amount_in_register) as.li(t1, c.amount);
    as.li(v1, c.expected);
    if (amount_in_register) as.shift_variable(op, v0, t0, t1);
    else as.shift(op, v0, t0, c.amount);
    as.bne(v0, v1, routine.inst_error);
    as.nop();
  });
}

}  // namespace r3k
