// The catalog faults that make the reference write what the design wrote at
// its first wrong instruction, found by running each fault that could
// touch that instruction (its kind, the kinds of the few before it, and the
// bypass faults of no kind) up to it.
#pragma once

#include <span>
#include <vector>

#include "divergence/reference_state.h"
#include "faults/catalog.h"
#include "trace/design_trace.h"

namespace r3k::divergence {

struct Reproductions {
  std::vector<const faults::CatalogFault*> exact;       // the design's line, from the same state
  std::vector<const faults::CatalogFault*> same_place;  // wrong at the same instruction, another way
};

Reproductions reproduce(std::span<const uint8_t> boot, const faults::ImageShape& shape,
                        const ReferenceState& reference, const trace::DesignLine& design, uint32_t quick_run_flag);

}  // namespace r3k::divergence
