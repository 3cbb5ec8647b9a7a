// Cost of lock-step checking on a quick run of the default image: the
// library stepped with the reference's own retirement records (one call per
// retired instruction, as a testbench makes them), beside trace-diff reading
// the same run's trace from a file.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "common/atomic_file.h"
#include "cosim/expected_stream.h"
#include "cosim/retirement.h"
#include "elf/elf_writer.h"
#include "image/build.h"
#include "sim/machine.h"
#include "sim/trace.h"
#include "trace/trace_diff.h"

namespace {

namespace sim = r3k::sim;
namespace cosim = r3k::cosim;
using Clock = std::chrono::steady_clock;

// This thread's processor time: on a shared machine, what the wall clock
// adds is other programs' turns.
double cpu_seconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

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

// What a correct core's retirement port shows, instruction by instruction.
struct Port {
  std::vector<r3k_cosim_record> records;
  cosim::ExpectedRecorder recorder;
  cosim::ExpectedLines lines;
  void on_instruction(const sim::Cpu& cpu, const sim::Decoded& decoded) {
    recorder.record(cpu, decoded, lines);
    records.push_back(lines.raised ? cosim::retirement_of_exception(lines.after.record)
                                     : cosim::retirement_of(lines.instruction));
  }
};

}  // namespace

int main(int argc, char** argv) {
  // `bench_cosim steps`: the stepping alone, ten times over, for a profiler.
  const bool steps_only = argc > 1 && std::string(argv[1]) == "steps";
  const r3k::Image image = r3k::build_image();
  const std::filesystem::path dir = std::filesystem::temp_directory_path();
  const std::string elf_path = (dir / "r3k-bench-cosim.elf").string(), trace_path = (dir / "r3k-bench-cosim.trace").string();
  r3k::elf::write_elf_file(image, elf_path);
  sim::Machine machine(image.boot_bytes());
  Port port;
  machine.run({}, port);
  {
    r3k::AtomicFileStream file(trace_path);
    sim::TraceWriter writer([&](const char* data, size_t size) { file.write(data, size); });
    writer.finish(machine.run({}, writer));
    file.commit();
  }
  const int kRepeats = steps_only ? 10 : 5;

  r3k_cosim_options options;
  r3k_cosim_default_options(&options);
  int result = R3K_COSIM_IN_STEP;
  double open = 1e9, stepping = 1e9, stepping_cpu = 1e9;
  for (int i = 0; i < kRepeats; ++i) {
    const auto begin = Clock::now();
    r3k_cosim* checker = nullptr;
    if (r3k_cosim_open(elf_path.c_str(), &options, &checker) != R3K_COSIM_OK) {
      std::fprintf(stderr, "bench_cosim: %s\n", r3k_cosim_last_error());
      return 2;
    }
    const auto opened = Clock::now();
    const double cpu_before = cpu_seconds();
    for (const r3k_cosim_record& record : port.records)
      if ((result = r3k_cosim_step(checker, &record)) != R3K_COSIM_IN_STEP) break;
    stepping_cpu = std::min(stepping_cpu, cpu_seconds() - cpu_before);
    const auto stepped = Clock::now();
    r3k_cosim_close(checker);
    open = std::min(open, std::chrono::duration<double>(opened - begin).count());
    stepping = std::min(stepping, std::chrono::duration<double>(stepped - opened).count());
  }
  r3k::trace::DiffOutcome outcome;
  const double diff = best_of(steps_only ? 0 : kRepeats, [&] {
    std::FILE* file = std::fopen(trace_path.c_str(), "rb");
    r3k::trace::DesignTrace design(file, std::nullopt);
    outcome = r3k::trace::diff_trace(machine, design, {});
    std::fclose(file);
  });
  std::remove(elf_path.c_str());
  std::remove(trace_path.c_str());

  const double steps = static_cast<double>(port.records.size());
  std::printf("lock-step checking of a quick run, %zu retirements (best of %d)\n", port.records.size(), kRepeats);
  std::printf("  r3k_cosim_step            %8.4f s  %6.1f ns/step  %6.2f M steps/s  (%s)\n", stepping,
              1e9 * stepping / steps, steps / stepping / 1e6, result == R3K_COSIM_END_LOOP ? "end loop" : "NOT THE END LOOP");
  std::printf("  the same in processor time %7.4f s  %6.1f ns/step\n", stepping_cpu, 1e9 * stepping_cpu / steps);
  std::printf("  r3k_cosim_open            %8.4f s\n", open);
  std::printf("  trace-diff of its file    %8.4f s  %6.1f ns/line  %6.2f M lines/s  (%s)\n", diff,
              1e9 * diff / steps, steps / diff / 1e6,
              outcome.verdict == r3k::trace::DiffOutcome::Verdict::match ? "match" : "NO MATCH");
  return 0;
}
