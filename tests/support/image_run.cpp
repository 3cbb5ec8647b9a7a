#include "support/image_run.h"

#include "supplement/supplement.h"

#include "image/build.h"
#include "board/layout.h"
#include "report/verdict.h"
#include "board/board.h"

namespace r3k::test {

const Image& default_image() {
  static const Image image = build_image();
  return image;
}

const Image& supplement_image() {
  static const Image image = supplement::build();
  return image;
}

bool ImageRun::passed() const {
  return finished() && failed.empty() && display_words.size() == layout::kRoutineCount &&
         report::verdict_of(result) == report::Verdict::Pass;
}

void read_display_words(ImageRun& run) {
  board::DisplayReader display;
  for (const sim::BoardWrite& write : run.result.board_writes)
    if (write.address == board::kResultDisplay) display.on_write(write.value);
  run.display_words = display.words();
  run.failed = display.failed();
}

ImageRun run_image(const Image& image, const sim::Fault& fault, uint32_t quick_run_flag) {
  sim::NullObserver none;
  return run_image_observed(image, fault, none, quick_run_flag);
}

ImageRun run_default_image(const sim::Fault& fault) { return run_image(default_image(), fault); }

std::vector<uint32_t> expected_display_words(const std::set<int>& failing) {
  return board::display_words_when_failing(failing, layout::kRoutineCount);
}

}  // namespace r3k::test
