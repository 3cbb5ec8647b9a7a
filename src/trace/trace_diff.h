// The reference processor run in step with a design's trace: each committed
// instruction is compared with the design's next line, read on demand, and
// the run stops at the first divergence. Nothing of either trace is kept but
// the last few lines both agreed on.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/machine.h"
#include "sim/trace.h"
#include "trace/design_trace.h"

namespace r3k::trace {

struct DiffOptions {
  sim::RunOptions run;
  bool writes_only = false;            // skip our instructions that write nothing the design's trace shows
  std::vector<uint32_t> routine_entries;  // sorted; a routine counts as covered once its entry is compared
};

inline constexpr size_t kAgreedLinesKept = 8;

struct AgreedLine {
  uint64_t design_line = 0;
  sim::TraceRecord record;
};

struct DiffOutcome {
  enum class Verdict {
    match,            // the design's trace followed ours to where the reference run stopped
    divergence,       // a line differs
    design_ended,     // the design's trace ended before the reference run did
    unreadable,       // a line of the design's trace cannot be read
    reference_limit,  // the reference run hit its instruction limit
  };
  Verdict verdict = Verdict::match;
  sim::StopReason stop = sim::StopReason::Finished;  // for a match
  uint64_t compared = 0;                             // lines compared and agreed
  uint64_t reference_index = 0;  // divergence: the reference's instructions before the one compared
  size_t routines_covered = 0;
  std::string reason;  // design_ended, unreadable: what happened, with the line number
  // divergence: the design's line, what we expected there (design_ended:
  // the reference's next line), and what differs
  DesignLine design;
  sim::TraceRecord expected;
  std::vector<std::string> differences;
  std::string culprit;  // divergence at another address: the branch or jump behind it (trace/culprit.h)
  std::vector<AgreedLine> agreed;  // the last kAgreedLinesKept, oldest first
};

DiffOutcome diff_trace(sim::Machine& machine, DesignTrace& design, const DiffOptions& options);

// What differs between the design's line and the expected record, in words;
// empty when they agree on everything the line says.
std::vector<std::string> compare_line(const DesignLine& design, const sim::TraceRecord& expected);

}  // namespace r3k::trace
