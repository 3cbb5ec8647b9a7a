#include "divergence/reference_state.h"

#include "board/layout.h"
#include "isa/isa.h"
#include "sim/machine.h"

namespace r3k::divergence {

namespace {

struct Reached {};

class Recorder {
 public:
  Recorder(ReferenceState& state, size_t keep) : state_(state), keep_(keep) {}
  void on_instruction(const sim::Cpu& cpu, const sim::Decoded& decoded) {
    const Step step{cpu.pc, decoded.word, last_};
    trace_.record(cpu, decoded, lines_);
    if (cpu.instructions == state_.index) {
      state_.reached = true;
      // A fetch that failed issued no instruction: its exception, compared
      // before the vector's first instruction, is the run's line there.
      if (lines_.has_before) {
        state_.at = {lines_.before.pc, 0, last_};
        state_.written = lines_.before;
        state_.exception = lines_.before;
        throw Reached{};
      }
      state_.written = lines_.instruction;
      if (lines_.has_after) state_.exception = lines_.after;
      state_.at = step;
      state_.memory_word = memory_word(cpu, decoded, step.before);
      if (decoded.action < sim::Action::reserved &&
          (isa::info(decoded.op()).is_load() || isa::info(decoded.op()).is_store())) {
        state_.ram.resize(layout::kRamSize / 4);
        for (uint32_t i = 0; i < state_.ram.size(); ++i)
          state_.ram[i] = cpu.bus().peek_ram_word(layout::kRamBase + 4 * i).value_or(0);
      }
      throw Reached{};
    }
    history_.insert(history_.begin(), step);
    if (history_.size() > keep_) history_.pop_back();
    state_.earlier = history_;
    last_ = {cpu.regs, cpu.hi, cpu.lo};
  }

  static uint32_t memory_word(const sim::Cpu& cpu, const sim::Decoded& decoded, const Registers& before) {
    return cpu.bus().peek_ram_word(before.regs[decoded.rs] + decoded.imm).value_or(0);
  }
  const Registers& registers() const { return last_; }
  bool pending_exception(const sim::RunResult& result, sim::TraceRecord& exception) const {
    return trace_.pending_exception(result, exception);
  }

 private:
  ReferenceState& state_;
  size_t keep_;
  std::vector<Step> history_;
  Registers last_;
  sim::TraceRecorder trace_;
  sim::TraceLines lines_;
};

}  // namespace

uint32_t ram_word(const ReferenceState& state, uint32_t address) {
  const uint32_t index = ((address & ~3u) - layout::kRamBase) / 4;
  return index < state.ram.size() ? state.ram[index] : 0;
}

ReferenceState state_at(std::span<const uint8_t> boot, uint64_t index, uint32_t quick_run_flag,
                        const sim::Fault& fault) {
  ReferenceState state;
  state.index = index;
  state.rom_size = static_cast<uint32_t>(boot.size());
  sim::Machine machine(std::vector<uint8_t>(boot.begin(), boot.end()));
  sim::RunOptions options;
  options.quick_run_flag = quick_run_flag;
  options.max_instructions = index + 1;
  options.fault = fault;
  Recorder recorder(state, 5);
  try {
    const sim::RunResult result = machine.run(options, recorder);
    // A fetch from a wrong address issues no instruction: its exception is
    // the run's line there.
    sim::TraceRecord exception;
    if (result.instructions - index <= 1 && recorder.pending_exception(result, exception)) {
      state.reached = true;
      state.at = {exception.pc, 0, recorder.registers()};
      state.written = exception;
      state.exception = exception;
    }
  } catch (const Reached&) {
  }
  return state;
}

}  // namespace r3k::divergence
