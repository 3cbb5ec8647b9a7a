// diagnose measured on the evaluation set, on the validation set written
// after the ranking was tuned on the first, on the held-out set written after
// both, and on the second held-out set written after the ranking was tuned on
// all three and never tuned against (faults the catalog does not hold):
// each fault runs on the main image and the supplement of the default seed,
// and the ranking, fed one image's display words, then both images'
// together, then the first divergence of the fault's trace with both, answers. Prints a row per fault and the top-1 and top-3 accuracy
// per source of evidence.
#include <chrono>
#include <cstdio>
#include <string>

#include "divergence/trace_diagnosis.h"
#include "evaluation/scoring.h"
#include "image/build.h"
#include "supplement/supplement.h"

namespace {

using namespace r3k;
using evaluation::Outcome;
using faults::ImageKind;

std::string routines(const std::set<int>& failed) {
  std::string text;
  for (int n : failed) text += (text.empty() ? "" : ",") + std::to_string(n);
  if (text.size() > 22) text = text.substr(0, 19) + "...";
  return text.empty() ? "-" : text;
}

// "n8 -> slt-unsigned (#2)", "stopped in 22 -> add-traps-on-carry (#1)", or
// why there is no answer.
std::string cell(const evaluation::Seen& seen) {
  std::string text;
  if (seen.outcome == Outcome::stopped)
    text = std::string(sim::stop_reason_name(seen.run.stop)) + " after " +
           std::to_string(seen.run.display_words.size()) + ", failed " + routines(seen.run.failed);
  else if (seen.outcome == Outcome::no_failure) text = "no routine failed";
  else if (const int in = seen.run.stop != sim::StopReason::Finished ? seen.run.stopped_in() : 0)
    text = (seen.run.failed.empty() ? "" : routines(seen.run.failed) + ", ") +
           (in == faults::kPastTheRoutines ? "ran on" : "stopped in " + std::to_string(in)) + " -> " +
           std::string(seen.answer.ranked.front());
  else text = routines(seen.run.failed) + " -> " + std::string(seen.answer.ranked.front());
  if (seen.rank) text += " (#" + std::to_string(seen.rank) + ")";
  return text;
}

// "slt-unsigned (#2)", or why there is no answer.
std::string joint_cell(const evaluation::Seen& seen) {
  if (seen.answer.ranked.empty()) return std::string(evaluation::outcome_name(seen.outcome));
  std::string text(seen.answer.ranked.front());
  if (seen.rank) text += " (#" + std::to_string(seen.rank) + ")";
  return text;
}

std::string percent(size_t part, size_t whole) {
  char text[32];
  std::snprintf(text, sizeof text, "%2zu/%zu %3.0f%%", part, whole, whole ? 100.0 * double(part) / double(whole) : 0.0);
  return text;
}

void print_summary_row(const char* source, const evaluation::Accuracy& a) {
  std::printf("  %-34s %-14s %-14s %zu answered, %zu no failure, %zu stopped\n", source,
              percent(a.first, a.faults).c_str(), percent(a.top_three, a.faults).c_str(), a.answered, a.no_failure,
              a.stopped);
}

}  // namespace

