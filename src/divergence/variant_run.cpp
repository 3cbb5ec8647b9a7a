#include "divergence/variant_run.h"

#include "board/layout.h"
#include "isa/isa.h"
#include "sim/cpu.h"
#include "sim/decoded.h"
#include "sim/semantics.h"

namespace r3k::divergence {

VariantRunner::VariantRunner() : bus_(std::vector<uint8_t>(4, 0)) {}

VariantResult VariantRunner::run(uint32_t pc, uint32_t word, const Registers& before, const ReferenceState* memory,
                                 uint32_t original_word) {
  bus_.reset(1);
  sim::Cpu cpu(bus_);
  cpu.regs = before.regs, cpu.hi = before.hi, cpu.lo = before.lo;
  cpu.pc = pc, cpu.next_pc = pc + 4, cpu.after_next = pc + 8;
  const sim::Decoded decoded = sim::decode_at(word, pc);
  const uint32_t address = (before.regs[decoded.rs] + decoded.imm) & ~3u;
  if (uint8_t* bytes = bus_.ram_at(address)) sim::store_le32(bytes, memory ? ram_word(*memory, address) : 0);
  const bool accesses = isa::info(isa::decode(word)).attributes.memory != isa::MemoryAccess::none;
  VariantResult result;
  result.unknown = accesses && memory && address - layout::kResetVector < memory->rom_size;
  // The recorder reports what changed since the last record: a nop first
  // makes it start from `before`.
  sim::TraceRecorder recorder;
  sim::TraceLines lines;
  recorder.record(cpu, sim::decode_at(0, pc), lines);
  sim::execute_normal(cpu, decoded);
  recorder.record(cpu, decoded, lines);
  result.record = lines.instruction;
  result.record.word = original_word;
  if (lines.has_after && lines.raised) result.raised = lines.after;
  result.after_slot = cpu.after_next;
  return result;
}

}  // namespace r3k::divergence
