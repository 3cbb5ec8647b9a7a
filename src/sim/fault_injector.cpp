#include "sim/fault_injector.h"

namespace r3k::sim {

namespace {

// Leaves the delay slot out: the instruction after the branch comes next.
void skip_slot(Cpu& cpu) {
  cpu.next_pc = cpu.after_next;
  cpu.after_next = cpu.next_pc + 4;
}

}  // namespace

Flow FaultInjector::execute(Cpu& cpu, const Decoded& decoded) {
  cpu.branch_taken = false;
  cpu.exception_raised = false;
  const uint32_t register_before = cpu.reg(decoded.rt);
  if (fault_.hazard != Hazard::none) execute_with_hazard(cpu, decoded);
  else execute_instruction(cpu, decoded);
  if (cpu.exception_raised) return Flow::next;

  switch (fault_.effect) {
    case PipelineEffect::none: break;
    case PipelineEffect::skip_slot_when_taken: if (cpu.branch_taken) skip_slot(cpu); break;
    case PipelineEffect::skip_slot_when_not_taken: if (!cpu.branch_taken) skip_slot(cpu); break;
    case PipelineEffect::skip_slot_always: skip_slot(cpu); break;
    case PipelineEffect::slot_twice:
      // The slot comes next and again after itself; then wherever the branch was going.
      redirect_target_ = cpu.after_next;
      redirect_countdown_ = 2;
      cpu.after_next = cpu.next_pc;
      break;
    case PipelineEffect::delayed_load: {
      const uint32_t loaded = cpu.reg(decoded.rt);
      cpu.set_reg(decoded.rt, register_before);
      // A load in the delay of another: the earlier one is due at the end of
      // this instruction, before this one's own result.
      if (load_countdown_ > 0) cpu.set_reg(load_register_, load_value_);
      load_register_ = decoded.rt;
      load_value_ = loaded;
      load_countdown_ = 2;
      break;
    }
  }
  return Flow::next;
}

void FaultInjector::execute_instruction(Cpu& cpu, const Decoded& decoded) {
  if (fault_.semantics && decoded.action == action()) fault_.semantics(cpu, decoded);
  else execute_normal(cpu, decoded);
}

void FaultInjector::after_instruction(Cpu& cpu) {
  if (cpu.exception_raised) redirect_countdown_ = 0;  // the exception loop wins
  if (redirect_countdown_ > 0 && --redirect_countdown_ == 0) cpu.after_next = redirect_target_;
  if (load_countdown_ > 0 && --load_countdown_ == 0) cpu.set_reg(load_register_, load_value_);
  cpu.exception_raised = false;
}

}  // namespace r3k::sim
