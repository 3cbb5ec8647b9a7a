// The first divergence of a design's trace from the reference, as one page:
// the design's line against the expected one, what differs, the case's code
// with the instruction marked, and the lines both agreed on before it.
#pragma once

#include <string>

#include "trace/trace_diff.h"

namespace r3k::html {

// `place` is the place report's text for the expected pc (its code lines
// start "=> " at the marked instruction); `culprit` may be empty.
std::string divergence_page(const trace::DiffOutcome& outcome, const std::string& trace_path, const std::string& place,
                            const std::string& culprit);

}  // namespace r3k::html
