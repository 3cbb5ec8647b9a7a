#include "sim/cpu.h"

namespace r3k::sim {

ExceptionRecord Cpu::exception_at(Cause cause, uint32_t at, uint32_t previous, uint32_t bad_address,
                                  uint8_t coprocessor) {
  ExceptionRecord record{.cause = cause, .pc = at, .bad_address = bad_address};
  record.coprocessor = coprocessor;
  // In a delay slot when the instruction completed just before is the word
  // above, and it is a branch or jump (taken or not).
  uint32_t word = 0;
  if (previous + 4 == at && bus().read(previous, Width::word, word)) {
    const isa::Op op = isa::decode(word);
    record.in_delay_slot = op != isa::Op::invalid && isa::has_delay_slot(op);
  }
  record.epc = record.in_delay_slot ? previous : at;
  return record;
}

ExceptionRecord Cpu::exception_before(Cause cause, uint32_t at, uint32_t bad_address) {
  ExceptionRecord record{.cause = cause, .pc = at, .bad_address = bad_address, .epc = at};
  record.after_instruction = true;
  return record;
}

void Cpu::enter_exception(ExceptionRecord record, uint32_t& next, uint32_t& after) {
  exception_raised = true;
  record.handled = !exceptions_stop_run;
  recent_exceptions[++exceptions_taken % 2] = record;
  if (exceptions_stop_run) {
    if (!exception) exception = record;
    next = layout::kExceptionLoop;
  } else {
    cop0.enter(record);
    next = cop0.vector();
  }
  after = next + 4;
}

}  // namespace r3k::sim
