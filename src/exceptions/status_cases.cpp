// Coprocessor 0's own state: the KU/IE stack and rfe, the writable bits,
// software interrupts, the BEV = 0 vector and the return to user mode.
#include <string>
#include <vector>

#include "board/layout.h"
#include "exceptions/exceptions.h"
#include "exceptions/handler.h"

namespace r3k::exceptions {

using namespace isa;  // register names
using assembly::Assembler;
using assembly::Label;

namespace {

constexpr uint8_t kInt = 0, kAdEL = 4, kSys = 8, kBp = 9;
constexpr uint32_t kKUc = 0x02, kKUp = 0x08, kIEc = 0x01, kIEp = 0x04;
constexpr uint32_t kWritableStatus = 0xF000FF3F;  // CU3..CU0, IM7..IM0, the stack (BEV stays set)

// The stack after an exception pushes it, and after rfe pops it.
uint32_t pushed(uint32_t status) { return (status & ~0x3Fu) | ((status << 2) & 0x3C); }
uint32_t popped(uint32_t status) { return (status & ~0xFu) | ((status >> 2) & 0xF); }

void expect_status(TrapRoutine& t, uint32_t value) {
  mfc0(t.as, t2, kStatus);
  t.expect_reg(t2, value);
}

// A drawn stack that runs in kernel mode: KUc clear; with IM clear, IEc may be set.
uint32_t kernel_stack(Random& random) { return random.below(64) & ~kKUc; }

enum class StackCheck : uint8_t { write_read, push_pop, rfe_in_jr_slot, nested };
struct StackCase {
  StackCheck check;
  uint32_t status;
};
const char* stack_name(StackCheck check) {
  switch (check) {
    case StackCheck::write_read: return "mtc0 then mfc0 of Status and Cause";
    case StackCheck::push_pop: return "syscall pushes the stack, the handler's rfe pops it";
    case StackCheck::rfe_in_jr_slot: return "rfe in jr's delay slot pops the stack";
    case StackCheck::nested: return "break inside the handler pushes again";
  }
  return "";
}

void emit_stack_case(TrapRoutine& t, const StackCase& c) {
  Assembler& as = t.as;
  switch (c.check) {
    case StackCheck::write_read: {
      t.set_status(c.status);
      expect_status(t, c.status);
      t.set_status(kBootStatus);
      t.set_cause(0x300);
      mfc0(as, t2, kCause);
      as.immediate(Op::andi, t2, t2, 0x300);
      t.expect_reg(t2, 0x300);
      t.set_cause(0);
      mfc0(as, t2, kCause);
      as.immediate(Op::andi, t2, t2, 0x300);
      t.expect_reg(t2, 0);
      break;
    }
    case StackCheck::push_pop: {
      Label resume = as.make_label(), at = as.make_label();
      t.set_status(c.status);
      t.arm(resume);
      as.bind(at);
      as.emit(Op::syscall, {});
      as.bind(resume);
      t.expect_exception(kSys, at);
      t.expect_slot(slot::kStatus, pushed(c.status));
      expect_status(t, popped(pushed(c.status)));
      break;
    }
    case StackCheck::rfe_in_jr_slot: {
      Label after = as.make_label();
      t.set_status(c.status);
      as.la(t7, after);
      as.jr(t7);
      as.emit(Op::rfe, {});
      as.bind(after);
      expect_status(t, popped(c.status));
      break;
    }
    case StackCheck::nested: {
      Label first = as.make_label(), second = as.make_label(), at1 = as.make_label(), at2 = as.make_label();
      t.set_status(c.status);
      t.arm(first, true);
      as.bind(at1);
      as.emit(Op::syscall, {});
      as.bind(first);  // as in a handler: the stack still pushed
      t.expect_exception(kSys, at1);
      expect_status(t, pushed(c.status));
      t.arm(second);
      as.bind(at2);
      as.emit(Op::break_, {});
      as.bind(second);
      t.expect_exception(kBp, at2);
      t.expect_slot(slot::kStatus, pushed(pushed(c.status)));
      expect_status(t, popped(pushed(pushed(c.status))));
      break;
    }
  }
  t.set_status(kBootStatus);
}

// Software interrupt `bit` (0 or 1) made pending while masked by IM or by
// IEc, then unmasked by the mtc0 at `at`: taken with ExcCode 0 and EPC the
// first instruction that did not run (a core may take a few to act; each
// increments $t9).
struct InterruptCase {
  uint32_t bit;
  bool masked_by_ie;  // else by IM
  bool cause_last;    // enabled first, then the mtc0 to Cause sets IP
};

void emit_interrupt_case(TrapRoutine& t, const InterruptCase& c) {
  Assembler& as = t.as;
  const uint32_t ip = 0x100u << c.bit, other_ip = 0x100u << (1 - c.bit);
  const uint32_t masked = kBootStatus | (c.masked_by_ie ? ip : kIEc | other_ip);
  const uint32_t enabled = kBootStatus | kIEc | ip;
  Label resume = as.make_label(), at = as.make_label(), ok = as.make_label();
  as.li(t9, 0);
  if (c.cause_last) {
    t.set_status(enabled);
    t.arm(resume, true);
    as.li(t0, ip);
    as.bind(at);
    as.emit(Op::mtc0, {.rt = t0, .rd = kCause});
  } else {
    t.set_status(masked);
    t.arm(resume, true);  // taken while masked: EPC is not where the checks want it
    t.set_cause(ip);
    for (int i = 0; i < 4; ++i) as.nop();
    t.expect_count(0);
    as.li(t0, enabled);
    as.bind(at);
    as.emit(Op::mtc0, {.rt = t0, .rd = kStatus});
  }
  as.nop();
  for (int i = 0; i < 4; ++i) as.addiu(t9, t9, 1);
  as.bind(resume);
  // Handled without rfe: IEc stays clear until IP is cleared.
  t.set_cause(0);
  t.set_status(kBootStatus);
  t.expect_count(1);
  t.expect_slot(slot::kCause, ip | uint32_t{kInt} << 2, kCauseCodeMask | 0x300);
  // EPC: at + 8 + 4 * (increments run), or the nop after the mtc0.
  as.lui(t1, kRecordHigh);
  as.lw(t2, slot::kEpc, t1);
  as.sll(t3, t9, 2);
  as.la(t5, at, 8);
  as.addu(t3, t3, t5);
  as.beq(t2, t3, ok);
  as.nop();
  as.la(t3, at, 4);
  t.fail_unless(t9, zero);
  t.fail_unless(t2, t3);
  as.bind(ok);
  t.expect_slot(slot::kStatus, pushed(enabled) & ~0x300u, ~0x300u);
}

// The handler's way in at 0x80000080: to the ROM handler with $k1 = 0x80.
std::vector<uint32_t> ram_vector_words() {
  return {encode(Op::lui, {.rt = k0, .imm = static_cast<uint16_t>(layout::kExceptionHandler >> 16)}),
          encode(Op::ori, {.rs = k0, .rt = k0, .imm = static_cast<uint16_t>(layout::kExceptionHandler)}),
          encode(Op::jr, {.rs = k0}), encode(Op::addiu, {.rt = k1, .imm = 0x80})};
}
constexpr uint32_t kRamVector = 0x80000080;

}  // namespace

void status_stack_cases(RoutineContext& routine) {
  TrapRoutine t(routine);
  std::vector<StackCase> cases;
  for (int i = 0; i < 4; ++i)
    cases.push_back({StackCheck::write_read,
                     kBootStatus | (routine.random.uniform32() & kWritableStatus & ~0xFF3Fu) |
                         (routine.random.uniform32() & 0xFF00u) | (kernel_stack(routine.random) & ~kIEc)});
  for (const StackCheck check : {StackCheck::push_pop, StackCheck::rfe_in_jr_slot, StackCheck::nested})
    for (int i = 0; i < 3; ++i) {
      uint32_t stack = kernel_stack(routine.random);
      if (check == StackCheck::rfe_in_jr_slot) stack &= ~kKUp;  // the pop stays in kernel mode
      cases.push_back({check, kBootStatus | stack});
    }
  emit_cases(
      routine, cases,
      [](const StackCase& c) { return CaseInfo{0, {}, {{"Status", c.status}}, stack_name(c.check)}; },
      [&](const StackCase& c) { emit_stack_case(t, c); });
}

void software_interrupt_cases(RoutineContext& routine) {
  TrapRoutine t(routine);
  std::vector<InterruptCase> cases;
  for (uint32_t bit = 0; bit < 2; ++bit) {
    cases.push_back({bit, false, false});
    cases.push_back({bit, true, false});
    cases.push_back({bit, false, true});
  }
  emit_cases(
      routine, cases,
      [](const InterruptCase& c) {
        return CaseInfo{0, {}, {{"IP", c.bit}},
                        c.cause_last ? "enabled, then set" : c.masked_by_ie ? "masked by IEc, then enabled"
                                                                            : "masked by IM, then enabled"};
      },
      [&](const InterruptCase& c) { emit_interrupt_case(t, c); });
}

// BEV = 0: the handler's way in copied to 0x80000080, then a syscall; the
// record says which vector was entered.
void ram_vector_cases(RoutineContext& routine) {
  TrapRoutine t(routine);
  const std::vector<uint32_t> stub = ram_vector_words();
  std::vector<uint32_t> codes = {0, routine.random.below(1u << 20)};
  emit_cases(
      routine, codes, [](uint32_t code) { return CaseInfo{0, {}, {{"code", code}}, "syscall with BEV = 0"}; },
      [&](uint32_t code) {
        Label resume = t.as.make_label(), at = t.as.make_label();
        for (size_t i = 0; i < stub.size(); ++i) t.store_word(kRamVector + 4 * static_cast<uint32_t>(i), stub[i]);
        t.arm(resume);
        t.store_word(layout::kRamBase + slot::kVector, 0);
        t.set_status(0);
        t.as.bind(at);
        t.as.emit(Op::syscall, {.code = code});
        t.as.bind(resume);
        t.set_status(kBootStatus);
        t.expect_exception(kSys, at);
        t.expect_slot(slot::kVector, 0x80);
      });
}

// rfe in jr's delay slot with KUp set: the fetch at the kernel address the
// jr named fails in user mode (AdEL, EPC and BadVAddr that address), and the
// stack pushed again shows KUp set.
void user_mode_cases(RoutineContext& routine) {
  TrapRoutine t(routine);
  std::vector<uint32_t> stacks = {kKUp, kKUp | kIEp};
  emit_cases(
      routine, stacks,
      [](uint32_t stack) { return CaseInfo{0, {}, {{"Status", kBootStatus | stack}}, "rfe into user mode"}; },
      [&](uint32_t stack) {
        Label resume = t.as.make_label(), target = t.as.make_label();
        t.as.li(t6, 0);
        t.as.la(t7, target);
        t.set_status(kBootStatus | stack);
        t.arm(resume, true);
        t.as.jr(t7);
        t.as.emit(Op::rfe, {});
        t.as.bind(target);
        t.as.addiu(t6, zero, 1);
        t.as.bind(resume);
        t.set_status(kBootStatus);
        t.expect_count(1);
        t.expect_slot(slot::kCause, uint32_t{kAdEL} << 2, kCauseCodeMask);
        t.expect_slot_at(slot::kEpc, target);
        t.expect_slot_at(slot::kBadVAddr, target);
        t.expect_slot(slot::kStatus, kBootStatus | pushed(popped(stack)));
        t.expect_reg(t6, 0);
      });
}

}  // namespace r3k::exceptions
