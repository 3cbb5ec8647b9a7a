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

// One entry; `unseen` stays empty unless neither image can see the fault.
inline EvaluationFault mistake(std::string_view name, faults::FaultClass fault_class, isa::Op op,
                               std::string_view verilog, std::string_view mechanism,
                               std::initializer_list<std::string_view> accepted,
                               sim::Fault (*make)(const faults::ImageShape&), std::string_view unseen = {}) {
  const faults::Expectation not_stated{faults::Outcome::not_stated, {}, {}};
  return {{name, fault_class, op, verilog, not_stated, "", make, not_stated}, mechanism, accepted, unseen};
}

}  // namespace r3k::evaluation
