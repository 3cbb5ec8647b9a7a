// libFuzzer target: a design's trace, read line by line and then diffed
// against the reference run of the default image, as trace-diff does. The
// first byte chooses how it is read: bit 0 the key=value shape (bit 1: with
// the pc key only, else pc, word, reg and value), bit 2 --writes-only. The
// rest is the trace.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>

#include "common/error.h"
#include "image/build.h"
#include "sim/machine.h"
#include "trace/design_trace.h"
#include "trace/trace_diff.h"

namespace {

// One machine for every input: each run starts from reset.
r3k::sim::Machine& machine() {
  static r3k::sim::Machine reference(r3k::build_image().boot_bytes());
  return reference;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using r3k::trace::DesignTrace;
  if (size < 2) return 0;
  const uint8_t mode = data[0];
  std::optional<r3k::trace::TraceKeys> keys;
  if (mode & 1) keys = r3k::trace::parse_key_map(mode & 2 ? "pc=pc" : "pc=pc,word=op,reg=rd,value=val");
  std::FILE* file = fmemopen(const_cast<uint8_t*>(data + 1), size - 1, "rb");
  if (!file) return 0;
  {
    DesignTrace reader(file, keys);
    r3k::trace::DesignLine line;
    while (reader.next(line) == DesignTrace::Status::line) {
    }
  }
  std::rewind(file);
  DesignTrace design(file, keys);
  r3k::trace::DiffOptions options;
  options.writes_only = (mode & 4) != 0;
  options.run.max_instructions = 200'000;  // a trace of 64 KiB is a few thousand lines
  const r3k::trace::DiffOutcome outcome = r3k::trace::diff_trace(machine(), design, options);
  (void)outcome;
  std::fclose(file);
  return 0;
}
