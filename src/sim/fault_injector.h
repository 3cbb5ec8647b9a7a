// The faulty path of the run loop: only a run with a fault set goes through
// it, so a plain run pays nothing for faults.
#pragma once

#include <cstdint>

#include "sim/cpu.h"
#include "sim/decoded.h"
#include "sim/fault.h"
#include "sim/semantics.h"

namespace r3k::sim {

class FaultInjector {
 public:
  explicit FaultInjector(const Fault& fault) : fault_(fault) {}

  Action action() const { return action_of(fault_.op); }

  // Executes an instruction of the faulty kind.
  Flow execute(Cpu& cpu, const Decoded& decoded);
  // Called after every instruction, faulty or not, before the pc moves on:
  // lands the effects the faulty instruction left for later.
  void after_instruction(Cpu& cpu);

 private:
  const Fault& fault_;
  int redirect_countdown_ = 0;  // instructions until after_next becomes redirect_target_
  uint32_t redirect_target_ = 0;
  int load_countdown_ = 0;  // instructions until the delayed load lands
  uint8_t load_register_ = 0;
  uint32_t load_value_ = 0;
};

}  // namespace r3k::sim
