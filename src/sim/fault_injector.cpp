#include "sim/fault_injector.h"

#include <algorithm>

namespace r3k::sim {

namespace {

// Leaves the delay slot out: the instruction after the branch comes next.
void skip_slot(Cpu& cpu) {
  cpu.next_pc = cpu.after_next;
  cpu.after_next = cpu.next_pc + 4;
}

}  // namespace

// A bypass fault runs every instruction through here: only the faulty kind
// takes the replacement semantics.
void FaultInjector::run_semantics(Cpu& cpu, const Decoded& decoded) const {
  if (fault_.semantics && decoded.action == action()) fault_.semantics(cpu, decoded);
  else execute_normal(cpu, decoded);
}

void FaultInjector::execute_instruction(Cpu& cpu, const Decoded& decoded) { run_semantics(cpu, decoded); }

// A write of the same value as the stale one is taken for no write (the
// fresh value comes back): the faults using this read their operand only.
void FaultInjector::run_with_stale(Cpu& cpu, const Decoded& decoded, unsigned number) const {
  const uint32_t fresh = cpu.reg(number), stale = registers_before_last_[number];
  if (number == 0 || fresh == stale) return run_semantics(cpu, decoded);
  cpu.regs[number] = stale;
  run_semantics(cpu, decoded);
  if (cpu.regs[number] == stale) cpu.regs[number] = fresh;
}

void FaultInjector::hold_back_result(Cpu& cpu, const std::array<uint32_t, 32>& before) {
  for (unsigned r = 1; r < 32; ++r) {
    if (cpu.regs[r] == before[r]) continue;
    pending_.push_back({Target::general, static_cast<uint8_t>(r), cpu.regs[r], fault_.latency + 1});
    cpu.regs[r] = before[r];
  }
}

void FaultInjector::hold_back_hi_lo(Cpu& cpu, uint32_t hi_before, uint32_t lo_before) {
  if (cpu.hi != hi_before) pending_.push_back({Target::hi, 0, cpu.hi, fault_.latency + 1});
  if (cpu.lo != lo_before) pending_.push_back({Target::lo, 0, cpu.lo, fault_.latency + 1});
  cpu.hi = hi_before, cpu.lo = lo_before;
}

Flow FaultInjector::execute(Cpu& cpu, const Decoded& decoded) {
  cpu.branch_taken = false;
  cpu.exception_raised = false;
  const uint32_t register_before = cpu.reg(decoded.rt);
  const std::array<uint32_t, 32> registers_before = cpu.regs;
  const uint32_t hi_before = cpu.hi, lo_before = cpu.lo;
  switch (fault_.effect) {
    case PipelineEffect::stale_rs: run_with_stale(cpu, decoded, decoded.rs); break;
    case PipelineEffect::stale_rt: run_with_stale(cpu, decoded, decoded.rt); break;
    default:
      if (fault_.hazard != Hazard::none) execute_with_hazard(cpu, decoded);
      else execute_instruction(cpu, decoded);
      break;
  }
  if (cpu.exception_raised) return Flow::next;

  switch (fault_.effect) {
    case PipelineEffect::none:
    case PipelineEffect::stale_rs:
    case PipelineEffect::stale_rt: break;
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
    case PipelineEffect::late_result: hold_back_result(cpu, registers_before); break;
    case PipelineEffect::late_hi_lo: hold_back_hi_lo(cpu, hi_before, lo_before); break;
  }
  return Flow::next;
}


void FaultInjector::after_instruction(Cpu& cpu) {
  if (cpu.exception_raised) redirect_countdown_ = 0;  // the exception loop wins
  if (redirect_countdown_ > 0 && --redirect_countdown_ == 0) cpu.after_next = redirect_target_;
  if (load_countdown_ > 0 && --load_countdown_ == 0) cpu.set_reg(load_register_, load_value_);
  if (!pending_.empty()) {
    for (Pending& p : pending_) {
      if (--p.countdown > 0) continue;
      if (p.target == Target::general) cpu.set_reg(p.number, p.value);
      else (p.target == Target::hi ? cpu.hi : cpu.lo) = p.value;
    }
    std::erase_if(pending_, [](const Pending& p) { return p.countdown <= 0; });
  }
  if (fault_.effect == PipelineEffect::stale_rs || fault_.effect == PipelineEffect::stale_rt) {
    registers_before_last_ = registers_now_;
    registers_now_ = cpu.regs;
  }
  cpu.exception_raised = false;
}

}  // namespace r3k::sim
