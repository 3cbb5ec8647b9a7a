// The delay-slot rules and precise exceptions: where EPC points, what BD
// says, and what before and after the faulting instruction takes effect.
#include <string>
#include <vector>

#include "board/layout.h"
#include "exceptions/exceptions.h"
#include "exceptions/handler.h"

namespace r3k::exceptions {

using namespace isa;  // register names
using assembly::Label;

namespace {

constexpr uint8_t kAdEL = 4, kSys = 8, kBp = 9, kOv = 12;
constexpr uint32_t kUntouched = 0x5A5A1234;

// The faulting instructions, with operands the case loads first: $a0 =
// 0x7FFFFFFF and $a1 = 1 overflow, $a3 is a misaligned RAM address.
enum class Fault : uint8_t { syscall, break_, overflow, misaligned_load };
constexpr Fault kFaults[] = {Fault::syscall, Fault::break_, Fault::overflow, Fault::misaligned_load};
const char* fault_name(Fault fault) {
  switch (fault) {
    case Fault::syscall: return "syscall";
    case Fault::break_: return "break";
    case Fault::overflow: return "add overflow";
    case Fault::misaligned_load: return "misaligned lw";
  }
  return "";
}
uint8_t code_of(Fault fault) {
  switch (fault) {
    case Fault::syscall: return kSys;
    case Fault::break_: return kBp;
    case Fault::overflow: return kOv;
    case Fault::misaligned_load: return kAdEL;
  }
  return 0;
}

uint32_t misaligned_address(const RoutineContext& routine) {
  return layout::kRamBase + 0x1000u * static_cast<uint32_t>(routine.spec.number) + 2;
}

void load_fault_operands(TrapRoutine& t) {
  t.as.li(a0, 0x7FFFFFFF);
  t.as.li(a1, 1);
  t.as.li(a3, misaligned_address(t.routine));
  t.as.li(a2, kUntouched);
}

void emit_fault(TrapRoutine& t, Fault fault, uint32_t code) {
  switch (fault) {
    case Fault::syscall: t.as.emit(Op::syscall, {.code = code}); break;
    case Fault::break_: t.as.emit(Op::break_, {.code = code}); break;
    case Fault::overflow: t.as.alu(Op::add, a2, a0, a1); break;
    case Fault::misaligned_load: t.as.lw(a2, 0, a3); break;
  }
}

void expect_fault(TrapRoutine& t, Fault fault, Label epc, bool in_delay_slot) {
  t.expect_exception(code_of(fault), epc, in_delay_slot);
  if (fault == Fault::misaligned_load) t.expect_slot(slot::kBadVAddr, misaligned_address(t.routine));
  t.expect_reg(a2, kUntouched);
}

// The branches and jumps whose slot faults; beq and bltzal also not taken.
struct SlotBranch {
  Op op;
  bool taken;
};
constexpr SlotBranch kBranches[] = {{Op::beq, true}, {Op::beq, false}, {Op::bne, true},   {Op::bgezal, true},
                                    {Op::bltzal, false}, {Op::j, true}, {Op::jal, true}, {Op::jr, true},
                                    {Op::jalr, true}};

struct SlotCase {
  SlotBranch branch;
  Fault fault;
  uint32_t code;
};

void emit_slot_case(TrapRoutine& t, const SlotCase& c) {
  Label resume = t.as.make_label(), at = t.as.make_label();
  t.arm(resume);
  load_fault_operands(t);
  t.as.la(v0, resume);
  t.as.li(t6, kUntouched);
  t.as.nop();
  t.as.bind(at);
  switch (c.branch.op) {
    case Op::beq: t.as.beq(zero, c.branch.taken ? zero : a1, resume); break;
    case Op::bne: t.as.bne(a1, zero, resume); break;
    case Op::bgezal: t.as.branch(Op::bgezal, zero, resume); break;
    case Op::bltzal: t.as.branch(Op::bltzal, zero, resume); break;
    case Op::j: t.as.j(resume); break;
    case Op::jal: t.as.jal(resume); break;
    case Op::jr: t.as.jr(v0); break;
    default: t.as.jalr(t6, v0); break;
  }
  emit_fault(t, c.fault, c.code);
  t.as.bind(resume);
  expect_fault(t, c.fault, at, true);
  if (info(c.branch.op).links()) {
    const Reg link = c.branch.op == Op::jalr ? t6 : ra;
    t.expect_reg_at(link, at, 8);
    t.restore_ra();
  }
}

struct PreciseCase {
  Op multiply;  // issued before the fault: mult or div
  uint32_t x, y;
  Fault fault;
  uint32_t hi, lo;
};

PreciseCase draw_precise(Random& random, Op multiply, Fault fault) {
  const auto x = random.word(), y = random.word() | 1;
  if (multiply == Op::mult) {
    const int64_t product = int64_t{static_cast<int32_t>(x)} * static_cast<int32_t>(y);
    return {multiply, x, y, fault, static_cast<uint32_t>(static_cast<uint64_t>(product) >> 32),
            static_cast<uint32_t>(product)};
  }
  const uint32_t divisor = y == 0xFFFFFFFF ? 3 : y;
  const auto quotient = static_cast<int32_t>(x) / static_cast<int32_t>(divisor);
  const auto remainder = static_cast<int32_t>(x) % static_cast<int32_t>(divisor);
  return {multiply, x, divisor, fault, static_cast<uint32_t>(remainder), static_cast<uint32_t>(quotient)};
}

// The multiply or divide before the fault completes into HI/LO; the register
// write, the store and the multiply after it never happen.
void emit_precise_case(TrapRoutine& t, const PreciseCase& c) {
  Label resume = t.as.make_label(), at = t.as.make_label();
  const uint32_t word = misaligned_address(t.routine) + 0x100 - 2;
  t.store_word(word, kUntouched);
  t.arm(resume);
  load_fault_operands(t);
  t.as.li(t7, c.x);
  t.as.li(t8, c.y);
  t.as.li(v0, word);
  t.as.li(t6, kUntouched);
  t.as.multiply_divide(c.multiply, t7, t8);
  t.as.bind(at);
  emit_fault(t, c.fault, 0);
  t.as.addiu(t6, zero, 1);
  t.as.sw(a1, 0, v0);
  t.as.multiply_divide(Op::multu, a0, a0);
  t.as.bind(resume);
  expect_fault(t, c.fault, at, false);
  t.expect_reg(t6, kUntouched);
  t.expect_word(word, kUntouched);
  t.as.move_from(Op::mfhi, t7);
  t.as.move_from(Op::mflo, t8);
  t.expect_reg(t7, c.hi);
  t.expect_reg(t8, c.lo);
}

}  // namespace

void delay_slot_cases(RoutineContext& routine) {
  TrapRoutine t(routine);
  std::vector<SlotCase> cases;
  for (const SlotBranch& branch : kBranches)
    for (const Fault fault : kFaults) cases.push_back({branch, fault, routine.random.below(1u << 20)});
  emit_cases(
      routine, cases,
      [](const SlotCase& c) {
        return CaseInfo{0, {}, {}, std::string(fault_name(c.fault)) + " in the delay slot of " +
                                       std::string(info(c.branch.op).mnemonic) + (c.branch.taken ? ", taken" : ", not taken")};
      },
      [&](const SlotCase& c) { emit_slot_case(t, c); });
}

void precise_cases(RoutineContext& routine) {
  TrapRoutine t(routine);
  std::vector<PreciseCase> cases;
  for (const Op multiply : {Op::mult, Op::div})
    for (const Fault fault : kFaults) cases.push_back(draw_precise(routine.random, multiply, fault));
  emit_cases(
      routine, cases,
      [](const PreciseCase& c) {
        return CaseInfo{0, {}, {{"X", c.x}, {"Y", c.y}, {"HI", c.hi}, {"LO", c.lo}},
                        std::string(info(c.multiply).mnemonic) + " before " + fault_name(c.fault)};
      },
      [&](const PreciseCase& c) { emit_precise_case(t, c); });
}

}  // namespace r3k::exceptions
