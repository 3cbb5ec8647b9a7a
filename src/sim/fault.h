// A deliberately broken processor: one instruction kind misbehaves, so tests
// can show that the image notices. A run with no fault never looks at this.
#pragma once

#include <functional>

#include "isa/isa.h"
#include "sim/cpu.h"
#include "sim/decoded.h"

namespace r3k::sim {

// How the faulty instruction disturbs the instructions around it.
enum class PipelineEffect : uint8_t {
  none,
  skip_slot_when_taken,      // a taken branch goes straight to its target
  skip_slot_when_not_taken,  // an untaken branch skips the word after it
  skip_slot_always,
  slot_twice,                // the delay slot executes twice, then the branch goes on
  delayed_load,              // the loaded register changes only after the next instruction
  // Forwarding and interlock faults; `latency` says how many instructions late.
  late_result,               // the general register it writes changes only `latency` instructions later
  late_hi_lo,                // the HI and LO it writes change only `latency` instructions later
  stale_rs,                  // reads $rs without the result of the instruction right before it
  stale_rt,                  // reads $rt without the result of the instruction right before it
};

// A fault of the bypass network rather than of one instruction: it changes
// what every instruction reads, going by what the three instructions before
// it wrote.
enum class Hazard : uint8_t {
  none,
  missing_bypass,     // a register written by the instruction just before reads as it was before that write
  older_result_wins,  // a register written by both instructions before reads as the older write left it
  zero_forwarded,     // $zero reads as what the instruction just before wrote to it
  stale_load_base,    // a load's base written by a load one or two instructions before reads as it was before
  // One path of a five-stage pipeline's bypass lost: the rs (rt) operand
  // written by the instruction `bypass_distance` back (1 to 3), and by none
  // nearer, reads as it was before that write.
  rs_bypass_lost,
  rt_bypass_lost,
};

// Replacement semantics get the processor as the normal semantics see it
// (pc is the faulty instruction's address; after_next is the word after
// next_pc until branch() changes it) and may do anything they do: Cpu's
// registers, HI/LO, load(), store(), branch(), raise(), link_address(), or
// execute_normal() to run the real instruction and then spoil its result.
// A stateful lambda is fine (an addu that keeps its carry for the next one).
using Semantics = std::function<void(Cpu&, const Decoded&)>;

struct Fault {
  isa::Op op = isa::Op::invalid;  // the instruction kind affected; invalid: no fault
  Semantics semantics;            // empty: the normal semantics
  PipelineEffect effect = PipelineEffect::none;
  int latency = 1;  // late_result and late_hi_lo: instructions that run before the result lands
  Hazard hazard = Hazard::none;  // with op invalid: a fault of the bypass alone
  uint8_t bypass_distance = 1;   // rs_bypass_lost, rt_bypass_lost

  bool active() const { return op != isa::Op::invalid || hazard != Hazard::none; }
};

}  // namespace r3k::sim
