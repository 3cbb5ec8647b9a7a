// The bypass faults: what an instruction reads, going by the writes of the
// three instructions before it. The registers an instruction reads and writes
// come from the instruction table.
#include <array>

#include "sim/fault_injector.h"

namespace r3k::sim {

namespace {

using isa::Op;

bool is_load(Op op) { return isa::info(op).is_load(); }

struct Reads {
  std::array<uint8_t, 2> regs{};
  int count = 0;
  int base = -1;  // index in regs of a load's base register
  void add(uint8_t reg) { regs[count++] = reg; }
};

Reads reads_of(const Decoded& d) {
  Reads reads;
  if (d.op() == Op::invalid) return reads;  // a reserved word traps: it reads nothing
  const isa::Reads& row = isa::info(d.op()).reads;
  if (row.rs && is_load(d.op())) reads.base = 0;
  if (row.rs) reads.add(d.rs);
  if (row.rt) reads.add(d.rt);
  return reads;
}

}  // namespace

void FaultInjector::execute_with_hazard(Cpu& cpu, const Decoded& decoded) {
  const Reads reads = reads_of(decoded);
  const std::optional<uint8_t> dest = named_destination(decoded);
  const std::array<uint32_t, 32> true_regs = cpu.regs;

  // What each read register shows instead of its value, if anything.
  for (int i = 0; i < reads.count; ++i) {
    const uint8_t reg = reads.regs[i];
    const Write& p = previous_;
    const Write& pp = before_previous_;
    switch (fault_.hazard) {
      case Hazard::missing_bypass:
        if (reg != 0 && p.valid && p.reg == reg) cpu.regs[reg] = p.before;
        break;
      case Hazard::older_result_wins:
        if (reg != 0 && p.valid && pp.valid && p.reg == reg && pp.reg == reg) cpu.regs[reg] = pp.value;
        break;
      case Hazard::zero_forwarded:
        if (reg == 0 && p.valid && p.reg == 0) cpu.regs[0] = p.value;
        break;
      case Hazard::stale_load_base:
        if (i != reads.base || reg == 0) break;
        if (p.valid && p.by_load && p.reg == reg) cpu.regs[reg] = p.before;
        else if (pp.valid && pp.by_load && pp.reg == reg) cpu.regs[reg] = pp.before;
        break;
      case Hazard::rs_bypass_lost:
      case Hazard::rt_bypass_lost: {
        const uint8_t operand = fault_.hazard == Hazard::rs_bypass_lost ? decoded.rs : decoded.rt;
        if (reg == 0 || reg != operand) break;
        const std::array<const Write*, 3> back{&p, &pp, &third_previous_};
        for (int d = 0; d < 3; ++d) {
          if (!back[d]->valid || back[d]->reg != reg) continue;
          if (d + 1 == fault_.bypass_distance) cpu.regs[reg] = back[d]->before;
          break;  // a nearer write is forwarded on its own path
        }
        break;
      }
      case Hazard::none: break;
    }
  }

  // The value meant for $zero, from a copy that writes $at instead.
  uint32_t zero_value = 0;
  if (dest == 0 && fault_.hazard == Hazard::zero_forwarded) {
    Cpu copy = cpu;
    Decoded redirected = decoded;
    const bool writes_rt = isa::info(decoded.op()).destination == isa::Destination::rt;
    (writes_rt ? redirected.rt : redirected.rd) = 1;
    execute_normal(copy, redirected);
    zero_value = copy.regs[1];
  }

  execute_instruction(cpu, decoded);

  // Registers read but not written go back to their true values.
  for (int i = 0; i < reads.count; ++i) {
    const uint8_t reg = reads.regs[i];
    if (cpu.exception_raised || !dest || *dest != reg) cpu.regs[reg] = true_regs[reg];
  }
  cpu.regs[0] = 0;

  third_previous_ = before_previous_;
  before_previous_ = previous_;
  previous_ = {};
  if (dest && !cpu.exception_raised)
    previous_ = {true, is_load(decoded.op()), *dest, true_regs[*dest], *dest == 0 ? zero_value : cpu.regs[*dest]};
}

}  // namespace r3k::sim
