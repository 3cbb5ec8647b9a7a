// The coprocessor instructions: mfc0, mtc0, rfe, and the words of
// coprocessors this processor does not have. Cold paths of the run loop.
#pragma once

#include <cstdint>

#include "sim/cop0.h"
#include "sim/decoded.h"

namespace r3k::sim {

// After an mtc0 or rfe changed Status or Cause: an interrupt now enabled and
// pending is taken before the next instruction (EPC that instruction), and so
// is the fetch that user mode cannot make (see cop0.h).
template <class Core>
[[gnu::noinline, gnu::cold]] void after_cop0_change(Core& c) {
  if (c.cop0.interrupt_pending()) c.raise_before_next(Cause::Interrupt);
  else if (c.cop0.user_mode() && c.next_pc >= kKernelBase) c.raise_before_next(Cause::AddressErrorFetch, c.next_pc);
}

template <class Core>
[[gnu::noinline, gnu::cold]] void move_from_cop0(Core& c, const Decoded& d) {
  if (!c.cop0.usable(0)) return c.raise(Cause::CoprocessorUnusable, 0, 0);
  c.set_reg(d.rt, c.cop0.read(d.rd));
}

template <class Core>
[[gnu::noinline, gnu::cold]] void move_to_cop0(Core& c, const Decoded& d) {
  if (!c.cop0.usable(0)) return c.raise(Cause::CoprocessorUnusable, 0, 0);
  if (c.cop0.write(d.rd, c.reg(d.rt))) after_cop0_change(c);
}

template <class Core>
[[gnu::noinline, gnu::cold]] void return_from_exception(Core& c) {
  if (!c.cop0.usable(0)) return c.raise(Cause::CoprocessorUnusable, 0, 0);
  c.cop0.return_from_exception();
  after_cop0_change(c);
}

// A word no row of the instruction table matches. One of a coprocessor
// (COPz, LWCz, SWCz) whose CU bit is clear raises CpU with the unit (unit 0:
// only in user mode); with the bit set there is still no unit to answer, and
// the word is reserved, as is every other.
template <class Core>
[[gnu::noinline, gnu::cold]] void raise_unmatched(Core& c, uint32_t word) {
  const uint32_t opcode = word >> isa::kOpcodeShift;
  const uint32_t group = opcode & ~3u;
  const auto unit = static_cast<uint8_t>(opcode & 3);
  const bool of_coprocessor = group == 0x10 || group == 0x30 || group == 0x38;  // COPz, LWCz, SWCz
  if (of_coprocessor && !c.cop0.usable(unit)) c.raise(Cause::CoprocessorUnusable, 0, unit);
  else c.raise(Cause::ReservedInstruction);
}

}  // namespace r3k::sim
