// The run loop, a template over the observer and the core it executes on, so
// that a plain run compiles to a bare dispatch over the decoded ROM words with
// the program counters in machine registers. Included at the end of machine.h.
#pragma once

#include <algorithm>
#include <optional>

#include "sim/counted_loop.h"
#include "sim/fault_injector.h"
#include "sim/semantics.h"

namespace r3k::sim {

namespace detail {

template <class Observer>
concept WatchesBoard = requires(Observer& observer, const BoardWrite& write) { observer.on_board_write(write); };

template <class Observer>
concept WatchesInstructions = requires(Observer& observer, const Cpu& cpu, const Decoded& decoded) {
  observer.on_instruction(cpu, decoded);
};

template <class Observer>
void notify_board_write(void* observer, const BoardWrite& write) {
  static_cast<Observer*>(observer)->on_board_write(write);
}

// The core a plain run executes on: registers, HI/LO, memory and the
// exception record stay in the Cpu; the program counters and the count are
// plain values that nothing outside the loop can see, so the compiler keeps
// them in machine registers. Same interface as Cpu for the semantics.
class RegisterCore : public MemoryAccess<RegisterCore> {
 public:
  explicit RegisterCore(Cpu& cpu)
      : hi(cpu.hi), lo(cpu.lo), cop0(cpu.cop0), pc(cpu.pc), next_pc(cpu.next_pc), after_next(cpu.after_next),
        previous_pc(cpu.previous_pc), instructions(cpu.instructions), cpu_(cpu) {}

  uint32_t& hi;
  uint32_t& lo;
  Cop0& cop0;
  uint32_t pc, next_pc, after_next, previous_pc;
  uint64_t instructions;

  uint32_t reg(unsigned number) const { return cpu_.regs[number]; }
  void set_reg(unsigned number, uint32_t value) { cpu_.set_reg(number, value); }
  void branch(uint32_t target) { after_next = target; }
  uint32_t link_address() const { return pc + 8; }
  void raise(Cause cause, uint32_t bad_address = 0, uint8_t coprocessor = 0) {
    cpu_.enter_exception(cpu_.exception_at(cause, pc, previous_pc, bad_address, coprocessor), next_pc, after_next);
  }
  void raise_before_next(Cause cause, uint32_t bad_address = 0) {
    cpu_.enter_exception(Cpu::exception_before(cause, next_pc, bad_address), next_pc, after_next);
  }
  Bus& bus() { return cpu_.bus(); }
  void stop_in_latest_exception() { cpu_.stop_in_latest_exception(); }

  void write_back() {
    cpu_.pc = pc, cpu_.next_pc = next_pc, cpu_.after_next = after_next, cpu_.previous_pc = previous_pc;
    cpu_.instructions = instructions;
  }

