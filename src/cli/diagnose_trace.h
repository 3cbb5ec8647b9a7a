// diagnose --trace: the part of diagnose that reads a design's trace.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "faults/diagnosis.h"
#include "trace/design_trace.h"

namespace r3k::cli {

struct TraceRequest {
  std::string trace_path;
  std::string image_path = "out/image.elf";
  std::optional<trace::TraceKeys> keys;
  uint32_t quick_run_flag = 1;
  bool writes_only = false;
};

// Prints what the trace's first divergence says; the exit code.
int diagnose_trace(const TraceRequest& request, const std::vector<faults::ImageObservation>& observations,
                   size_t shown);

}  // namespace r3k::cli
