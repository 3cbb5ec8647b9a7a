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

// The record says of an instruction exactly what a correct core says, in
// every part the core reports: the step needs none of the comparison's
// rules. False leaves the verdict to the comparison (it may still match:
// a store, an exception, a record the reference would word differently).
inline bool reports_the_same(const r3k_cosim_record& in, uint32_t reports, const Expected& expected) {
  const sim::TraceRecord& e = expected.record;
  if (e.is_exception || e.stores || e.reg_count > 1 || in.pc != e.pc || (in.store_mask & 0xF) != 0) return false;
  if ((reports & R3K_COSIM_REPORTS_EXCEPTION) && in.exception) return false;
  if ((reports & R3K_COSIM_REPORTS_WORD) && in.word != e.word) return false;
  if (reports & R3K_COSIM_REPORTS_REG) {
    const uint32_t rd = in.rd & 31;
    if (e.reg_count ? rd != e.regs[0].reg || in.rd_value != e.regs[0].value : rd != 0) return false;
  }
  if ((reports & R3K_COSIM_REPORTS_HI_LO) &&
      ((in.hi_written != 0) != e.writes_hi || (e.writes_hi && in.hi != e.hi) || (in.lo_written != 0) != e.writes_lo ||
       (e.writes_lo && in.lo != e.lo)))
    return false;
  if ((reports & R3K_COSIM_REPORTS_LOAD) &&
      ((in.load_valid != 0) != expected.loads || (expected.loads && in.load_addr != expected.load_address)))
    return false;
  return true;
}

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
