// The faulty path of the run loop: only a run with a fault set goes through
// it, so a plain run pays nothing for faults.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

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
  // The replacement semantics, or the real ones.
  void run_semantics(Cpu& cpu, const Decoded& decoded) const;
  // Runs the instruction with register `number` as it was before the
  // instruction right before it.
  void run_with_stale(Cpu& cpu, const Decoded& decoded, unsigned number) const;
  void hold_back_result(Cpu& cpu, const std::array<uint32_t, 32>& before);
  void hold_back_hi_lo(Cpu& cpu, uint32_t hi_before, uint32_t lo_before);
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
  Write previous_, before_previous_, third_previous_;  // the writes of the last three instructions

  const Fault& fault_;
  int redirect_countdown_ = 0;  // instructions until after_next becomes redirect_target_
  uint32_t redirect_target_ = 0;
  int load_countdown_ = 0;  // instructions until the delayed load lands
  uint8_t load_register_ = 0;
  uint32_t load_value_ = 0;

  // Results held back by late_result and late_hi_lo, in the order they land.
  enum class Target : uint8_t { general, hi, lo };
  struct Pending {
    Target target;
    uint8_t number;
    uint32_t value;
    int countdown;
  };
  std::vector<Pending> pending_;
  // stale_rs and stale_rt: the registers before the last instruction and now.
  std::array<uint32_t, 32> registers_before_last_{}, registers_now_{};
};

}  // namespace r3k::sim
