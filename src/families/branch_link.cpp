// bltzal, bgezal
#include "families/branch_link.h"

#include <stdexcept>

#include "families/branches.h"
#include "families/families.h"
#include "families/link_register.h"
#include "families/marker_scheme.h"

namespace r3k {
namespace branch_link {
namespace {

using namespace isa;  // register names
using assembly::Assembler;
using assembly::Label;

// The case counts are part of the image: its pinned digest locks them.
constexpr Member kMembers[] = {
    {.op = Op::bltzal, .positive = 66, .negative = 72},
    {.op = Op::bgezal, .positive = 71, .negative = 74},
};

// Where the case keeps the links it captured.
constexpr Reg kLinkUnderTest = a0;  // of the backward execution
constexpr Reg kSecondLink = a1;     // of the forward execution

Case make_case(Op op, uint32_t x, markers::MarkerDraw& markers) {
  const uint32_t a = markers.next(), b = markers.next();
  return {x, a, b, condition(op, x)};
}

// The case template. `taken_block` (L1) is reached only by the branch under
// test, `forward_block` (L3) only by the second execution; `after_second`
// and `after_under_test` are the instructions after the two delay slots, the
// addresses the two executions link.
void emit_case(Assembler& as, Op op, const Case& c, Label inst_error) {
  const Label taken_block = as.make_label(), after_second = as.make_label(), operands = as.make_label(),
              after_under_test = as.make_label(), forward_block = as.make_label(), compare = as.make_label();
  links::save_return_address(as);
  markers::clear_outcome(as, markers::OutcomeClear::addiu);
  as.b(operands);
  as.nop();

  as.bind(taken_block);
  links::copy_link(as, kLinkUnderTest);
  as.li(markers::kFirstMarker, c.a);
  as.branch(op, t0, forward_block);
  as.nop();
  as.bind(after_second);
  as.b(compare);
  as.nop();

  as.bind(operands);
  as.li(t0, c.x);
  as.branch(op, t0, taken_block);
  as.nop();
  // Not taken: the link must have been written all the same.
  as.bind(after_under_test);
  links::copy_link(as, kLinkUnderTest);
  as.la(kSecondLink, after_second);  // what the second execution would have linked
  as.b(compare);
  as.nop();

  as.bind(forward_block);
  links::copy_link(as, kSecondLink);
  as.li(markers::kSecondMarker, c.b);

  as.bind(compare);
  links::restore_return_address(as);
  markers::check_markers(as, c.expected_first(), c.expected_second(), inst_error);
  as.la(markers::kExpectedFirst, after_second);
  as.la(markers::kExpectedSecond, after_under_test);
  markers::check_equal(as, kLinkUnderTest, markers::kExpectedSecond, inst_error);
  markers::check_equal(as, kSecondLink, markers::kExpectedFirst, inst_error);
}

}  // namespace

const Member& member(Op op) { return find_member(kMembers, op, "branch-and-link"); }

bool condition(Op op, uint32_t x) {
  const auto s = static_cast<int32_t>(x);
  switch (op) {
    case Op::bltzal: return s < 0;
    case Op::bgezal: return s >= 0;
    default: throw std::logic_error("branch-and-link family: no condition for " + std::string(info(op).mnemonic));
  }
}

std::vector<Case> draw_cases(Op op, Random& random) {
  const Member& m = member(op);
  markers::MarkerDraw markers(random);
  std::vector<Case> cases;
  for (const uint32_t x : branches::draw_signed_operands(m.positive, m.negative, random))
    cases.push_back(make_case(op, x, markers));
  cases.push_back(make_case(op, 0, markers));
  return cases;
}

}  // namespace branch_link

void branch_link_cases(RoutineContext& routine) {
  const auto describe = [](const branch_link::Case& c) {
    return CaseInfo{c.x != 0 ? 1 : 2,
                    c.x != 0 ? "X random" : "X = 0",
                    {{"X", c.x}, {"marker A", c.a}, {"marker B", c.b}, {"expected $v0", c.expected_first()},
                     {"expected $v1", c.expected_second()}},
                    c.taken ? "taken" : "not taken"};
  };
  emit_cases(routine, branch_link::draw_cases(routine.spec.op, routine.random), describe,
             [&](const branch_link::Case& c) {
               branch_link::emit_case(routine.as, routine.spec.op, c, routine.inst_error);
             });
}

}  // namespace r3k
