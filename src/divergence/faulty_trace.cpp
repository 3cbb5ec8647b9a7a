#include "divergence/faulty_trace.h"

#include <cstdio>
#include <memory>

#include "sim/machine.h"
#include "sim/trace.h"

namespace r3k::divergence {

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

std::optional<trace::DiffOutcome> first_divergence(const std::vector<uint8_t>& boot, const sim::Fault& fault,
                                                   uint64_t limit) {
  // Through a file, as a design's trace comes: the reader's rules apply.
  const std::unique_ptr<std::FILE, FileCloser> file(std::tmpfile());
  if (!file) return std::nullopt;
  std::FILE* out = file.get();
  sim::Machine faulty(boot);
  sim::RunOptions options;
  options.max_instructions = limit;
  options.fault = fault;
  sim::TraceWriter writer([out](const char* bytes, size_t size) { std::fwrite(bytes, 1, size, out); });
  writer.finish(faulty.run(options, writer));
  std::rewind(out);
  trace::DesignTrace design(out, std::nullopt);
  sim::Machine reference(boot);
  trace::DiffOutcome outcome = trace::diff_trace(reference, design, {});
  if (outcome.verdict != trace::DiffOutcome::Verdict::divergence) return std::nullopt;
  return outcome;
}

}  // namespace r3k::divergence
