// Cost of the commit trace on a quick run of the default image: the plain
// run, the run writing its trace (to memory and to a file), and trace-diff
// reading that file back against the reference.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "common/atomic_file.h"
#include "image/build.h"
#include "sim/machine.h"
#include "sim/trace.h"
#include "trace/trace_diff.h"

namespace {

using Clock = std::chrono::steady_clock;

template <class Work>
double best_of(int repeats, Work work) {
  double best = 1e9;
  for (int i = 0; i < repeats; ++i) {
    const auto begin = Clock::now();
    work();
    best = std::min(best, std::chrono::duration<double>(Clock::now() - begin).count());
  }
  return best;
}

}  // namespace

int main() {
  namespace sim = r3k::sim;
  const r3k::Image image = r3k::build_image();
  sim::Machine machine(image.boot_bytes());
  const std::string path = (std::filesystem::temp_directory_path() / "r3k-bench.trace").string();
  constexpr int kRepeats = 5;

  uint64_t instructions = 0, lines = 0, bytes = 0;
  const double plain = best_of(kRepeats, [&] { instructions = machine.run().instructions; });
  const double to_memory = best_of(kRepeats, [&] {
    bytes = 0;
    sim::TraceWriter writer([&](const char*, size_t size) { bytes += size; });
    writer.finish(machine.run({}, writer));
    lines = writer.lines();
  });
  const double to_file = best_of(kRepeats, [&] {
    r3k::AtomicFileStream file(path);
    sim::TraceWriter writer([&](const char* data, size_t size) { file.write(data, size); });
    writer.finish(machine.run({}, writer));
    file.commit();
  });
  r3k::trace::DiffOutcome outcome;
  const double diff = best_of(kRepeats, [&] {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    r3k::trace::DesignTrace design(file, std::nullopt);
    outcome = r3k::trace::diff_trace(machine, design, {});
    std::fclose(file);
  });
  std::remove(path.c_str());

  std::printf("quick run, %llu instructions (best of %d)\n", static_cast<unsigned long long>(instructions), kRepeats);
  std::printf("  plain run                 %8.4f s\n", plain);
  std::printf("  with trace, to memory     %8.4f s  (%llu lines, %.1f MB)\n", to_memory,
              static_cast<unsigned long long>(lines), static_cast<double>(bytes) / 1e6);
  std::printf("  with trace, to a file     %8.4f s\n", to_file);
  std::printf("  trace-diff of that file   %8.4f s  (%s, %llu lines compared)\n", diff,
              outcome.verdict == r3k::trace::DiffOutcome::Verdict::match ? "match" : "NO MATCH",
              static_cast<unsigned long long>(outcome.compared));
  return 0;
}
