// The evaluation set run on both images and read back by diagnose, fed one
// image's display words, then both images' together, and the accuracy that
// comes of it.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "evaluation/evaluation_set.h"
#include "faults/campaign.h"
#include "trace/trace_diff.h"

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
// Both images' runs at once, as diagnose --json A --supplement-json B: a run
// that stopped short counts as stopped; nothing when neither failed a routine
// nor stopped, or both stopped.
Answer diagnose_runs(const faults::FaultRun& main, const faults::FaultRun& supplement);

// An answer names the fault's mechanism: an accepted catalog fault, or a
// family of faults one of whose members is accepted.
bool names_mechanism(const EvaluationFault& fault, std::string_view answer);

struct Seen {
  faults::FaultRun run;
  Answer answer;
  size_t rank = 0;  // 1-based place of the first accepted answer; 0: none
  Outcome outcome = Outcome::no_failure;
};
Seen judge_run(const EvaluationFault& fault, faults::FaultRun run, faults::ImageKind kind);
// Where the answer names the mechanism; `seen.run` is left empty.
Seen judge_answer(const EvaluationFault& fault, Answer answer, Outcome if_unanswered);

struct Row {
  const EvaluationFault* fault = nullptr;
  Seen main, supplement, both;
  Seen traced;  // with the trace's first divergence (and both images' words); not measured: no_failure
  // Some cause that counts fits both images' words exactly. Where none does,
  // a ranking from the words can name the mechanism only as a near miss.
  bool words_fit_an_accepted_cause = false;
  const Seen& on(faults::ImageKind kind) const { return kind == faults::ImageKind::main ? main : supplement; }
};

struct Accuracy {
  size_t faults = 0;
  size_t first = 0, top_three = 0;  // top_three counts the first answers too
  size_t answered = 0, no_failure = 0, stopped = 0;
};
Accuracy accuracy_of(const std::vector<Row>& rows, faults::ImageKind kind);
Accuracy accuracy_of(const std::vector<Row>& rows, const Seen Row::*which);

struct Evaluation {
  std::vector<Row> rows;  // in the evaluation set's order; empty if a baseline run failed
  bool main_baseline_passed = false, supplement_baseline_passed = false;
  Accuracy on_main, on_supplement, on_both, on_trace;
  size_t words_fit_an_accepted_cause = 0;  // rows where one does
};
// Every fault of `set` on both images (built from one seed), each run judged
// by diagnose fed that image's display words.
// With `with_trace`, each fault's trace (written by the reference with the
// fault injected, through the trace writer) is also diffed against the
// reference, and its first divergence fed to diagnose --trace with both
// images' display words.
Evaluation evaluate(const std::vector<EvaluationFault>& set, const Image& main_image, const Image& supplement,
                    unsigned threads = 0, bool with_trace = false);

// The fault's run on `image` written as a design's trace (up to `limit`
// instructions), then read back in step with the reference to its first
// divergence; nothing when it follows the reference.
std::optional<trace::DiffOutcome> first_divergence(const EvaluationFault& fault, const Image& image,
                                                   faults::ImageKind kind, uint64_t limit);

// diagnose --trace's answer for the fault's trace on the main image, or on
// the supplement when the main image's trace follows the reference; nothing
// when neither diverges.
Answer diagnose_trace_of(const EvaluationFault& fault, const Image& main_image, const Image& supplement,
                         const faults::FaultRun& main_run, const faults::FaultRun& supplement_run);

}  // namespace r3k::evaluation
