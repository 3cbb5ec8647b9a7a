// A processor with a fault, seen as trace-diff sees a design: the trace it
// writes, read back in step with the reference.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "sim/fault.h"
#include "trace/trace_diff.h"

namespace r3k::divergence {

// The first divergence of the trace the processor with `fault` writes on
// `boot` (up to `limit` instructions); nothing when it follows the reference.
std::optional<trace::DiffOutcome> first_divergence(const std::vector<uint8_t>& boot, const sim::Fault& fault,
                                                   uint64_t limit);

}  // namespace r3k::divergence
