// The multiply, divide and HI/LO routines pass on the correct processor with
// several seeds. Their faults, caught and unseen, are in the fault catalog
// (tests/faults), which runs each against the image.
#include <gtest/gtest.h>

#include <set>

#include "image/build.h"
#include "support/image_run.h"

namespace r3k::test {
namespace {

const std::set<int> kFamily = {44, 45, 46, 47, 48, 49, 50, 51};

std::set<int> in_family(const std::set<int>& numbers) {
  std::set<int> kept;
  for (int n : numbers)
    if (kFamily.contains(n)) kept.insert(n);
  return kept;
}

TEST(HiLoFamilyImage, PassesWithTheDefaultSeedAndOthers) {
  EXPECT_TRUE(run_default_image().passed());
  for (const uint32_t seed : {1u, 2u, 0xDEADBEEFu}) {
    const ImageRun run = run_image(build_image(seed));
    EXPECT_TRUE(run.finished()) << "seed " << seed;
    EXPECT_TRUE(in_family(run.failed).empty()) << "seed " << seed;
  }
}

}  // namespace
}  // namespace r3k::test
