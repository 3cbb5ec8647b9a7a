// mult, multu, div, divu
#include "families/multiply_divide.h"

#include <array>
#include <unordered_set>
#include <stdexcept>

#include "families/families.h"

namespace r3k {
namespace multiply_divide {

namespace {

using namespace isa;  // register names
using isa::Op;

// The case counts are part of the image: its pinned digest locks them.
constexpr std::array<Member, 4> kMembers = {{
    {.op = Op::div, .random_pairs = 119, .random_times_zero = 0, .zero_times_random = 3, .zero_times_zero = 0},
    {.op = Op::divu, .random_pairs = 171, .random_times_zero = 0, .zero_times_random = 7, .zero_times_zero = 0},
    {.op = Op::mult, .random_pairs = 138, .random_times_zero = 12, .zero_times_random = 8, .zero_times_zero = 1},
    {.op = Op::multu, .random_pairs = 131, .random_times_zero = 6, .zero_times_random = 4, .zero_times_zero = 1},
}};

bool is_divide(Op op) { return op == Op::div || op == Op::divu; }

// The one signed division whose quotient, 2^31, does not fit a register.
bool overflows(Op op, uint32_t x, uint32_t y) { return op == Op::div && x == 0x80000000u && y == 0xFFFFFFFFu; }

unsigned sign_combination(uint32_t x, uint32_t y) { return (x >> 31) << 1 | y >> 31; }

// Hands out non-zero random words, each at most once per routine.
class FreshWords {
 public:
  explicit FreshWords(Random& random) : random_(random) {}

  template <class Acceptable>
  uint32_t next(Acceptable acceptable) {
    for (;;) {
      const uint32_t value = random_.word();
      if (value != 0 && !used_.contains(value) && acceptable(value)) {
        used_.insert(value);
        return value;
      }
    }
  }
  uint32_t next() {
    return next([](uint32_t) { return true; });
  }
  void forget_all() { used_.clear(); }

 private:
  Random& random_;
  std::unordered_set<uint32_t> used_;
};

// The random pairs are redrawn as a whole until every sign combination of
// the operands occurs, so the coverage never depends on the seed.
void draw_random_pairs(Op op, int count, FreshWords& words, std::vector<Case>& cases) {
  for (;;) {
    words.forget_all();
    cases.clear();
    unsigned combinations_seen = 0;
    for (int i = 0; i < count; ++i) {
      const uint32_t x = words.next();
      const uint32_t y = words.next([&](uint32_t value) { return !overflows(op, x, value); });
      cases.push_back({OperandPairKind::random_pair, x, y, {}});
      combinations_seen |= 1u << sign_combination(x, y);
    }
    if (combinations_seen == 0b1111) return;
  }
}

}  // namespace

const Member& member(Op op) { return find_member(kMembers, op, "multiply/divide"); }

HiLoPair result(Op op, uint32_t x, uint32_t y) {
  if (is_divide(op) && y == 0) throw std::logic_error("a division by zero has no defined result");
  if (overflows(op, x, y)) throw std::logic_error("0x80000000 divided by -1 has no defined result");
  const auto sx = int64_t(int32_t(x)), sy = int64_t(int32_t(y));
  const auto split = [](uint64_t value) { return HiLoPair{uint32_t(value), uint32_t(value >> 32)}; };
  switch (op) {
    case Op::mult: return split(uint64_t(sx * sy));
    case Op::multu: return split(uint64_t(x) * y);
    // C++ division truncates toward zero, as MIPS does; % then takes the dividend's sign.
    case Op::div: return {uint32_t(sx / sy), uint32_t(sx % sy)};
    case Op::divu: return {x / y, x % y};
    default: break;
  }
  throw std::logic_error("not a multiply or divide instruction: " + std::string(info(op).mnemonic));
}

std::vector<Case> draw_cases(Op op, Random& random) {
  const Member& m = member(op);
  FreshWords words(random);
  std::vector<Case> cases;
  draw_random_pairs(op, m.random_pairs, words, cases);
  for (int i = 0; i < m.random_times_zero; ++i)
    cases.push_back({OperandPairKind::random_times_zero, words.next(), 0, {}});
  for (int i = 0; i < m.zero_times_random; ++i)
    cases.push_back({OperandPairKind::zero_times_random, 0, words.next(), {}});
  for (int i = 0; i < m.zero_times_zero; ++i) cases.push_back({OperandPairKind::zero_times_zero, 0, 0, {}});
  for (Case& c : cases) c.expected = result(op, c.x, c.y);
  return cases;
}

}  // namespace multiply_divide

// The reads of LO and HI follow the instruction under test at once, so a
// processor whose result is not yet readable there fails; the expected
// values are loaded only after both reads.
void multiply_divide_cases(RoutineContext& routine) {
  using namespace isa;  // register names
  assembly::Assembler& as = routine.as;
  const Op op = routine.spec.op;
  static constexpr std::string_view kGroupNames[] = {"X and Y random", "Y = 0", "X = 0", "X = Y = 0"};
  const auto describe = [](const multiply_divide::Case& c) {
    const int group = static_cast<int>(c.kind);
    return CaseInfo{group + 1,
                    kGroupNames[group],
                    {{"X", c.x}, {"Y", c.y}, {"expected LO", c.expected.lo}, {"expected HI", c.expected.hi}},
                    {}};
  };
  emit_cases(routine, multiply_divide::draw_cases(op, routine.random), describe, [&](const multiply_divide::Case& c) {
    as.li(t0, c.x);
    as.li(t1, c.y);
    as.multiply_divide(op, t0, t1);  // divides too: destination field 0, no zero or overflow check
    as.move_from(Op::mflo, s5);
    as.move_from(Op::mfhi, s6);
    as.li(v0, c.expected.lo);
    as.li(v1, c.expected.hi);
    as.bne(v0, s5, routine.inst_error);
    as.nop();
    as.bne(v1, s6, routine.inst_error);
    as.nop();
  });
}

}  // namespace r3k
