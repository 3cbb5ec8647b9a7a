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

// The whole catalog against the exceptions image as `faults` runs it (the
// bypass faults included, which look at every word, reserved ones too):
// every named fault caught by its routines; with the other two images,
// every fault is caught by at least one.
TEST(ExceptionFaults, TheCampaignScoresThreeImagesAndAllTogetherCatchEveryFault) {
  std::vector<const CatalogFault*> all;
  for (const CatalogFault& fault : catalog()) all.push_back(&fault);
  CampaignOptions options;
  options.threads = 2;
  std::vector<Campaign> campaigns;
  for (const ImageKind kind : {ImageKind::main, ImageKind::supplement, ImageKind::exceptions}) {
    const Image image = kind == ImageKind::main         ? test::default_image()
                        : kind == ImageKind::supplement ? test::supplement_image()
                                                        : exceptions::build();
    campaigns.push_back(run_campaign(image.boot_bytes(), shape_of(image, kind), all, options));
    ASSERT_TRUE(campaigns.back().baseline.passed());
    EXPECT_EQ(score_of(campaigns.back().results, kind).expected_missed, 0u) << image_name(kind);
  }
  const ImagesScore together = images_score(campaigns);
  EXPECT_EQ(together.faults, catalog().size());
  for (const CatalogFault* fault : together.escaped) ADD_FAILURE() << fault->name << " escaped all three images";
  EXPECT_GE(together.caught_only[2], 30u);
}

}  // namespace
}  // namespace r3k::faults
