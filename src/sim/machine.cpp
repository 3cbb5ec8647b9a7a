#include "sim/machine.h"

#include <algorithm>
#include <utility>

namespace r3k::sim {

namespace {

constexpr uint32_t index_of(uint32_t address) { return (address - layout::kResetVector) / 4; }

}  // namespace

Machine::Machine(std::vector<uint8_t> boot_memory) : bus_(std::move(boot_memory)) {
  const std::vector<uint8_t>& rom = bus_.rom();
  const auto rom_words = static_cast<uint32_t>(rom.size() / 4);
  // Tests run images far smaller than the start code; the loops still stop them.
  decoded_.resize(std::max(rom_words, index_of(layout::kExceptionLoop) + 1));
  for (uint32_t i = 0; i < decoded_.size(); ++i) {
    const uint32_t address = layout::kResetVector + 4 * i;
    if (i < rom_words) decoded_[i] = decode_at(load_le32(&rom[4 * i]), address);
    else decoded_[i].action = Action::outside_rom;
  }
  decoded_[index_of(layout::kEndLoop)].action = Action::end_loop;
  decoded_[index_of(layout::kExceptionLoop)].action = Action::exception_loop;
}

RunResult Machine::run(const RunOptions& options) {
  NullObserver observer;
  return run(options, observer);
}

void Machine::start(Cpu& cpu, const RunOptions& options) {
  bus_.reset(options.quick_run_flag);
  cpu.pc = options.start_pc;
  cpu.next_pc = options.start_pc + 4;
}

RunResult Machine::finish(Cpu& cpu, StopReason stop) {
  RunResult result;
  result.stop = stop;
  result.exception = cpu.exception;
  result.board_writes = bus_.take_board_writes();
  result.board = bus_.board();
  result.quick_run_flag_reads = bus_.quick_run_flag_reads();
  result.instructions = cpu.instructions;
  result.regs = cpu.regs;
  result.hi = cpu.hi;
  result.lo = cpu.lo;
  result.pc = cpu.pc;
  return result;
}

std::optional<Cause> Machine::fetch_outside_rom(uint32_t pc, Decoded& decoded) {
  if (pc & 3) return Cause::AddressErrorFetch;
  const uint8_t* p = bus_.ram_at(pc);
  if (!p) return Cause::BusErrorFetch;
  decoded = decode_at(load_le32(p), pc);
  return std::nullopt;
}

}  // namespace r3k::sim
