// The processor's architectural state and the primitives every instruction's
// semantics is written with. A fault injected by a test uses the same ones.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "board/layout.h"
#include "sim/bus.h"
#include "sim/cop0.h"
#include "sim/exception.h"

namespace r3k::sim {

// Loads and stores as the processor performs them, for any core that has
// bus(), raise() and an instruction count: an address not aligned to the
// width, or one nothing answers, raises the exception and returns false.
// Loaded values are zero-extended. A partial word (lwl, lwr, swl, swr) is the
// aligned word holding `address`.
template <class Core>
class MemoryAccess {
 public:
  bool load(uint32_t address, Width width, uint32_t& value);
  bool store(uint32_t address, Width width, uint32_t value);

  // The last store that was made: where (the aligned word for a partial
  // one) and what, as the processor put it on the bus, whatever its
  // registers say afterwards. A trace shows a store from these.
  uint32_t stored_address = 0, stored_value = 0;
  Width stored_width = Width::word;

 private:
  Core& core() { return static_cast<Core&>(*this); }
};

class Cpu : public MemoryAccess<Cpu> {
 public:
  explicit Cpu(Bus& bus) : bus_(&bus) {}

  std::array<uint32_t, 32> regs{};
  uint32_t hi = 0, lo = 0;

  // The instruction executing, the one that follows it (the delay slot when
  // `pc` holds a branch or jump), and the one after that, which a taken
  // branch or a jump replaces. The run loop shifts them along after each
  // instruction.
  uint32_t pc = 0, next_pc = 0, after_next = 0;

  // The instruction completed before `pc` (what tells a delay slot).
  uint32_t previous_pc = 1;

  bool branch_taken = false;      // set by branch(); cleared only where a fault needs to know
  bool exception_raised = false;  // set by raise(); cleared only where a fault needs to know
  uint64_t instructions = 0;      // completed so far (a faulting one counts)
  std::optional<ExceptionRecord> exception;  // the one that stopped the run at the exception loop

  Cop0 cop0;
  // An image whose exception vector holds nothing but the slide to the
  // exception loop: an exception ends the run there (Machine decides).
  bool exceptions_stop_run = true;
  uint64_t exceptions_taken = 0;
  // The last two exceptions, the latest at [exceptions_taken % 2]: an
  // observer sees at most a fetch exception and the next instruction's.
  std::array<ExceptionRecord, 2> recent_exceptions{};

  uint32_t reg(unsigned number) const { return regs[number]; }
  // $zero reads as 0 whatever was written to it.
  void set_reg(unsigned number, uint32_t value) {
    regs[number] = value;
    regs[0] = 0;
  }

  // Control transfer after the delay slot.
  void branch(uint32_t target) {
    after_next = target;
    branch_taken = true;
  }
  // What jal, jalr, bltzal and bgezal write: the address after the delay slot.
  uint32_t link_address() const { return pc + 8; }

  // The exception of the instruction at `pc` (or of its fetch): the
  // processor goes on at the vector, or at the exception loop where that ends
  // the run; the caller leaves the destination register unchanged.
  void raise(Cause cause, uint32_t bad_address = 0, uint8_t coprocessor = 0) {
    enter_exception(exception_at(cause, pc, previous_pc, bad_address, coprocessor), next_pc, after_next);
  }
  // An exception taken after the instruction at `pc` completed, before the
  // one at `next_pc`: an interrupt, or the fetch after a switch to user mode.
  void raise_before_next(Cause cause, uint32_t bad_address = 0) {
    enter_exception(exception_before(cause, next_pc, bad_address), next_pc, after_next);
  }

  // The record of an exception raised at `at`, `previous` the instruction
  // completed before it.
  ExceptionRecord exception_at(Cause cause, uint32_t at, uint32_t previous, uint32_t bad_address,
                               uint8_t coprocessor);
  static ExceptionRecord exception_before(Cause cause, uint32_t at, uint32_t bad_address);
  // Records the exception and sends the processor on: `next` and `after` are
  // the program counters the run loop moves to.
  void enter_exception(ExceptionRecord record, uint32_t& next, uint32_t& after);

  // Makes the exception just taken the one the run stopped in: for a
  // processor that can never leave it.
  void stop_in_latest_exception() {
    if (!exception) exception = recent_exceptions[exceptions_taken % 2];
  }

  Bus& bus() { return *bus_; }
  const Bus& bus() const { return *bus_; }

 private:
  Bus* bus_;
};

namespace detail {
constexpr uint32_t alignment_mask(Width width) {
  return width == Width::half ? 1 : width == Width::word ? 3 : 0;
}
}  // namespace detail

template <class Core>
inline bool MemoryAccess<Core>::load(uint32_t address, Width width, uint32_t& value) {
  if (address & detail::alignment_mask(width)) [[unlikely]] {
    core().raise(Cause::AddressErrorLoad, address);
    return false;
  }
  const uint32_t aligned = width == Width::partial_word ? address & ~3u : address;
  if (const uint8_t* p = core().bus().ram_at(aligned)) [[likely]] {
    switch (width) {
      case Width::byte: value = p[0]; break;
      case Width::half: value = uint32_t(p[0]) | uint32_t(p[1]) << 8; break;
      default: value = load_le32(p); break;
    }
    return true;
  }
  if (core().bus().read(aligned, width, value)) return true;
  core().raise(Cause::BusErrorLoad, address);
  return false;
}

template <class Core>
inline bool MemoryAccess<Core>::store(uint32_t address, Width width, uint32_t value) {
  if (address & detail::alignment_mask(width)) [[unlikely]] {
    core().raise(Cause::AddressErrorStore, address);
    return false;
  }
  const uint32_t aligned = width == Width::partial_word ? address & ~3u : address;
  stored_address = aligned, stored_value = value, stored_width = width;
  if (uint8_t* p = core().bus().ram_at(aligned)) [[likely]] {
    switch (width) {
      case Width::byte: p[0] = uint8_t(value); break;
      case Width::half: p[0] = uint8_t(value), p[1] = uint8_t(value >> 8); break;
      default: store_le32(p, value); break;
    }
    return true;
  }
  if (core().bus().write(aligned, width, value, core().instructions + 1)) return true;
  core().raise(Cause::BusErrorStore, address);
  return false;
}

}  // namespace r3k::sim
