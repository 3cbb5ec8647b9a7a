#include "evaluation/scoring.h"

#include "faults/diagnosis.h"
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

Answer diagnose_run(const faults::FaultRun& run, ImageKind kind) {
  Answer answer;
  if (run.stop != sim::StopReason::Finished || run.failed.empty()) return answer;
  for (const faults::Candidate& candidate : faults::rank_causes(run.failed, kind))
    answer.ranked.push_back(candidate.fault->name);
  return answer;
}

Seen judge_run(const EvaluationFault& fault, faults::FaultRun run, ImageKind kind) {
  Seen seen;
  seen.answer = diagnose_run(run, kind);
  for (size_t i = 0; i < seen.answer.ranked.size() && !seen.rank; ++i)
    if (fault.accepts(seen.answer.ranked[i])) seen.rank = i + 1;
  if (run.stop != sim::StopReason::Finished) seen.outcome = Outcome::stopped;
  else if (run.failed.empty()) seen.outcome = Outcome::no_failure;
  else if (seen.rank == 1) seen.outcome = Outcome::first;
  else if (seen.rank >= 2 && seen.rank <= 3) seen.outcome = Outcome::top_three;
  else seen.outcome = Outcome::wrong;
  seen.run = std::move(run);
  return seen;
}

Accuracy accuracy_of(const std::vector<Row>& rows, ImageKind kind) {
  Accuracy accuracy;
  for (const Row& row : rows) {
    ++accuracy.faults;
    switch (row.on(kind).outcome) {
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

Evaluation evaluate(const std::vector<EvaluationFault>& set, const Image& main_image, const Image& supplement,
                    unsigned threads) {
  Evaluation evaluation;
  faults::Campaign on_main = campaign_of(set, main_image, ImageKind::main, threads);
  faults::Campaign on_supplement = campaign_of(set, supplement, ImageKind::supplement, threads);
  evaluation.main_baseline_passed = on_main.baseline.passed();
  evaluation.supplement_baseline_passed = on_supplement.baseline.passed();
  if (!evaluation.main_baseline_passed || !evaluation.supplement_baseline_passed) return evaluation;
  for (size_t i = 0; i < set.size(); ++i)
    evaluation.rows.push_back({&set[i], judge_run(set[i], std::move(on_main.results[i].run), ImageKind::main),
                               judge_run(set[i], std::move(on_supplement.results[i].run), ImageKind::supplement)});
  evaluation.on_main = accuracy_of(evaluation.rows, ImageKind::main);
  evaluation.on_supplement = accuracy_of(evaluation.rows, ImageKind::supplement);
  return evaluation;
}

}  // namespace r3k::evaluation
