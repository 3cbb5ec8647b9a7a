// What the design's first wrong line says about the mechanism: the
// instruction is run again on the reference's operands in every way a
// one-line hardware mistake would run it (another operation of its group,
// the immediate extended the other way, another byte lane or half, a source
// operand as it was one to three instructions earlier, the operands
// swapped, HI and LO crossed, a link or target a word off, a branch decided
// another way), and the ways that give exactly the design's line are named.
#pragma once

#include <string>
#include <vector>

#include "divergence/reference_state.h"
#include "faults/catalog.h"
#include "isa/isa.h"
#include "trace/design_trace.h"

namespace r3k::divergence {

struct Mechanism {
  std::string key;   // a stable short name: "other-op:sltu", "rs-bypass-2", "load-lane:1-sign"
  std::string text;  // one line for the user
  faults::FaultClass fault_class;  // the part of the processor such a mistake sits in
  // The catalog's name for the mistake ("unsigned", "rs-stale", as in
  // "slt-unsigned", "beq-rs-stale"); empty when it has none.
  std::string mistake = {};
  // For another operation computed on the same operands: that operation.
  isa::Op instead = isa::Op::invalid;
};

// The mechanisms that reproduce `design` exactly, where the reference
// wrote `expected` from `state`.
std::vector<Mechanism> explain(const ReferenceState& state, const trace::DesignLine& design,
                               const sim::TraceRecord& expected);

// A divergence where the design went to another instruction: the branch or
// jump before it that sent it there, with its operands; empty when the
// instructions before hold none.
std::string control_culprit(const ReferenceState& state, const trace::DesignLine& design);

}  // namespace r3k::divergence
