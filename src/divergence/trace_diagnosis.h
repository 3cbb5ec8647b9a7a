// diagnose --trace: the first divergence of a design's trace, explained.
// The mechanisms that reproduce the design's wrong line come first, then the
// catalog faults that do; the display words of the images, when given, order
// causes that the trace leaves equal.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "divergence/mechanisms.h"
#include "divergence/reproduce.h"
#include "faults/diagnosis.h"
#include "trace/trace_diff.h"

namespace r3k::divergence {

struct TraceDiagnosis {
  ReferenceState reference;
  std::vector<Mechanism> mechanisms;
  std::string control;  // a control-flow divergence: the transfer that went elsewhere
  Reproductions catalog;
  // Every cause named, best first: the faults that reproduce the line, those
  // wrong at the same instruction another way, then the display words' ranking.
  std::vector<std::string_view> ranked;
};

// `outcome` is a divergence of diff_trace run on `boot` (an image of
// `shape.kind`); `observations` may be empty.
TraceDiagnosis diagnose_divergence(std::span<const uint8_t> boot, const faults::ImageShape& shape,
                                   const trace::DiffOutcome& outcome, uint32_t quick_run_flag,
                                   const std::vector<faults::ImageObservation>& observations);

}  // namespace r3k::divergence
