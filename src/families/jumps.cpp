// j, jal, jr, jalr
#include "families/jumps.h"

#include <stdexcept>

#include "families/families.h"
#include "families/link_register.h"
#include "families/marker_scheme.h"

namespace r3k {
namespace jumps {
namespace {

using namespace isa;  // register names
using assembly::Assembler;
using assembly::Label;
using markers::kFirstMarker;
using markers::kSecondMarker;

// The case counts are part of the image: its pinned digest locks them.
constexpr Member kMembers[] = {
    {.op = Op::j, .cases = 121, .case_length = 26},
    {.op = Op::jal, .cases = 122, .case_length = 34},
    {.op = Op::jr, .cases = 142, .case_length = 30},
    {.op = Op::jalr, .cases = 140, .case_length = 40},
};

// Registers that hold jump targets (jr, jalr).
constexpr Reg kBackwardTarget = t0;
constexpr Reg kForwardTarget = t1;

// The labels every jump case has. `backward` (L1) is the block the jump
// under test reaches, `under_test` (L2) holds the jump under test,
// `forward` (L3) is the block the second execution reaches and `compare`
// (L4) the checks.
struct Blocks {
  Label backward, under_test, forward, compare;
  explicit Blocks(Assembler& as)
      : backward(as.make_label()), under_test(as.make_label()), forward(as.make_label()), compare(as.make_label()) {}
};

// The j case, and the jr case, which loads both targets up front and jumps
// through registers. Nothing links, so $ra is left alone.
void emit_plain_case(Assembler& as, Op op, const Case& c, Label inst_error) {
  const Blocks blocks(as);
  const bool through_registers = op == Op::jr;
  markers::clear_outcome(as, markers::OutcomeClear::lui);
  if (through_registers) {
    as.la(kBackwardTarget, blocks.backward);
    as.la(kForwardTarget, blocks.forward);
  }
  as.b(blocks.under_test);
  as.nop();

  as.bind(blocks.backward);
  as.li(kFirstMarker, c.a);
  if (through_registers) as.jr(kForwardTarget);
  else as.j(blocks.forward);
  as.nop();
  as.b(blocks.compare);  // only if the second execution stays
  as.nop();
  as.nop();  // filler: no path reaches it

  as.bind(blocks.under_test);
  if (through_registers) as.jr(kBackwardTarget);
  else as.j(blocks.backward);
  as.nop();
  as.b(blocks.compare);  // only if the jump under test stays
  as.nop();
  as.nop();  // filler

  as.bind(blocks.forward);
  as.li(kSecondMarker, c.b);
  as.bind(blocks.compare);
  markers::check_markers(as, c.a, c.b, inst_error);
}

// The jal case: the opening transfer is a jal too, and the first
// instruction at every target copies $ra. Only the distance between the two
// compared links is checked, not where they lie.
void emit_jal_case(Assembler& as, const Case& c, Label inst_error) {
  const Blocks blocks(as);
  links::save_return_address(as);
  markers::clear_outcome(as, markers::OutcomeClear::lui);
  as.jal(blocks.under_test);
  as.nop();

  as.bind(blocks.backward);
  links::copy_link(as, a1);  // link of the jal under test
  as.li(kFirstMarker, c.a);
  as.jal(blocks.forward);
  as.nop();
  as.b(blocks.compare);
  as.nop();
  as.nop();  // filler

  as.bind(blocks.under_test);
  links::copy_link(as, a0);  // link of the opening jal, never compared
  as.jal(blocks.backward);
  as.nop();
  as.b(blocks.compare);
  as.nop();
  as.nop();  // filler

  as.bind(blocks.forward);
  links::copy_link(as, a2);  // link of the second execution
  as.li(kSecondMarker, c.b);

  as.bind(blocks.compare);
  links::restore_return_address(as);
  markers::load_expected_markers(as, c.a, c.b);
  markers::check_equal(as, kFirstMarker, markers::kExpectedFirst, inst_error);
  as.addiu(a2, a2, kJalLinkDistance);
  markers::check_equal(as, kSecondMarker, markers::kExpectedSecond, inst_error);
  markers::check_equal(as, a2, a1, inst_error);
}

// The jalr case: both jumps go through registers loaded up front, link
// into $ra, and their links are compared with the case's own addresses.
void emit_jalr_case(Assembler& as, const Case& c, Label inst_error) {
  const Blocks blocks(as);
  const Label after_second = as.make_label(), after_under_test = as.make_label();
  links::save_return_address(as);
  markers::clear_outcome(as, markers::OutcomeClear::addiu);
  as.la(kBackwardTarget, blocks.backward);
  as.la(kForwardTarget, blocks.forward);
  as.b(blocks.under_test);
  as.nop();

  as.bind(blocks.backward);
  links::copy_link(as, a0);  // link of the jalr under test
  as.li(kFirstMarker, c.a);
  as.jalr(ra, kForwardTarget);
  as.nop();
  as.bind(after_second);
  as.b(blocks.compare);
  as.nop();

  as.bind(blocks.under_test);
  as.jalr(ra, kBackwardTarget);
  as.nop();
  as.bind(after_under_test);
  as.b(blocks.compare);
  as.nop();

  as.bind(blocks.forward);
  links::copy_link(as, a1);  // link of the second execution
  as.li(kSecondMarker, c.b);

  as.bind(blocks.compare);
  links::restore_return_address(as);
  markers::check_markers(as, c.a, c.b, inst_error);
  as.la(markers::kExpectedFirst, after_second);
  as.la(markers::kExpectedSecond, after_under_test);
  markers::check_equal(as, a0, markers::kExpectedSecond, inst_error);
  markers::check_equal(as, a1, markers::kExpectedFirst, inst_error);
}

void emit_case(Assembler& as, const Member& m, const Case& c, Label inst_error) {
  const uint32_t start = as.here();
  switch (m.op) {
    case Op::jal: emit_jal_case(as, c, inst_error); break;
    case Op::jalr: emit_jalr_case(as, c, inst_error); break;
    default: emit_plain_case(as, m.op, c, inst_error); break;
  }
  if (as.here() - start != 4u * static_cast<uint32_t>(m.case_length))
    throw std::logic_error("jump family: a " + std::string(info(m.op).mnemonic) + " case came out at the wrong length");
}

}  // namespace

const Member& member(Op op) { return find_member(kMembers, op, "jump"); }

std::vector<Case> draw_cases(Op op, Random& random) {
  markers::MarkerDraw markers(random);
  std::vector<Case> cases(member(op).cases);
  for (Case& c : cases) {
    c.a = markers.next();
    c.b = markers.next();
  }
  return cases;
}

}  // namespace jumps

void jump_cases(RoutineContext& routine) {
  const jumps::Member& member = jumps::member(routine.spec.op);
  const auto describe = [](const jumps::Case& c) {
    return CaseInfo{0, {}, {{"marker A", c.a}, {"marker B", c.b}}, {}};
  };
  emit_cases(routine, jumps::draw_cases(routine.spec.op, routine.random), describe,
             [&](const jumps::Case& c) { jumps::emit_case(routine.as, member, c, routine.inst_error); });
}

}  // namespace r3k
