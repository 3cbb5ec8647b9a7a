// Overflow, syscall and break, reserved encodings and coprocessor
// instructions: the traps an instruction raises by itself.
#include <string>
#include <vector>

#include "exceptions/exceptions.h"
#include "exceptions/handler.h"
#include "exceptions/trap_draws.h"

namespace r3k::exceptions {

using namespace isa;  // register names
using assembly::Label;

namespace {

constexpr uint8_t kOv = 12, kSys = 8, kBp = 9, kRI = 10, kCpU = 11;
// What rd holds before an instruction that must not write it.
constexpr uint32_t kUntouched = 0x5A5A1234;

void emit_arithmetic(TrapRoutine& t, const ArithmeticCase& c) {
  Label resume = t.as.make_label(), at = t.as.make_label();
  t.arm(resume);
  t.as.li(a0, c.a);
  t.as.li(a1, c.b);
  t.as.li(a2, kUntouched);
  t.as.bind(at);
  if (info(c.op).format == Format::RegisterAlu) t.as.alu(c.op, a2, a0, a1);
  else t.as.immediate(c.op, a2, a0, static_cast<uint16_t>(c.b));
  t.as.bind(resume);
  if (c.traps) {
    t.expect_exception(kOv, at);
    t.expect_reg(a2, kUntouched);
  } else {
    t.expect_count(0);
    t.expect_reg(a2, c.result);
  }
}

void arithmetic_cases(RoutineContext& routine, const std::vector<ArithmeticCase>& cases) {
  TrapRoutine t(routine);
  emit_cases(
      routine, cases,
      [](const ArithmeticCase& c) {
        return CaseInfo{0, {}, {{"A", c.a}, {"B", c.b}, {"expected", c.traps ? kUntouched : c.result}},
                        std::string(info(c.op).mnemonic) + (c.traps ? ": Ov, rd unchanged" : ": no trap")};
      },
      [&](const ArithmeticCase& c) { emit_arithmetic(t, c); });
}

// A trap the instruction word itself raises; `word` runs at `at`.
void emit_word_trap(TrapRoutine& t, uint32_t word, uint8_t code, uint32_t cause_mask = kCauseCodeMask,
                    uint32_t unit = 0) {
  Label resume = t.as.make_label(), at = t.as.make_label();
  t.arm(resume);
  t.as.li(a2, kUntouched);
  t.as.bind(at);
  t.as.word(word);
  t.as.addiu(a2, zero, 1);  // skipped: the handler returns past it
  t.as.bind(resume);
  t.expect_count(1);
  t.expect_slot(slot::kCause, uint32_t{code} << 2 | unit << 28, cause_mask);
  t.expect_slot_at(slot::kEpc, at);
  t.expect_reg(a2, kUntouched);
}

}  // namespace

void overflow_cases(RoutineContext& routine) { arithmetic_cases(routine, draw_overflow_cases(routine.random, true)); }

void no_overflow_trap_cases(RoutineContext& routine) {
  arithmetic_cases(routine, draw_overflow_cases(routine.random, false));
}

void syscall_break_cases(RoutineContext& routine) {
  TrapRoutine t(routine);
  std::vector<std::pair<Op, uint32_t>> cases = {{Op::syscall, 0}, {Op::break_, 0}, {Op::syscall, 0xFFFFF},
                                                {Op::break_, 0xFFFFF}};
  for (int i = 0; i < 4; ++i) cases.push_back({i % 2 ? Op::break_ : Op::syscall, routine.random.below(1u << 20)});
  emit_cases(
      routine, cases,
      [](const auto& c) {
        return CaseInfo{0, {}, {{"code", c.second}}, std::string(info(c.first).mnemonic)};
      },
      [&](const auto& c) {
        emit_word_trap(t, encode(c.first, {.code = c.second}), c.first == Op::syscall ? kSys : kBp);
      });
}

void reserved_instruction_cases(RoutineContext& routine) {
  TrapRoutine t(routine);
  emit_cases(
      routine, reserved_words(routine.random),
      [](const ReservedWord& c) { return CaseInfo{0, {}, {{"word", c.word}}, std::string(c.table)}; },
      [&](const ReservedWord& c) { emit_word_trap(t, c.word, kRI); });
}

// With every CU bit clear; Status goes back to BEV alone after each.
void coprocessor_unusable_cases(RoutineContext& routine) {
  TrapRoutine t(routine);
  emit_cases(
      routine, coprocessor_words(routine.random),
      [](const CoprocessorWord& c) {
        return CaseInfo{0, {}, {{"word", c.word}, {"CE", c.unit}}, c.what};
      },
      [&](const CoprocessorWord& c) { emit_word_trap(t, c.word, kCpU, kCauseCodeAndUnitMask, c.unit); });
}

}  // namespace r3k::exceptions
