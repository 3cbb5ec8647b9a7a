// The evaluation set's parts, one per area of the pipeline; evaluation_set.cpp
// joins them.
#pragma once

#include <initializer_list>
#include <string_view>
#include <vector>

#include "evaluation/evaluation_set.h"
#include "faults/fault_kit.h"

namespace r3k::evaluation {

std::vector<EvaluationFault> datapath_mistakes();  // ALU and shifter
std::vector<EvaluationFault> control_mistakes();   // branch decisions, targets, links, delay slots
std::vector<EvaluationFault> memory_mistakes();    // lanes, extension, merges, write-back
std::vector<EvaluationFault> pipeline_mistakes();  // bypass paths and interlocks
// The validation set, in the same four areas.
std::vector<EvaluationFault> validation_mistakes();
// The held-out set, in the same four areas.
std::vector<EvaluationFault> holdout_mistakes();
// The second held-out set, in the same four areas.
std::vector<EvaluationFault> second_holdout_mistakes();

// A bypass or interlock mistake of one instruction kind, as a maker.
template <isa::Op kOp, sim::PipelineEffect kEffect, int kLatency = 1>
sim::Fault make_disturbed(const faults::ImageShape&) {
  return faults::kit::disturb(kOp, kEffect, kLatency);
}

// What the parts' mistakes are written with.
namespace part_kit {

using faults::kit::Cpu;
using faults::kit::Decoded;

// A memory access's address, as the right instruction forms it.
inline uint32_t address_of(const Cpu& c, const Decoded& d) { return c.reg(d.rs) + d.imm; }
// A branch offset in bytes, sign-extended, before the shift.
inline uint32_t offset_bytes(const Decoded& d) {
  return uint32_t(int32_t(int16_t(faults::kit::immediate_field(d))));
}
// A right shift by `amount` whose vacated bits take `fill`.
inline uint32_t shifted_right_filling(uint32_t word, unsigned amount, bool fill) {
  if (amount == 0) return word;
  return word >> amount | (fill ? ~0u << (32 - amount) : 0);
}
// The next instruction is the branch's destination: the slot is flushed.
inline void flush_slot(Cpu& c) {
  c.next_pc = c.after_next;
  c.after_next = c.next_pc + 4;
}
// A multiply or divide whose HI and LO `result(rs, rt)` gives.
template <class Result>
faults::kit::Fault hi_lo_result(isa::Op op, Result result) {
  return faults::kit::replace(op, [result](Cpu& c, const Decoded& d) {
    sim::set_hi_lo(c, result(faults::kit::rs(c, d), faults::kit::rt(c, d)));
  });
}

}  // namespace part_kit

// A set's parts, one after the other, in the order given.
inline std::vector<EvaluationFault> joined(std::initializer_list<std::vector<EvaluationFault> (*)()> parts) {
  std::vector<EvaluationFault> all;
  for (auto part : parts)
    for (EvaluationFault& fault : part()) all.push_back(std::move(fault));
  return all;
}

// One entry; `unseen` stays empty unless neither image can see the fault.
inline EvaluationFault mistake(std::string_view name, faults::FaultClass fault_class, isa::Op op,
                               std::string_view verilog, std::string_view mechanism,
                               std::initializer_list<std::string_view> accepted,
                               sim::Fault (*make)(const faults::ImageShape&), std::string_view unseen = {}) {
  const faults::Expectation not_stated{faults::Outcome::not_stated, {}, {}};
  return {{name, fault_class, op, verilog, not_stated, "", make, not_stated}, mechanism, accepted, unseen};
}

}  // namespace r3k::evaluation
