// The fault catalog against both images: every fault does what the catalog
// says (its routines fail exactly, with the driver's display words and the
// fail lamps; blind spots escape), on three seeds; what the main image cannot
// see the supplement catches; and diagnose, fed a fault's display words,
// names that fault first.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "board/board.h"
#include "faults/campaign.h"
#include "faults/diagnosis.h"
#include "faults/catalog_parts.h"
#include "image/build.h"
#include "image/run_order.h"
#include "supplement/supplement.h"
#include "support/image_run.h"

namespace r3k::faults {
namespace {

const Campaign& campaign_on(uint32_t seed, ImageKind kind = ImageKind::main) {
  static std::map<std::pair<uint32_t, ImageKind>, Campaign> done;
  auto it = done.find({seed, kind});
  if (it == done.end()) {
    const Image image = kind == ImageKind::supplement ? supplement::build(seed)
                        : seed == kDefaultSeed       ? test::default_image()
                                                     : build_image(seed);
    std::vector<const CatalogFault*> all;
    for (const CatalogFault& fault : catalog()) all.push_back(&fault);
    CampaignOptions options;
    options.threads = 2;
    it = done.emplace(std::pair{seed, kind}, run_campaign(image.boot_bytes(), shape_of(image, kind), all, options))
             .first;
  }
  return it->second;
}

std::string describe(const FaultResult& r) {
  std::string failed;
  for (int n : r.run.failed) failed += " " + std::to_string(n);
  return std::string(r.fault->name) + ": " + std::string(sim::stop_reason_name(r.run.stop)) + ", failed" + failed;
}

class CatalogOnSeed : public testing::TestWithParam<uint32_t> {};

TEST_P(CatalogOnSeed, EveryFaultDoesWhatTheCatalogSays) {
  const Campaign& campaign = campaign_on(GetParam());
  ASSERT_TRUE(campaign.baseline.passed());
  ASSERT_EQ(campaign.results.size(), catalog().size());
  for (const FaultResult& r : campaign.results) {
    EXPECT_TRUE(as_expected(r.fault->expected, r.run)) << describe(r);
    if (r.fault->expected.outcome != Outcome::routines_fail) continue;
    EXPECT_EQ(r.verdict, Verdict::caught_by_expected) << describe(r);
    EXPECT_EQ(r.run.lamps, board::Verdict::Fail) << describe(r);
    // The frame forms the display word's test number with sll: a broken sll
    // garbles it, the pass counts stay right; a late sll result garbles both.
    const std::vector<uint32_t> expected = board::display_words_when_failing(r.fault->expected.routines, 68);
    if (r.fault->name == "sll-result-late") continue;
    if (r.fault->op != isa::Op::sll) {
      EXPECT_EQ(r.run.display_words, expected) << describe(r);
    } else {
      ASSERT_EQ(r.run.display_words.size(), expected.size()) << describe(r);
      for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(r.run.display_words[i] & board::kPassCountMask, expected[i] & board::kPassCountMask) << describe(r);
    }
  }
  const Score score = score_of(campaign.results, ImageKind::main);
  EXPECT_EQ(score.expected_missed, 0u);
  EXPECT_EQ(score.escaped_without_reason, 0u);
}

// The supplement fails exactly the routines the catalog names, still
// reporting every routine through the display; faults tied to the main
// image's code are not run on it.
TEST_P(CatalogOnSeed, TheSupplementDoesWhatTheCatalogSays) {
  const Campaign& campaign = campaign_on(GetParam(), ImageKind::supplement);
  ASSERT_TRUE(campaign.baseline.passed());
  ASSERT_EQ(campaign.results.size(), catalog().size());
  const size_t routines = supplement::run_order().size();
  for (const FaultResult& r : campaign.results) {
    const Expectation& expected = r.fault->on_supplement;
    EXPECT_TRUE(as_expected(expected, r.run)) << describe(r);
    EXPECT_EQ(r.verdict == Verdict::not_run, expected.outcome == Outcome::not_applicable) << describe(r);
    if (expected.outcome != Outcome::routines_fail) continue;
    EXPECT_EQ(r.verdict, Verdict::caught_by_expected) << describe(r);
    EXPECT_EQ(r.run.display_words, board::display_words_when_failing(expected.routines, int(routines))) << describe(r);
  }
  const Score score = score_of(campaign.results, ImageKind::supplement);
  EXPECT_EQ(score.expected_missed, 0u);
  EXPECT_EQ(score.escaped_without_reason, 0u);
}

// Together the two images catch every fault but those no image on this
// platform can see and those only the exceptions image sees.
TEST_P(CatalogOnSeed, WhatTheMainImageCannotSeeTheSupplementCatches) {
  const JointScore joint =
      joint_score(campaign_on(GetParam()).results, campaign_on(GetParam(), ImageKind::supplement).results);
  for (const CatalogFault* fault : joint.escaped) {
    EXPECT_EQ(fault->on_supplement.outcome, Outcome::unseen) << fault->name;
    EXPECT_TRUE(fault->on_supplement.note.starts_with("no image on this platform") ||
                fault->on_exceptions.outcome == Outcome::routines_fail)
        << fault->name;
  }
  EXPECT_EQ(joint.caught + joint.escaped.size(), catalog().size());
  for (const CatalogFault& fault : catalog()) {
    if (fault.expected.outcome != Outcome::unseen) continue;
    const Outcome on_supplement = fault.on_supplement.outcome;
    EXPECT_TRUE(on_supplement == Outcome::routines_fail || on_supplement == Outcome::exception_loop ||
                (on_supplement == Outcome::unseen && fault.on_supplement.note.starts_with("no image")) ||
                fault.on_exceptions.outcome == Outcome::routines_fail)
        << fault.name << ": the main image cannot see it; the catalog must say what the supplement does";
  }
}

INSTANTIATE_TEST_SUITE_P(Seeds, CatalogOnSeed, testing::Values(kDefaultSeed, 2u, 0xDE1A7u));

TEST(Catalog, CoversEveryInstructionUnderTestWithUniqueNames) {
  EXPECT_GE(catalog().size(), 50u);
  std::set<std::string_view> names;
  std::set<isa::Op> ops;
  for (const CatalogFault& fault : catalog()) {
    EXPECT_TRUE(names.insert(fault.name).second) << fault.name;
    EXPECT_FALSE(fault.models.empty()) << fault.name;
    if (fault.expected.outcome == Outcome::unseen) {
      EXPECT_FALSE(fault.expected.note.empty()) << fault.name;
    }
    ops.insert(fault.op);
    EXPECT_EQ(find_fault(fault.name), &fault);
  }
  std::set<isa::Op> under_test;
  for (const RoutineSpec& routine : run_order()) under_test.insert(routine.op);
  EXPECT_EQ(under_test.size(), 56u);
  for (const isa::Op op : under_test) EXPECT_TRUE(ops.contains(op)) << isa::info(op).mnemonic;
}

TEST(Catalog, EveryKindOfPipelineDisturbanceIsInIt) {
  std::set<sim::PipelineEffect> effects;
  const ImageShape shape = shape_of(test::default_image(), ImageKind::main);
  for (const CatalogFault& fault : catalog()) effects.insert(fault.make(shape).effect);
  for (const auto effect :
       {sim::PipelineEffect::skip_slot_when_taken, sim::PipelineEffect::skip_slot_when_not_taken,
        sim::PipelineEffect::skip_slot_always, sim::PipelineEffect::slot_twice, sim::PipelineEffect::delayed_load,
        sim::PipelineEffect::late_result, sim::PipelineEffect::late_hi_lo, sim::PipelineEffect::stale_rs,
        sim::PipelineEffect::stale_rt})
    EXPECT_TRUE(effects.contains(effect)) << int(effect);
}

// What diagnose reads from a failing board: the display words in order.
TEST(Diagnosis, EachFaultsDisplayWordsRankItFirst) {
  for (const FaultResult& r : campaign_on(kDefaultSeed).results) {
    if (r.fault->expected.outcome != Outcome::routines_fail) continue;
    const std::vector<Candidate> causes = rank_causes(failed_routines(r.run.display_words));
    ASSERT_FALSE(causes.empty()) << r.fault->name;
    ASSERT_TRUE(causes.front().exact()) << r.fault->name;
    bool among_first = false;
    for (const Candidate& c : causes) among_first |= c.exact() && c.fault == r.fault;
    EXPECT_TRUE(among_first) << r.fault->name;
  }
}

// The same for a board that ran the supplement.
TEST(Diagnosis, EachSupplementFaultsDisplayWordsRankItFirst) {
  for (const FaultResult& r : campaign_on(kDefaultSeed, ImageKind::supplement).results) {
    if (r.fault->on_supplement.outcome != Outcome::routines_fail) continue;
    const std::vector<Candidate> causes =
        rank_causes(failed_routines(r.run.display_words), ImageKind::supplement);
    ASSERT_FALSE(causes.empty()) << r.fault->name;
    bool found = false;
    for (const Candidate& c : causes) found |= c.exact() && c.fault == r.fault;
    EXPECT_TRUE(found) << r.fault->name;
  }
}

// A board that ran both images: each fault's two runs, read together, put it
// in the first group (a run without a verdict counts as stopped where its
// display stopped).
TEST(Diagnosis, EachFaultsRunsOnBothImagesPutItInTheFirstGroup) {
  const Campaign& main = campaign_on(kDefaultSeed);
  const Campaign& supplement = campaign_on(kDefaultSeed, ImageKind::supplement);
  ASSERT_EQ(main.results.size(), supplement.results.size());
  size_t diagnosed = 0;
  for (size_t i = 0; i < main.results.size(); ++i) {
    const CatalogFault& fault = *main.results[i].fault;
    std::vector<ImageObservation> observations;
    for (const FaultResult* r : {&main.results[i], &supplement.results[i]})
      if (r->verdict != Verdict::not_run)
        observations.push_back(
            {r == &main.results[i] ? ImageKind::main : ImageKind::supplement, r->run.failed, r->run.broken(),
             r->run.stopped_in()});
    if (std::all_of(observations.begin(), observations.end(), [](auto& o) { return o.passed(); })) continue;
    const Diagnosis diagnosis = diagnose(observations);
    ASSERT_TRUE(diagnosis.contradiction.empty()) << fault.name << ": " << diagnosis.contradiction;
    ASSERT_FALSE(diagnosis.groups.empty()) << fault.name;
    const std::vector<Candidate>& first = diagnosis.groups.front().causes;
    EXPECT_TRUE(std::any_of(first.begin(), first.end(), [&](const Candidate& c) { return c.fault == &fault; }))
        << fault.name << " is not in the first group, which starts with " << first.front().name();
    ++diagnosed;
  }
  EXPECT_GT(diagnosed, catalog().size() / 2);
}

// A run gone wild writes display words far past its routines: they count as
// a run lost past them, not as thousands of failing routines (which would
// make every cause's difference as long as the run).
TEST(Diagnosis, DisplayWordsPastTheImagesRoutinesAreARunThatStopped) {
  std::set<int> wild;
  for (int n = 1; n <= 200000; ++n) wild.insert(n);
  const Diagnosis read = diagnose({{ImageKind::main, wild, false}});
  const Diagnosis stopped = diagnose({{ImageKind::main, routine_range(1, 68), true, kPastTheRoutines}});
  EXPECT_EQ(read.groups.front().causes.front().name(), "beq-target-one-word-late") << "the one cause that runs on";
  ASSERT_FALSE(read.groups.empty());
  ASSERT_EQ(read.groups.size(), stopped.groups.size());
  for (size_t g = 0; g < read.groups.size(); ++g) {
    ASSERT_EQ(read.groups[g].causes.size(), stopped.groups[g].causes.size());
    for (size_t c = 0; c < read.groups[g].causes.size(); ++c)
      EXPECT_EQ(read.groups[g].causes[c].name(), stopped.groups[g].causes[c].name());
  }
}

// Where a run stopped parts the causes that stop it: each stops it in its own
// routine, and one that stops it elsewhere does not fit.
TEST(Diagnosis, TheRoutineARunStoppedInPartsTheCausesThatStopIt) {
  const auto first_group = [](int stopped_in) {
    std::set<std::string_view> names;
    const Diagnosis diagnosis = diagnose({{ImageKind::main, {}, true, stopped_in}});
    for (const Candidate& c : diagnosis.groups.front().causes)
      if (c.exact()) names.insert(c.name());
    return names;
  };
  EXPECT_TRUE(first_group(21).contains("add-traps-on-carry"));
  EXPECT_FALSE(first_group(21).contains("bgtz-offset-not-shifted"));
  EXPECT_TRUE(first_group(38).contains("bgtz-offset-not-shifted"));
  EXPECT_FALSE(first_group(38).contains("add-traps-on-carry"));
  // Where the run stopped is unknown: both fit.
  const Diagnosis unknown = diagnose({{ImageKind::main, {}, true, 0}});
  size_t exact = 0;
  for (const CauseGroup& group : unknown.groups)
    for (const Candidate& c : group.causes)
      exact += c.exact() && (c.name() == "add-traps-on-carry" || c.name() == "bgtz-offset-not-shifted");
  EXPECT_EQ(exact, 2u);
}

// Ties are groups that say what would part them; a whole family's failures
// name the family, not a member; a passing image that every explanation
// would fail is a contradiction, not a guess.
TEST(Diagnosis, GroupsTiesNamesFamiliesAndRefusesContradictions) {
  // Read from the main image alone, a tie whose members the supplement's
  // expectations part says so; one that neither image parts sends to the trace.
  size_t parted = 0, unparted = 0;
  for (const CatalogFault& fault : catalog()) {
    if (fault.expected.outcome != Outcome::routines_fail) continue;
    const Diagnosis diagnosis = diagnose({{ImageKind::main, fault.expected.routines, false}});
    const CauseGroup& first = diagnosis.groups.front();
    if (first.causes.size() < 2) continue;
    std::set<std::pair<Outcome, std::set<int>>> on_supplement;
    for (const Candidate& c : first.causes) {
      const Expectation& e = c.fault ? c.fault->on_supplement : c.family->supplement;
      on_supplement.insert({e.outcome == Outcome::not_applicable ? Outcome::not_stated : e.outcome, e.routines});
    }
    const std::string text = first.separation.front();
    const bool apart = on_supplement.size() > 1;
    ++(apart ? parted : unparted);
    EXPECT_NE(text.find(apart ? "the supplement tells them apart" : "diagnose --trace"), std::string::npos)
        << fault.name << ": " << text;
  }
  EXPECT_GT(parted, 0u);
  EXPECT_GT(unparted, 0u);

  std::set<int> every_taken_slot;
  for (const CatalogFault& fault : catalog())
    if (fault.name.ends_with("-slot-skipped-taken") || fault.name.ends_with("-slot-skipped"))
      every_taken_slot.insert(fault.expected.routines.begin(), fault.expected.routines.end());
  const Diagnosis slots = diagnose({{ImageKind::main, every_taken_slot, false}});
  ASSERT_FALSE(slots.groups.empty());
  ASSERT_TRUE(slots.groups.front().exact());
  ASSERT_EQ(slots.groups.front().causes.size(), 1u);
  ASSERT_NE(slots.groups.front().causes.front().family, nullptr);
  EXPECT_EQ(slots.groups.front().causes.front().family->members.size(), 12u);

  const Diagnosis contradiction = diagnose({{ImageKind::main, {8}, false}, {ImageKind::supplement, {}, false}});
  EXPECT_TRUE(contradiction.groups.empty());
  EXPECT_NE(contradiction.contradiction.find("slt-unsigned (supplement fails 4)"), std::string::npos)
      << contradiction.contradiction;
  // A cause with no claim on the passing image keeps the answer open.
  const auto unclaimed = std::find_if(catalog().begin(), catalog().end(), [](const CatalogFault& f) {
    return f.expected.outcome == Outcome::routines_fail && f.on_supplement.outcome == Outcome::not_stated;
  });
  ASSERT_NE(unclaimed, catalog().end());
  EXPECT_TRUE(diagnose({{ImageKind::main, unclaimed->expected.routines, false}, {ImageKind::supplement, {}, false}})
                  .contradiction.empty())
      << unclaimed->name;
}

TEST(Diagnosis, NearestShowTheDifferences) {
  // No fault fails 18 and 19 together: the single-routine faults of each come first.
  const std::vector<Candidate> causes = rank_causes({18, 19}, ImageKind::main, 3);
  ASSERT_EQ(causes.size(), 3u);
  for (const Candidate& c : causes) {
    EXPECT_FALSE(c.exact());
    EXPECT_DOUBLE_EQ(c.similarity, 0.5) << c.fault->name;
    EXPECT_TRUE(c.missing.empty()) << c.fault->name;
    EXPECT_EQ(c.extra.size(), 1u) << c.fault->name;
  }
}

// A fault kept "inside a routine's cases" must cover every case and no word
// of the frame's exit: the shape's bounds against the case index of both
// images (a routine may set up before its first case, as the lui one does).
TEST(ImageShape, CaseBoundsAreTheFirstAndLastCaseOfEachRoutine) {
  for (const auto& [image, kind] : {std::pair{&test::default_image(), ImageKind::main},
                                    std::pair{&test::supplement_image(), ImageKind::supplement}}) {
    const ImageShape shape = shape_of(*image, kind);
    for (const RoutineInfo& routine : image->routines) {
      const auto in_routine = [&](const CaseRecord& c) { return c.routine == routine.number; };
      const auto first = std::find_if(image->cases.begin(), image->cases.end(), in_routine);
      const auto last = std::find_if(image->cases.rbegin(), image->cases.rend(), in_routine);
      ASSERT_NE(first, image->cases.end()) << routine.name;
      EXPECT_LE(shape.cases_begin(routine.number), first->address) << image_name(kind) << " " << routine.name;
      EXPECT_EQ(shape.cases_end(routine.number), last->end) << image_name(kind) << " " << routine.name;
    }
  }
}

TEST(FaultRun, FailedRoutinesCountPassesNotTheNumberField) {
  std::vector<uint32_t> words = board::display_words_when_failing({3, 11}, 68);
  for (uint32_t& w : words) w &= board::kPassCountMask;  // a broken sll: every test number 0
  EXPECT_EQ(failed_routines(words), (std::set<int>{3, 11}));
}

}  // namespace
}  // namespace r3k::faults
