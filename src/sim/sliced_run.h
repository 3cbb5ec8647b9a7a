// A run taken in slices: each run_for goes on exactly where the last one
// stopped, so a caller can interleave the reference with something else (a
// design retiring instructions in lock-step) and keep none of the run but
// what it wants. The instructions, records and result are those of one
// Machine::run with the same options.
#pragma once

#include <algorithm>
#include <optional>

#include "common/error.h"
#include "sim/machine.h"

namespace r3k::sim {

class SlicedRun {
 public:
  // From reset. A fault's pending effects live in one pass of the run loop,
  // so a sliced run has none.
  SlicedRun(Machine& machine, const RunOptions& options) : machine_(machine), options_(options), cpu_(machine.bus_) {
    if (options.fault.active()) throw Error("a run in slices cannot carry a fault");
    machine_.start(cpu_, options_);
  }

  // Runs up to `instructions` more; false once the run has stopped (at a
  // loop or at the limit of the options), when finish() gives its result.
  template <class Observer>
  bool run_for(uint64_t instructions, Observer& observer);
  bool running() const { return !stop_; }
  RunResult finish() { return machine_.finish(cpu_, stop_.value_or(StopReason::InstructionLimit)); }

 private:
  Machine& machine_;
  RunOptions options_;
  Cpu cpu_;
  std::optional<StopReason> stop_;
};

template <class Observer>
bool SlicedRun::run_for(uint64_t instructions, Observer& observer) {
  if (stop_) return false;
  RunOptions slice = options_;
  slice.max_instructions = cpu_.instructions + std::min(instructions, options_.max_instructions - cpu_.instructions);
  struct Unhook {
    Bus& bus;
    ~Unhook() { bus.set_board_write_hook(nullptr, nullptr); }
  } unhook{machine_.bus_};
  if constexpr (detail::WatchesBoard<Observer>)
    machine_.bus_.set_board_write_hook(&detail::notify_board_write<Observer>, &observer);
  // Always on the Cpu itself: the program counters must outlive the slice.
  const StopReason stop = machine_.loop<false>(cpu_, slice, observer);
  if (stop != StopReason::InstructionLimit || slice.max_instructions == options_.max_instructions) stop_ = stop;
  return !stop_;
}

}  // namespace r3k::sim
