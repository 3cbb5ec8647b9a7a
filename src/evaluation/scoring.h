// The evaluation set run on both images and read back by today's diagnose,
// one image at a time (the ranking reads one image's failing routines), and
// the accuracy that comes of it.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "evaluation/evaluation_set.h"
#include "faults/campaign.h"

namespace r3k {
struct Image;
}

namespace r3k::evaluation {

// How one image's run of one fault came out, as diagnose sees it.
enum class Outcome : uint8_t {
  first,       // an accepted fault is diagnose's first answer
  top_three,   // an accepted fault is its second or third
  wrong,       // answered, but no accepted fault among the first three
  no_failure,  // the run reached the end loop with no failing routine: nothing to diagnose
  stopped,     // the run ended in the exception loop or at the limit: diagnose gives no cause
};
std::string_view outcome_name(Outcome outcome);

// What diagnose answers for a run's display words, as the command answers
// the run's report (run --json): nothing for a run that did not reach the
// end loop (its display words stop short of the routines it never reached)
// or failed no routine.
struct Answer {
  std::vector<std::string_view> ranked;  // catalog fault names, best first
};
Answer diagnose_run(const faults::FaultRun& run, faults::ImageKind kind);

struct Seen {
  faults::FaultRun run;
  Answer answer;
  size_t rank = 0;  // 1-based place of the first accepted answer; 0: none
  Outcome outcome = Outcome::no_failure;
};
Seen judge_run(const EvaluationFault& fault, faults::FaultRun run, faults::ImageKind kind);

struct Row {
  const EvaluationFault* fault = nullptr;
  Seen main, supplement;
  const Seen& on(faults::ImageKind kind) const { return kind == faults::ImageKind::main ? main : supplement; }
};

struct Accuracy {
  size_t faults = 0;
  size_t first = 0, top_three = 0;  // top_three counts the first answers too
  size_t answered = 0, no_failure = 0, stopped = 0;
};
Accuracy accuracy_of(const std::vector<Row>& rows, faults::ImageKind kind);

struct Evaluation {
  std::vector<Row> rows;  // in the evaluation set's order; empty if a baseline run failed
  bool main_baseline_passed = false, supplement_baseline_passed = false;
  Accuracy on_main, on_supplement;
};
// Every fault of `set` on both images (built from one seed), each run judged
// by diagnose fed that image's display words.
Evaluation evaluate(const std::vector<EvaluationFault>& set, const Image& main_image, const Image& supplement,
                    unsigned threads = 0);

}  // namespace r3k::evaluation
