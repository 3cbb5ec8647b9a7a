#include "divergence/trace_diagnosis.h"

#include <algorithm>
#include <map>

namespace r3k::divergence {

namespace {

// Where the display words put each cause; causes they do not name after.
std::map<std::string_view, size_t> display_order(const std::vector<faults::ImageObservation>& observations,
                                                 std::vector<std::string_view>& ranked) {
  std::map<std::string_view, size_t> order;
  if (observations.empty()) return order;
  const faults::Diagnosis diagnosis = faults::diagnose(observations, faults::catalog().size());
  for (const faults::Candidate* c : diagnosis.ranked()) {
    order.emplace(c->name(), order.size());
    ranked.push_back(c->name());
  }
  return order;
}

void append(std::vector<const faults::CatalogFault*> faults, const std::map<std::string_view, size_t>& order,
            std::vector<std::string_view>& ranked) {
  const auto place = [&](const faults::CatalogFault* f) {
    const auto it = order.find(f->name);
    return it == order.end() ? order.size() : it->second;
  };
  std::stable_sort(faults.begin(), faults.end(), [&](auto* a, auto* b) { return place(a) < place(b); });
  for (const faults::CatalogFault* f : faults)
    if (std::find(ranked.begin(), ranked.end(), f->name) == ranked.end()) ranked.push_back(f->name);
}

}  // namespace

TraceDiagnosis diagnose_divergence(std::span<const uint8_t> boot, const faults::ImageShape& shape,
                                   const trace::DiffOutcome& outcome, uint32_t quick_run_flag,
                                   const std::vector<faults::ImageObservation>& observations) {
  TraceDiagnosis result;
  result.reference = state_at(boot, outcome.reference_index, quick_run_flag);
  result.mechanisms = explain(result.reference, outcome.design, outcome.expected);
  if (outcome.design.record.pc != outcome.expected.pc)
    result.control = control_culprit(result.reference, outcome.design);
  result.catalog = reproduce(boot, shape, result.reference, outcome.design, quick_run_flag);
  std::vector<std::string_view> by_display;
  const std::map<std::string_view, size_t> order = display_order(observations, by_display);
  append(result.catalog.exact, order, result.ranked);
  append(result.catalog.same_place, order, result.ranked);
  for (std::string_view name : by_display)
    if (std::find(result.ranked.begin(), result.ranked.end(), name) == result.ranked.end())
      result.ranked.push_back(name);
  return result;
}

}  // namespace r3k::divergence
