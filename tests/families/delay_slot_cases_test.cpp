// The branch and jump delay-slot cases in the image, against their templates
// written out step by step.
#include <gtest/gtest.h>

#include "families/case_listing.h"
#include "families/delay_slot_text.h"
#include "support/image_run.h"

namespace r3k {
namespace {

using isa::Op;
using enum isa::Reg;
using test::DelaySlotRoutine;
using test::Listing;

struct SlotCase {
  int number;        // 1-based
  std::string text;  // as listed for the routine
  bool last_before_multiply_divide;
};

std::vector<SlotCase> slot_cases(const DelaySlotRoutine& row) {
  const std::vector<std::string> text = test::slot_list_text(row.number);
  std::vector<SlotCase> cases;
  for (int i = 0; i < row.cases; ++i) cases.push_back({i + 1, text[i], i == 25 && row.cases == 32});
  return cases;
}

std::string branch_text(Op op, bool taken, const std::string& label) {
  switch (op) {
    case Op::beq: return taken ? "beq $s5, $s5, " + label : "beq $s5, $zero, " + label;
    case Op::bne: return taken ? "bne $s5, $zero, " + label : "bne $s5, $s5, " + label;
    case Op::bgez: return taken ? "bgez $zero, " + label : "bgez $a0, " + label;
    case Op::bgtz: return taken ? "bgtz $a1, " + label : "bgtz $a0, " + label;
    case Op::blez: return taken ? "blez $zero, " + label : "blez $a0, " + label;
    case Op::bltz: return taken ? "bltz $a0, " + label : "bltz $a1, " + label;
    case Op::bltzal: return taken ? "bltzal $a0, " + label : "bltzal $a1, " + label;
    default: return taken ? "bgezal $zero, " + label : "bgezal $a0, " + label;
  }
}

void condition_loads(Listing& l, Op op) {
  if (test::links(op)) l.line("addu $s7, $zero, $ra");
  switch (op) {
    case Op::beq: case Op::bne: l.li(s5, 1); break;
    case Op::blez: l.li(a0, 0x7FFFFFFF); break;
    case Op::bgtz: case Op::bltz: case Op::bltzal: l.li(a0, 0x80000000).li(a1, 0x7FFFFFFF); break;
    default: l.li(a0, 0x80000000); break;
  }
}

// The wrong-path exit: in a linking routine the restore of $ra rides in the
// delay slot of the b.
void wrong_path(Listing& l, Op op) {
  l.line("beq $zero, $zero, @inst_error");
  if (test::links(op)) l.line("addu $ra, $zero, $s7");
  else l.nop();
}

Listing branch_case(Op op, const SlotCase& c, uint32_t inst_error) {
  Listing l;
  l.outside("inst_error", inst_error);
  const bool links = test::links(op);
  const std::string restore = "addu $ra, $zero, $s7";
  condition_loads(l, op);
  if (test::multiply_or_divide(c.text)) {
    l.line("addiu $v0, $zero, 0x0").line("addiu $v1, $zero, 0x0");
    l.line(branch_text(op, false, "@L1")).line(c.text).line("mflo $v0").line("mtlo $a0").line(c.text).line("mflo $s6");
    if (links) l.line(restore);
    l.line("bne $v0, $s6, @inst_error").nop();
    l.line("mtlo $a0").line(branch_text(op, true, "@L2")).line(c.text);
    l.label("L1");
    wrong_path(l, op);
    l.label("L2");
    if (links) l.line(restore);
    l.line("mflo $v1").line("bne $v1, $s6, @inst_error").nop();
  } else {
    const std::string d = test::destination_of(c.text), taken = links ? "$s5" : "$s7";
    l.line(branch_text(op, false, "@L1")).line(c.text).line(test::with_destination(c.text, "$s6"));
    if (links) l.line(restore);
    l.line("bne " + d + ", $s6, @inst_error").nop();
    l.line(branch_text(op, true, "@L2")).line(test::with_destination(c.text, taken));
    l.label("L1");
    wrong_path(l, op);
    l.label("L2");
    if (links) l.line(restore);
    l.line("bne " + taken + ", $s6, @inst_error").nop();
  }
  if (c.last_before_multiply_divide)
    for (const std::string& loose : test::loose_instructions_text()) l.line(loose);
  return l;
}

std::string jump_text(Op op) {
  switch (op) {
    case Op::j: return "j @L1";
    case Op::jal: return "jal @L1";
    case Op::jr: return "jr $s5";
    default: return "jalr $a0";
  }
}

Listing jump_case(Op op, const SlotCase& c, uint32_t inst_error) {
  Listing l;
  l.outside("inst_error", inst_error);
  const bool links = test::links(op);
  if (links) l.line("addu $s7, $zero, $ra");
  if (op == Op::jr) l.la(s5, "L1");
  if (op == Op::jalr) l.la(a0, "L1");
  if (test::multiply_or_divide(c.text)) {
    l.line("addiu $v0, $zero, 0x0").line("addiu $v1, $zero, 0x0");
    l.line(c.text).line("mflo $s6").line("mtlo $a0").line(jump_text(op)).line(c.text);
  } else {
    l.line(test::with_destination(c.text, "$s6")).line(jump_text(op)).line(c.text);
  }
  wrong_path(l, op);
  l.label("L1");
  if (links) l.line("addu $ra, $zero, $s7");
  if (test::multiply_or_divide(c.text)) l.line("mflo $v1").line("bne $v1, $s6, @inst_error").nop();
  else l.line("bne " + test::destination_of(c.text) + ", $s6, @inst_error").nop();
  if (c.last_before_multiply_divide)
    for (const std::string& loose : test::loose_instructions_text()) l.line(loose);
  return l;
}

TEST(DelaySlotCases, EveryCaseInTheImageFollowsItsTemplate) {
  for (const DelaySlotRoutine& row : test::delay_slot_routines())
    test::expect_cases_follow(test::default_image(), row.name, slot_cases(row), [&](const SlotCase& c, uint32_t e) {
      return row.jump ? jump_case(row.op, c, e) : branch_case(row.op, c, e);
    });
}

// The lengths the templates give, counted from the image: the loose
// instructions ride at the end of case 26.
TEST(DelaySlotCases, CaseLengthsAreTheTemplates) {
  const Image& image = test::default_image();
  for (const DelaySlotRoutine& row : test::delay_slot_routines()) {
    SCOPED_TRACE(row.name);
    const RoutineInfo& routine = test::routine_named(image, row.name);
    const std::vector<test::EmittedCase> cases = test::emitted_cases(image, routine);
    ASSERT_EQ(static_cast<int>(cases.size()), row.cases);
    int body = 0;
    for (int i = 0; i < row.cases; ++i) {
      int expected = i + 1 >= 27 && i + 1 <= 30 ? row.hilo_case_length : row.register_case_length;
      if (i + 1 == 26 && row.cases == 32) expected += 2;
      EXPECT_EQ(static_cast<int>(cases[i].words.size()), expected) << "case " << i + 1;
      body += expected;
    }
    EXPECT_EQ(routine.size, 4u * static_cast<uint32_t>(body + 10));
  }
}

}  // namespace
}  // namespace r3k
