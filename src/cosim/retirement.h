// A retirement record (r3kcheck/cosim.h) against the reference's: put into
// the form trace-diff compares (trace::DesignLine), so that both judge a line
// by the same rules; and back, for programs that replay the reference.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cosim/expected_stream.h"
#include "cosim/r3kcheck/cosim.h"
#include "trace/design_trace.h"

namespace r3k::cosim {

// `in` as a design's trace line. A part the core does not report reads as
// the expected record's, so only what it reports can differ.
void to_design_line(const r3k_cosim_record& in, uint32_t reports, const Expected& expected, trace::DesignLine& line);

// What a retirement port shows beyond the commit trace and differs: a
// store's byte lanes, a load's address, an exception code the trace has no
// name for.
void compare_port_extras(const r3k_cosim_record& in, uint32_t reports, const Expected& expected,
                         std::vector<std::string>& differences);

// The record a correct core reports for `e` (an instruction), or for the
// exception `e` (then `exception` is that line and `e` the instruction's).
r3k_cosim_record retirement_of(const Expected& e);
r3k_cosim_record retirement_of_exception(const sim::TraceRecord& exception);

}  // namespace r3k::cosim
