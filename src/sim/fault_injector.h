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
  // Whether the instruction goes through execute() rather than the plain path.
  bool intercepts(const Decoded& decoded) const {
    return decoded.action == action() || (fault_.hazard != Hazard::none && decoded.action < Action::reserved);
  }

  // Executes an instruction of the faulty kind.
  Flow execute(Cpu& cpu, const Decoded& decoded);
  // Called after every instruction, faulty or not, before the pc moves on:
  // lands the effects the faulty instruction left for later.
  void after_instruction(Cpu& cpu);

 private:
  // The instruction itself, with the fault's semantics if it is of the faulty kind.
  void execute_instruction(Cpu& cpu, const Decoded& decoded);
  // execute_instruction with the reads the hazard changes (fault_hazard.cpp).
  void execute_with_hazard(Cpu& cpu, const Decoded& decoded);

  struct Write {
    bool valid = false;
    bool by_load = false;
    uint8_t reg = 0;
    uint32_t before = 0;  // the register before the write
    uint32_t value = 0;   // what was written (to $zero too)
  };
  Write previous_, before_previous_;  // the writes of the last two instructions

  const Fault& fault_;
  int redirect_countdown_ = 0;  // instructions until after_next becomes redirect_target_
  uint32_t redirect_target_ = 0;
  int load_countdown_ = 0;  // instructions until the delayed load lands
  uint8_t load_register_ = 0;
  uint32_t load_value_ = 0;
};

}  // namespace r3k::sim
