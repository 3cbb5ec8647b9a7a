#include "evaluation/scoring.h"

#include <algorithm>

#include "divergence/faulty_trace.h"
#include "divergence/trace_diagnosis.h"
#include "faults/diagnosis.h"
#include "sim/trace.h"
#include "image/image.h"

namespace r3k::evaluation {

using faults::ImageKind;

std::string_view outcome_name(Outcome outcome) {
  switch (outcome) {
    case Outcome::first: return "right first";
    case Outcome::top_three: return "right in the top three";
    case Outcome::wrong: return "wrong";
    case Outcome::no_failure: return "no routine failed";
    case Outcome::stopped: return "run stopped";
  }
  return "?";
}

namespace {

// What a board shows of a run: its failing routines, and for a run that
// stopped short, the routine it stopped in.
faults::ImageObservation observed(const faults::FaultRun& run, ImageKind kind) {
  return {kind, run.failed, run.broken(), run.stopped_in()};
}

// As diagnose answers: nothing when every image passed, or when every run
// stopped where nothing tells in which routine.
Answer diagnose_observed(const std::vector<faults::ImageObservation>& observations) {
  Answer answer;
  const auto all = [&](auto holds) { return std::all_of(observations.begin(), observations.end(), holds); };
  if (all([](const faults::ImageObservation& seen) { return seen.passed(); })) return answer;
  if (all([](const faults::ImageObservation& seen) { return seen.stopped && !seen.stopped_in; })) return answer;
  const faults::Diagnosis diagnosis = faults::diagnose(observations);
  for (const faults::Candidate* candidate : diagnosis.ranked()) answer.ranked.push_back(candidate->name());
  return answer;
}

}  // namespace

// One image's display words alone: a run that reached the end loop is read
// from its words, whatever its lamps show.
Answer diagnose_run(const faults::FaultRun& run, ImageKind kind) {
  faults::ImageObservation seen = observed(run, kind);
  seen.stopped = run.stop != sim::StopReason::Finished;
  return diagnose_observed({seen});
}

Answer diagnose_runs(const faults::FaultRun& main, const faults::FaultRun& supplement) {
  return diagnose_observed({observed(main, ImageKind::main), observed(supplement, ImageKind::supplement)});
}

bool names_mechanism(const EvaluationFault& fault, std::string_view answer) {
  if (fault.accepts(answer)) return true;
  for (const faults::FaultFamily& family : faults::fault_families())
    if (family.name == answer)
      return std::any_of(family.members.begin(), family.members.end(),
                         [&](const faults::CatalogFault* member) { return fault.accepts(member->name); });
  return false;
}

namespace {

bool an_accepted_cause_fits(const EvaluationFault& fault, const faults::FaultRun& main,
                            const faults::FaultRun& supplement) {
  const faults::Diagnosis diagnosis = faults::diagnose(
      {observed(main, ImageKind::main), observed(supplement, ImageKind::supplement)}, 0);
  for (const faults::CauseGroup& group : diagnosis.groups)
    if (group.exact())
      for (const faults::Candidate& cause : group.causes)
        if (names_mechanism(fault, cause.name())) return true;
  return false;
}

}  // namespace

Seen judge_answer(const EvaluationFault& fault, Answer answer, Outcome if_unanswered) {
  Seen seen;
  seen.answer = std::move(answer);
  for (size_t i = 0; i < seen.answer.ranked.size() && !seen.rank; ++i)
    if (names_mechanism(fault, seen.answer.ranked[i])) seen.rank = i + 1;
  if (seen.answer.ranked.empty()) seen.outcome = if_unanswered;
  else if (seen.rank == 1) seen.outcome = Outcome::first;
  else if (seen.rank >= 2 && seen.rank <= 3) seen.outcome = Outcome::top_three;
  else seen.outcome = Outcome::wrong;
  return seen;
}

Seen judge_run(const EvaluationFault& fault, faults::FaultRun run, ImageKind kind) {
  Seen seen = judge_answer(fault, diagnose_run(run, kind),
                           run.stop != sim::StopReason::Finished ? Outcome::stopped : Outcome::no_failure);
  seen.run = std::move(run);
  return seen;
}

Accuracy accuracy_of(const std::vector<Row>& rows, ImageKind kind) {
  return accuracy_of(rows, kind == ImageKind::main ? &Row::main : &Row::supplement);
}

Accuracy accuracy_of(const std::vector<Row>& rows, const Seen Row::*which) {
  Accuracy accuracy;
  for (const Row& row : rows) {
    ++accuracy.faults;
    switch ((row.*which).outcome) {
      case Outcome::first: ++accuracy.first, ++accuracy.top_three, ++accuracy.answered; break;
      case Outcome::top_three: ++accuracy.top_three, ++accuracy.answered; break;
      case Outcome::wrong: ++accuracy.answered; break;
      case Outcome::no_failure: ++accuracy.no_failure; break;
      case Outcome::stopped: ++accuracy.stopped; break;
    }
  }
  return accuracy;
}

namespace {

faults::Campaign campaign_of(const std::vector<EvaluationFault>& set, const Image& image, ImageKind kind,
                             unsigned threads) {
  std::vector<const faults::CatalogFault*> runs;
  for (const EvaluationFault& fault : set) runs.push_back(&fault.fault);
  faults::CampaignOptions options;
  options.threads = threads;
  return faults::run_campaign(image.boot_bytes(), faults::shape_of(image, kind), runs, options);
}

}  // namespace

std::optional<trace::DiffOutcome> first_divergence(const EvaluationFault& fault, const Image& image, ImageKind kind,
                                                   uint64_t limit) {
  return divergence::first_divergence(image.boot_bytes(), fault.fault.make(faults::shape_of(image, kind)), limit);
}

Answer diagnose_trace_of(const EvaluationFault& fault, const Image& main_image, const Image& supplement,
                         const faults::FaultRun& main_run, const faults::FaultRun& supplement_run) {
  const std::vector<faults::ImageObservation> observations{observed(main_run, ImageKind::main),
                                                            observed(supplement_run, ImageKind::supplement)};
  Answer answer;
  // Either image's passing run is far shorter: a trace beyond it is never read.
  constexpr uint64_t kTraceLimit = 500'000;
  for (const auto& [image, kind] : {std::pair{&main_image, ImageKind::main}, std::pair{&supplement, ImageKind::supplement}}) {
    const std::optional<trace::DiffOutcome> outcome = first_divergence(fault, *image, kind, kTraceLimit);
    if (!outcome) continue;
    const divergence::TraceDiagnosis diagnosis = divergence::diagnose_divergence(
        image->boot_bytes(), faults::shape_of(*image, kind), *outcome, 1, observations);
    answer.ranked = diagnosis.ranked;
    break;
  }
  return answer;
}

Evaluation evaluate(const std::vector<EvaluationFault>& set, const Image& main_image, const Image& supplement,
                    unsigned threads, bool with_trace) {
  Evaluation evaluation;
  faults::Campaign on_main = campaign_of(set, main_image, ImageKind::main, threads);
  faults::Campaign on_supplement = campaign_of(set, supplement, ImageKind::supplement, threads);
  evaluation.main_baseline_passed = on_main.baseline.passed();
  evaluation.supplement_baseline_passed = on_supplement.baseline.passed();
  if (!evaluation.main_baseline_passed || !evaluation.supplement_baseline_passed) return evaluation;
  for (size_t i = 0; i < set.size(); ++i) {
    const faults::FaultRun& main = on_main.results[i].run;
    const faults::FaultRun& supplement_run = on_supplement.results[i].run;
    const bool both_stopped = main.stop != sim::StopReason::Finished && supplement_run.stop != sim::StopReason::Finished;
    Seen both = judge_answer(set[i], diagnose_runs(main, supplement_run),
                             both_stopped ? Outcome::stopped : Outcome::no_failure);
    Seen traced;
    if (with_trace)
      traced = judge_answer(set[i], diagnose_trace_of(set[i], main_image, supplement, main, supplement_run),
                            Outcome::no_failure);
    const bool fits = an_accepted_cause_fits(set[i], main, supplement_run);
    evaluation.words_fit_an_accepted_cause += fits;
    evaluation.rows.push_back({&set[i], judge_run(set[i], std::move(on_main.results[i].run), ImageKind::main),
                               judge_run(set[i], std::move(on_supplement.results[i].run), ImageKind::supplement),
                               std::move(both), std::move(traced), fits});
  }
  evaluation.on_main = accuracy_of(evaluation.rows, ImageKind::main);
  evaluation.on_both = accuracy_of(evaluation.rows, &Row::both);
  evaluation.on_trace = accuracy_of(evaluation.rows, &Row::traced);
  evaluation.on_supplement = accuracy_of(evaluation.rows, ImageKind::supplement);
  return evaluation;
}

}  // namespace r3k::evaluation