 private:
  Cpu& cpu_;
};

// Reaching a loop settles the run even when the limit ran out at the same time.
inline StopReason stop_at_limit(const Decoded& next) {
  if (next.action == Action::end_loop) return StopReason::Finished;
  if (next.action == Action::exception_loop) return StopReason::ExceptionLoop;
  return StopReason::InstructionLimit;
}

// An instruction that could not be fetched never issues: the exception takes
// its place at once. True when the exception sends the processor back to the
// word that failed (a vector nothing can be fetched from): with nothing
// issuing in between, it would fail there for ever.
template <class Core>
bool fetch_failed(Core& c, Cause cause) {
  const uint32_t failed = c.pc;
  c.raise(cause, c.pc);
  c.pc = c.next_pc;
  c.next_pc = c.after_next;
  return c.pc == failed;
}

// A processor that can never leave its exceptions stops as at the exception
// loop, with the exception that holds it.
template <class Core>
StopReason stuck_in_exceptions(Core& c) {
  c.stop_in_latest_exception();
  return StopReason::ExceptionLoop;
}

// At the first word of a counted loop, not in a delay slot: takes as many
// whole passes as the loop makes and the limit leaves room for, and leaves
// the pc where stepping them would have (back at the loop, or past it after
// the last pass). False when not one pass fits: the caller steps.
template <class Core>
bool take_counted_passes(Core& c, const Decoded& loop, uint64_t limit) {
  if (c.next_pc != c.pc + 4) return false;
  const uint32_t counter = c.reg(loop.rt);
  const uint64_t passes = passes_until_zero(counter, loop.imm);
  const uint64_t room = (limit - c.instructions) / kCountedLoopInstructions;
  const uint64_t taken = passes == 0 ? room : std::min(passes, room);
  if (taken == 0) return false;
  c.set_reg(loop.rt, counter + static_cast<uint32_t>(taken) * loop.imm);
  c.instructions += taken * kCountedLoopInstructions;
  c.previous_pc = c.pc + 4 * (kCountedLoopInstructions - 1);  // the branch's delay slot
  if (taken == passes) {
    c.pc += 4 * kCountedLoopInstructions;
    c.next_pc = c.pc + 4;
  }
  return true;
}

}  // namespace detail

template <class Observer>
RunResult Machine::run(const RunOptions& options, Observer& observer) {
  Cpu cpu(bus_);
  start(cpu, options);
  struct Unhook {
    Bus& bus;
    ~Unhook() { bus.set_board_write_hook(nullptr, nullptr); }
  } unhook{bus_};
  if constexpr (detail::WatchesBoard<Observer>)
    bus_.set_board_write_hook(&detail::notify_board_write<Observer>, &observer);

  StopReason stop;
  if (options.fault.active()) {
    stop = loop<true>(cpu, options, observer);
  } else if constexpr (detail::WatchesInstructions<Observer>) {
    stop = loop<false>(cpu, options, observer);
  } else {
    detail::RegisterCore core(cpu);
    stop = loop<false>(core, options, observer);
    core.write_back();
  }
  return finish(cpu, stop);
}

template <bool kWithFault, class Core, class Observer>
[[gnu::always_inline]] inline StopReason Machine::loop(Core& c, const RunOptions& options,
                                                       [[maybe_unused]] Observer& observer) {
  // Whole passes of a counted loop at once, where nothing needs to see each
  // instruction; everywhere else a counted loop's first word is its addiu.
  constexpr bool kTakesPasses = !kWithFault && !detail::WatchesInstructions<Observer>;
  const uint64_t limit = options.max_instructions;
  [[maybe_unused]] std::optional<FaultInjector> injector;
  if constexpr (kWithFault) injector.emplace(options.fault);
  Decoded fetched;

  for (;;) {
    const Decoded* d = fetch_rom(c.pc);
    if (!d) [[unlikely]] {
      if (const std::optional<Cause> failure = fetch_outside_rom(c.pc, fetched)) {
        if (detail::fetch_failed(c, *failure)) [[unlikely]] return detail::stuck_in_exceptions(c);
        continue;
      }
      d = &fetched;
    }
    if (c.instructions == limit) [[unlikely]] return detail::stop_at_limit(*d);
    if constexpr (!kTakesPasses) {
      if (d->action == Action::counted_loop) [[unlikely]] {
        fetched = *d;
        fetched.action = Action::addiu;
        d = &fetched;
      }
    }

    c.after_next = c.next_pc + 4;
    Flow flow;
    if constexpr (kWithFault) {
      flow = injector->intercepts(*d) ? injector->execute(c, *d) : execute(c, *d);
      injector->after_instruction(c);
    } else {
      flow = execute(c, *d);
    }
    if (flow != Flow::next) [[unlikely]] {
      if (flow == Flow::end_loop) return StopReason::Finished;
      if (flow == Flow::exception_loop) return StopReason::ExceptionLoop;
      if (flow == Flow::counted_loop) {
        if constexpr (kTakesPasses) {
          if (detail::take_counted_passes(c, *d, limit)) continue;
        }
        c.set_reg(d->rt, c.reg(d->rs) + d->imm);  // the addiu, one pass at a time
      } else {
        // A word past the ROM's contents.
        if (detail::fetch_failed(c, Cause::BusErrorFetch)) return detail::stuck_in_exceptions(c);
        continue;
      }
    }
    if constexpr (detail::WatchesInstructions<Observer>) observer.on_instruction(c, *d);
    ++c.instructions;
    c.previous_pc = c.pc;
    c.pc = c.next_pc;
    c.next_pc = c.after_next;
  }
}

}  // namespace r3k::sim