// One fault's first divergence on each image and what diagnose --trace makes of it.
int explain_one(const evaluation::EvaluationFault& fault, const Image& main_image, const Image& supplement) {
  for (const auto& [image, kind] : {std::pair{&main_image, ImageKind::main}, std::pair{&supplement, ImageKind::supplement}}) {
    const auto outcome = evaluation::first_divergence(fault, *image, kind, 500'000);
    std::printf("%s: ", std::string(image_name(kind)).c_str());
    if (!outcome) {
      std::printf("the trace follows the reference\n");
      continue;
    }
    std::printf("design %s, expected %s\n", outcome->design.text.c_str(),
                sim::format_trace_record(outcome->expected).c_str());
    const divergence::TraceDiagnosis d =
        divergence::diagnose_divergence(image->boot_bytes(), faults::shape_of(*image, kind), *outcome, 1, {});
    if (!d.control.empty()) std::printf("  control: %s\n", d.control.c_str());
    for (const divergence::Mechanism& m : d.mechanisms) std::printf("  mechanism %s: %s\n", m.key.c_str(), m.text.c_str());
    for (const faults::CatalogFault* f : d.catalog.exact) std::printf("  reproduces: %s\n", std::string(f->name).c_str());
    for (const faults::CatalogFault* f : d.catalog.same_place) std::printf("  same place: %s\n", std::string(f->name).c_str());
    std::printf("  ranked:");
    for (size_t i = 0; i < std::min<size_t>(8, d.ranked.size()); ++i) std::printf(" %s", std::string(d.ranked[i]).c_str());
    std::printf("\n");
  }
  return 0;
}

// The table and figures for one set; false when a baseline run did not pass.
bool report(const std::vector<evaluation::EvaluationFault>& set, const std::string& heading, const Image& main_image,
            const Image& supplement) {
  const evaluation::Evaluation result = evaluation::evaluate(set, main_image, supplement, 0, true);
  if (result.rows.empty()) {
    std::printf("diagnose evaluation: a baseline run did not pass; nothing measured\n");
    return false;
  }
  std::printf("%s, seed 0x%08X\n", heading.c_str(), kDefaultSeed);
  std::printf("(each cell: failing routines -> diagnose's first answer; #k: an accepted fault is answer k;\n"
              " a run that stopped short of the end loop is read as stopped in the routine after its last display\n"
              " word, as diagnose reads a run --json report; \"=\": a cause that counts fits both images' words exactly)\n");
  std::printf("  %-28s %-40s %-40s %-32s %s\n", "fault", "main image", "supplement", "both images", "with the trace");
  for (const evaluation::Row& row : result.rows)
    std::printf("  %-28s %-40s %-40s %-32s %s\n", std::string(row.fault->name()).c_str(), cell(row.main).c_str(),
                cell(row.supplement).c_str(),
                (joint_cell(row.both) + (row.words_fit_an_accepted_cause ? " =" : "")).c_str(), joint_cell(row.traced).c_str());
  std::printf("\n  %-34s %-14s %-14s\n", "evidence", "top-1", "top-3");
  print_summary_row("main image's display words", result.on_main);
  print_summary_row("supplement's display words", result.on_supplement);
  print_summary_row("both images' display words", result.on_both);
  print_summary_row("trace's first divergence + words", result.on_trace);
  std::printf("  a cause that counts fits both images' words exactly for %s (elsewhere the words can name it\n"
              "  only as a near miss)\n", percent(result.words_fit_an_accepted_cause, result.rows.size()).c_str());
  return true;
}

int main(int argc, char** argv) {
  const auto start = std::chrono::steady_clock::now();
  const Image main_image = build_image(kDefaultSeed);
  const Image supplement = supplement::build(kDefaultSeed);
  struct Set {
    const std::vector<evaluation::EvaluationFault>* faults;
    const char* heading;
  };
  const Set sets[] = {
      {&evaluation::evaluation_set(), "diagnose on the evaluation set: %zu faults not in the catalog"},
      {&evaluation::validation_set(), "validation set: %zu faults written after this round's ranking rules"},
      {&evaluation::holdout_set(), "held-out set: %zu faults written after the ranking was tuned on both sets above"},
      {&evaluation::second_holdout_set(), "second held-out set: %zu faults written after the ranking was tuned on "
                                          "the three sets above, never used to tune it"},
  };
  if (argc > 1) {
    for (const Set& set : sets)
      for (const evaluation::EvaluationFault& fault : *set.faults)
        if (fault.name() == argv[1]) return explain_one(fault, main_image, supplement);
    std::printf("no fault %s in the evaluation, validation or either held-out set\n", argv[1]);
    return 2;
  }
  for (const Set& set : sets) {
    if (set.faults != sets[0].faults) std::printf("\n");
    std::string heading = set.heading;
    heading.replace(heading.find("%zu"), 3, std::to_string(set.faults->size()));
    if (!report(*set.faults, heading, main_image, supplement)) return 1;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("  (%.1f s)\n", seconds);
}
