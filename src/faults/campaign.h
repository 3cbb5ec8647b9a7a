// Running the image once per catalog fault and judging each run: the engine
// of `r3kcheck faults`, its tests and its benchmark.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string_view>
#include <vector>

#include "faults/catalog.h"
#include "sim/exception.h"
#include "sim/machine.h"
#include "sim/report.h"

namespace r3k {
struct Image;
namespace elf {
struct LoadedElf;
}
}  // namespace r3k

namespace r3k::faults {

ImageShape shape_of(const Image& image, ImageKind kind);
// From the routines' function symbols "nN_xxx_test", numbered from 1 without
// a gap (68 of them for the main image); throws r3k::Error otherwise.
ImageShape shape_of(const elf::LoadedElf& elf, ImageKind kind);

// The routines that failed, from the display words in the order written
// (the start pattern's 0 left out): the n-th word is routine n's, and it
// passed when the pass count rose by one. The words' test-number fields are
// not trusted: a processor with a broken sll writes them wrong.
std::set<int> failed_routines(const std::vector<uint32_t>& words);

// What one run showed, as the board and the stop tell it.
struct FaultRun {
  sim::StopReason stop = sim::StopReason::InstructionLimit;
  std::optional<sim::ExceptionRecord> exception;
  board::Verdict lamps = board::Verdict::None;
  std::vector<uint32_t> display_words;  // the start pattern's 0 left out
  std::set<int> failed;
  uint64_t instructions = 0;
  size_t routine_count = 0;  // how many display words a whole run writes

  bool passed() const;  // the pass lamps, every routine reported, none failed
  // No verdict: not in the end loop, or there with lamps that do not show fail
  // though it did not pass.
  bool broken() const {
    return stop != sim::StopReason::Finished || (!passed() && lamps != board::Verdict::Fail);
  }
  // Of a run without a verdict: the routine under way when it stopped (the
  // one after the last display word; 1 before any, one past the last when
  // every routine reported), or kPastTheRoutines for one that wrote more
  // display words than it has routines. 0 for a run with a verdict.
  int stopped_in() const {
    if (!broken()) return 0;
    if (display_words.size() > routine_count) return kPastTheRoutines;
    return static_cast<int>(display_words.size()) + 1;
  }
};

// One run of the machine (which is reset first) with `fault`, on an image of
// `routine_count` routines.
FaultRun run_with_fault(sim::Machine& machine, const sim::Fault& fault, size_t routine_count,
                        uint64_t max_instructions, uint32_t quick_run_flag = 1);

// How the image did against one fault.
enum class Verdict : uint8_t {
  caught_by_expected,  // every routine the catalog expects failed (others may have too)
  caught_elsewhere,    // routines failed, but not all the expected ones
  escaped,             // the run passed
  exception_loop,      // the run ended in the exception loop
  limit,               // the instruction limit cut the run
  no_verdict,          // the end loop, but the lamps disagree with the display words or show nothing
  not_run,             // the fault is tied to the other image's code
};
std::string_view verdict_name(Verdict verdict);
Verdict judge(const Expectation& expected, const FaultRun& run);
// The run is exactly what the catalog says: the failing set, the stop.
bool as_expected(const Expectation& expected, const FaultRun& run);

struct FaultResult {
  const CatalogFault* fault = nullptr;
  FaultRun run;
  Verdict verdict = Verdict::escaped;
};

struct CampaignOptions {
  uint32_t quick_run_flag = 1;
  unsigned threads = 0;  // 0: one per core
  // Each fault's run stops after max(limit_factor x the baseline's count,
  // min_limit). A stale QUICK_RUN_FLAG read lengthens the pauses about a
  // hundredfold (load-use-stale: 12.7 million instructions), and is still a
  // finished run.
  uint64_t limit_factor = 200;
  uint64_t min_limit = 5'000'000;
  std::function<void(size_t done, size_t total)> progress;  // called from the workers, one at a time
};

struct Campaign {
  ImageKind kind = ImageKind::main;
  FaultRun baseline;
  uint64_t limit = 0;
  std::vector<FaultResult> results;  // in the order of `faults`; empty when the baseline did not pass
};

// The baseline run first; the faults only when it passes. A fault that does
// not apply to the shape's image is not run (verdict not_run). A limit below
// the baseline's instruction count is refused with an r3k::Error.
Campaign run_campaign(const std::vector<uint8_t>& boot, const ImageShape& shape,
                      const std::vector<const CatalogFault*>& faults, const CampaignOptions& options);

struct Score {
  size_t faults = 0, caught = 0, caught_by_expected = 0, expected_routines = 0;
  size_t escaped_with_reason = 0, escaped_without_reason = 0;
  size_t escaped_unclaimed = 0;  // escaped where the catalog makes no claim for the image
  size_t expected_missed = 0;  // faults with expected routines not caught by them
};
// Over the faults that were run, each judged by its expectation on `kind`.
Score score_of(const std::vector<FaultResult>& results, ImageKind kind);

// Both images against the same faults: a fault is caught when either image
// catches it.
struct JointScore {
  size_t faults = 0, caught = 0, caught_by_main_only = 0, caught_by_supplement_only = 0;
  std::vector<const CatalogFault*> escaped;  // by both images
};
// `main` and `supplement` hold results for the same faults in the same order.
JointScore joint_score(const std::vector<FaultResult>& main, const std::vector<FaultResult>& supplement);

// The same for any number of images (campaigns over the same faults).
struct ImagesScore {
  size_t faults = 0, caught = 0;
  std::vector<size_t> caught_only;           // by campaign: the faults it alone caught
  std::vector<const CatalogFault*> escaped;  // by every image
};
ImagesScore images_score(const std::vector<Campaign>& campaigns);

}  // namespace r3k::faults
