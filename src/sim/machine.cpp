#include "sim/machine.h"

#include <algorithm>
#include <utility>

#include "sim/counted_loop.h"

namespace r3k::sim {

namespace {

constexpr uint32_t index_of(uint32_t address) { return (address - layout::kResetVector) / 4; }

bool only_zero_words_to_the_loop(std::span<const uint8_t> rom) {
  const size_t end = std::min<size_t>(rom.size(), layout::kExceptionLoop - layout::kResetVector);
  for (size_t at = kBootVector - layout::kResetVector; at < end; ++at)
    if (rom[at] != 0) return false;
  return true;
}

}  // namespace

Machine::Machine(std::vector<uint8_t> boot_memory)
    : bus_(std::move(boot_memory)),
      cache_(std::make_unique<DecodeCache>()),
      rom_words_(static_cast<uint32_t>(bus_.rom().size() / 4)),
      fetchable_words_(std::max(rom_words_, index_of(layout::kExceptionLoop) + 1)),
      exceptions_stop_run_(only_zero_words_to_the_loop(bus_.rom())) {}

Machine::Machine(std::span<const uint8_t> boot_memory, std::shared_ptr<const void> storage)
    : bus_(boot_memory, std::move(storage)),
      cache_(std::make_unique<DecodeCache>()),
      rom_words_(static_cast<uint32_t>(bus_.rom().size() / 4)),
      fetchable_words_(std::max(rom_words_, index_of(layout::kExceptionLoop) + 1)),
      exceptions_stop_run_(only_zero_words_to_the_loop(bus_.rom())) {}

RunResult Machine::run(const RunOptions& options) {
  NullObserver observer;
  return run(options, observer);
}

const Decoded* Machine::refill(uint32_t pc, uint32_t slot) {
  if ((pc & 3) || index_of(pc) >= fetchable_words_) return nullptr;  // below the ROM wraps round too
  cache_->entries[slot] = decode_rom_word(pc);
  cache_->tags[slot] = pc;
  return &cache_->entries[slot];
}

Decoded Machine::decode_rom_word(uint32_t pc) const {
  const auto word_at = [&](uint32_t address) {
    return decode_at(load_le32(&bus_.rom()[4 * index_of(address)]), address);
  };
  Decoded decoded;
  if (index_of(pc) < rom_words_) decoded = word_at(pc);
  else decoded.action = Action::outside_rom;
  if (pc == layout::kEndLoop) decoded.action = Action::end_loop;
  const auto is_stop_entry = [&](uint32_t address) {
    return address == layout::kEndLoop || (address == layout::kExceptionLoop && exceptions_stop_run_);
  };
  if (pc == layout::kExceptionLoop && exceptions_stop_run_) decoded.action = Action::exception_loop;
  // A counted loop's three words all lie in the ROM's contents, and none is a
  // stop entry, which ends the run when reached.
  const auto is_plain_word = [&](uint32_t address) { return index_of(address) < rom_words_ && !is_stop_entry(address); };
  if (steps_a_counter(decoded) && is_plain_word(pc + 4) && is_plain_word(pc + 8) &&
      is_counted_loop(pc, decoded, word_at(pc + 4), word_at(pc + 8)))
    decoded.action = Action::counted_loop;
  return decoded;
}

void Machine::start(Cpu& cpu, const RunOptions& options) {
  bus_.reset(options.quick_run_flag);
  cpu.pc = options.start_pc;
  cpu.next_pc = options.start_pc + 4;
  cpu.exceptions_stop_run = exceptions_stop_run_;
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
  result.cop0 = cpu.cop0;
  result.exceptions_taken = cpu.exceptions_taken;
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
