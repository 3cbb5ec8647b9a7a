// The catalog's faults on the exceptions image: every fault with routines
// named for it fails exactly those, on three seeds, and the run still
// reports every routine.
#include <gtest/gtest.h>

#include <string>

#include "board/board.h"
#include "exceptions/exceptions.h"
#include "faults/campaign.h"
#include "faults/catalog.h"
#include "support/image_run.h"

namespace r3k::faults {
namespace {

TEST(ExceptionFaults, EachFailsTheExceptionsRoutinesItNamesOnThreeSeeds) {
  size_t named = 0, of_class = 0;
  for (const CatalogFault& fault : catalog()) of_class += fault.fault_class == FaultClass::exception;
  EXPECT_GE(of_class, 30u);
  for (const uint32_t seed : {kDefaultSeed, 2u, 0xDE1A7u}) {
    const Image image = exceptions::build(seed);
    const ImageShape shape = shape_of(image, ImageKind::exceptions);
    const int routines = static_cast<int>(image.routines.size());
    for (const CatalogFault& fault : catalog()) {
      const Expectation& expected = fault.expected_on(ImageKind::exceptions);
      if (expected.outcome != Outcome::routines_fail) continue;
      named += seed == kDefaultSeed;
      SCOPED_TRACE(std::string(fault.name) + ", seed " + std::to_string(seed));
      const test::ImageRun run = test::run_image(image, fault.make(shape));
      EXPECT_TRUE(run.finished());
      EXPECT_EQ(run.failed, expected.routines);
      EXPECT_EQ(run.display_words, board::display_words_when_failing(expected.routines, routines));
    }
  }
  EXPECT_GE(named, 32u);
  // The two faults no other image can see.
  EXPECT_EQ(find_fault("add-never-traps")->on_exceptions.outcome, Outcome::routines_fail);
  EXPECT_EQ(find_fault("sub-never-traps")->on_exceptions.outcome, Outcome::routines_fail);
}

}  // namespace
}  // namespace r3k::faults
