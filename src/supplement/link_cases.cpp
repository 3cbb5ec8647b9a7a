// Absolute links: each link is compared with the address of the instruction
// after the delay slot, loaded by address load. $ra is put back (from $s7)
// before every comparison, so a wrong link still returns to the driver.
#include <array>

#include "families/branch_link.h"
#include "families/link_register.h"
#include "supplement/robust_code.h"
#include "supplement/supplement.h"

namespace r3k::supplement {

using namespace isa;  // register names
using assembly::Label;

namespace {
constexpr int kJalCases = 16;
// jalr's link registers: every one a case may name except $31, the target
// register $t9, the expected link $t8, $s7 and the frame's registers.
constexpr std::array<Reg, 17> kJalrLinks = {at, v0, v1, a0, a1, a2, a3, t0, t1, t2, t3, t4, t5, t6, t7, s4, s5};
}  // namespace

// jal T ; nop ; L: b inst_error ; nop ; T: the read gap ... the link must be L.
void jal_link_cases(RoutineContext& routine) {
  auto& as = routine.as;
  for (int i = 0; i < kJalCases; ++i) {
    Label after_slot = as.make_label(), target = as.make_label();
    routine.begin_case({0, {}, {}, "link compared with the address after the slot"});
    LoadBlock().address(t1, after_slot).emit(as);
    links::save_return_address(as);
    as.jal(target);
    as.nop();
    as.bind(after_slot);
    as.b(routine.inst_error);
    as.nop();
    as.bind(target);
    read_gap(as);
    links::copy_link(as, t0);
    links::restore_return_address(as);
    read_gap(as);
    fail_unless_equal(routine, t0, t1);
  }
}

// jalr rd, $t9 with rd other than $31: rd is the link, $31 keeps its value.
void jalr_link_cases(RoutineContext& routine) {
  auto& as = routine.as;
  for (Reg link : kJalrLinks) {
    Label after_slot = as.make_label(), target = as.make_label();
    routine.begin_case({0, {}, {}, "jalr " + std::string(reg_name(link)) + ", $t9"});
    LoadBlock().address(t9, target).address(t8, after_slot).emit(as);
    links::save_return_address(as);
    as.jalr(link, t9);
    as.nop();
    as.bind(after_slot);
    as.b(routine.inst_error);
    as.nop();
    as.bind(target);
    read_gap(as);
    links::copy_link(as, t9);  // $31 as the jalr left it
    links::restore_return_address(as);
    fail_unless_equal(routine, link, t8);
    fail_unless_equal(routine, t9, links::kSavedReturnAddress);
  }
}

namespace {

struct BranchLinkCase {
  Op op;
  uint32_t x;
};

std::vector<BranchLinkCase> draw_branch_link_cases(Random& random) {
  std::vector<uint32_t> values = {0, 1, 0xFFFFFFFF, 0x7FFFFFFF, 0x80000000, 0x8000, 0xFFFF8000};
  for (int i = 0; i < 3; ++i) values.push_back(random.word() & 0x7FFFFFFF);
  for (int i = 0; i < 3; ++i) values.push_back(random.word() | 0x80000000);
  std::vector<BranchLinkCase> cases;
  for (Op op : {Op::bltzal, Op::bgezal})
    for (uint32_t x : values) cases.push_back({op, x});
  return cases;
}

}  // namespace

// op $t0, T ; nop ; L: (not taken) ... T: (taken) ... the link is L either way.
void branch_link_address_cases(RoutineContext& routine) {
  auto& as = routine.as;
  const std::vector<BranchLinkCase> cases = draw_branch_link_cases(routine.random);
  emit_cases(
      routine, cases,
      [](const BranchLinkCase& c) {
        const bool taken = branch_link::condition(c.op, c.x);
        return CaseInfo{0, {}, {{"X", c.x}, {"taken", taken}},
                        std::string(info(c.op).mnemonic) + (taken ? ", taken" : ", not taken")};
      },
      [&](const BranchLinkCase& c) {
        Label after_slot = as.make_label(), taken = as.make_label(), compare = as.make_label();
        LoadBlock().value(t0, c.x).address(t8, after_slot).value(t3, branch_link::condition(c.op, c.x)).emit(as);
        links::save_return_address(as);
        as.branch(c.op, t0, taken);
        as.nop();
        as.bind(after_slot);
        read_gap(as);
        links::copy_link(as, t1);
        as.b(compare);
        as.addiu(t2, zero, 0);
        as.bind(taken);
        read_gap(as);
        links::copy_link(as, t1);
        as.addiu(t2, zero, 1);
        as.bind(compare);
        links::restore_return_address(as);
        read_gap(as);
        fail_unless_equal(routine, t1, t8);
        fail_unless_equal(routine, t2, t3);
      });
}

}  // namespace r3k::supplement
