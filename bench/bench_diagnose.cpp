// diagnose measured on the evaluation set (faults the catalog does not hold):
// each fault runs on the main image and the supplement of the default seed,
// and today's ranking, fed one image's display words, answers. Prints a row
// per fault and the top-1 and top-3 accuracy per source of evidence.
#include <chrono>
#include <cstdio>
#include <string>

#include "evaluation/scoring.h"
#include "image/build.h"
#include "supplement/supplement.h"

namespace {

using namespace r3k;
using evaluation::Outcome;

std::string routines(const std::set<int>& failed) {
  std::string text;
  for (int n : failed) text += (text.empty() ? "" : ",") + std::to_string(n);
  if (text.size() > 22) text = text.substr(0, 19) + "...";
  return text.empty() ? "-" : text;
}

// "n8 -> slt-unsigned (#2)", or why there is no answer.
std::string cell(const evaluation::Seen& seen) {
  std::string text;
  if (seen.outcome == Outcome::stopped)
    text = std::string(sim::stop_reason_name(seen.run.stop)) + " after " +
           std::to_string(seen.run.display_words.size()) + ", failed " + routines(seen.run.failed);
  else if (seen.outcome == Outcome::no_failure) text = "no routine failed";
  else text = routines(seen.run.failed) + " -> " + std::string(seen.answer.ranked.front());
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

int main() {
  const auto start = std::chrono::steady_clock::now();
  const Image main_image = build_image(kDefaultSeed);
  const Image supplement = supplement::build(kDefaultSeed);
  const std::vector<evaluation::EvaluationFault>& set = evaluation::evaluation_set();
  const evaluation::Evaluation result = evaluation::evaluate(set, main_image, supplement);
  if (result.rows.empty()) {
    std::printf("diagnose evaluation: a baseline run did not pass; nothing measured\n");
    return 1;
  }
  std::printf("diagnose on the evaluation set: %zu faults not in the catalog, seed 0x%08X\n", set.size(),
              kDefaultSeed);
  std::printf("(each cell: failing routines -> diagnose's first answer; #k: an accepted fault is answer k;\n"
              " a run that stopped short of the end loop gets no answer, as diagnose --json gives none)\n");
  std::printf("  %-28s %-40s %s\n", "fault", "main image", "supplement");
  for (const evaluation::Row& row : result.rows)
    std::printf("  %-28s %-40s %s\n", std::string(row.fault->name()).c_str(), cell(row.main).c_str(),
                cell(row.supplement).c_str());
  std::printf("\n  %-34s %-14s %-14s\n", "evidence", "top-1", "top-3");
  print_summary_row("main image's display words", result.on_main);
  print_summary_row("supplement's display words", result.on_supplement);
  std::printf("  %-34s not yet available (diagnose does not read a trace)\n", "trace's first divergence");
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("  (%.1f s)\n", seconds);
}
