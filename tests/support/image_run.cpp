#include "support/image_run.h"

#include "image/build.h"
#include "board/layout.h"
#include "sim/report.h"

namespace r3k::test {

const Image& default_image() {
  static const Image image = build_image();
  return image;
}

bool ImageRun::passed() const {
  return finished() && failed.empty() && display_words.size() == layout::kRoutineCount &&
         sim::verdict_of(result) == sim::Verdict::Pass;
}

void read_display_words(ImageRun& run) {
  uint32_t passes = 0;
  bool start_pattern = true;
  for (const sim::BoardWrite& write : run.result.board_writes) {
    if (write.address != layout::kResultDisplay) continue;
    if (start_pattern) {
      start_pattern = false;
      continue;
    }
    run.display_words.push_back(write.value);
    const sim::DisplayWord shown = sim::decode_display(write.value);
    if (shown.pass_count == passes + 1) ++passes;
    else run.failed.insert(shown.test_number);
  }
}

ImageRun run_image(const Image& image, const sim::Fault& fault, uint32_t quick_run_flag) {
  sim::NullObserver none;
  return run_image_observed(image, fault, none, quick_run_flag);
}

ImageRun run_default_image(const sim::Fault& fault) { return run_image(default_image(), fault); }

std::vector<uint32_t> expected_display_words(const std::set<int>& failing) {
  std::vector<uint32_t> words;
  uint32_t passes = 0;
  for (int number = 1; number <= layout::kRoutineCount; ++number) {
    if (!failing.count(number)) ++passes;
    words.push_back(static_cast<uint32_t>(number) << 24 | passes);
  }
  return words;
}

}  // namespace r3k::test
