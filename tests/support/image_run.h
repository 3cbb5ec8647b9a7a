// Running the built image on the reference simulator, with or without a
// fault, and reading which routines failed from the display words.
#pragma once

#include <cstdint>
#include <set>
#include <vector>

#include "image/image.h"
#include "sim/fault.h"
#include "sim/machine.h"

namespace r3k::test {

// The image of the default seed, built once per test process.
const Image& default_image();
// The supplement of the default seed, built once.
const Image& supplement_image();

struct ImageRun {
  sim::RunResult result;
  std::vector<uint32_t> display_words;  // the routines' display words, the start pattern's 0 left out
  std::set<int> failed;                 // routines whose display word lacks their pass

  bool finished() const { return result.stop == sim::StopReason::Finished; }
  bool passed() const;  // finished, 68 display words, none failed, pass lamps
};

// Reads the display words and the failed routines from the run's board writes.
void read_display_words(ImageRun& run);

inline constexpr uint64_t kImageRunLimit = 50'000'000;  // far above a quick run's 132 thousand

// A run with an observer that watches every instruction or board write.
template <class Observer>
ImageRun run_image_observed(const Image& image, const sim::Fault& fault, Observer& observer,
                            uint32_t quick_run_flag = 1) {
  sim::Machine machine(image.boot_bytes());
  sim::RunOptions options;
  options.quick_run_flag = quick_run_flag;
  options.fault = fault;
  options.max_instructions = kImageRunLimit;
  ImageRun run{machine.run(options, observer), {}, {}};
  read_display_words(run);
  return run;
}

ImageRun run_image(const Image& image, const sim::Fault& fault = {}, uint32_t quick_run_flag = 1);
ImageRun run_default_image(const sim::Fault& fault = {});

// The display words a run shows when exactly the routines in `failing` fail.
std::vector<uint32_t> expected_display_words(const std::set<int>& failing);

}  // namespace r3k::test
