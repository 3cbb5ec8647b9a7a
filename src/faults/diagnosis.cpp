#include "faults/diagnosis.h"

#include <algorithm>

namespace r3k::faults {

std::vector<Candidate> rank_causes(const std::set<int>& observed, ImageKind kind, size_t nearest) {
  std::vector<Candidate> exact, near;
  for (const CatalogFault& fault : catalog()) {
    const Expectation& expectation = fault.expected_on(kind);
    if (expectation.outcome != Outcome::routines_fail) continue;
    const std::set<int>& expected = expectation.routines;
    Candidate c{&fault, 0, {}, {}};
    std::set_difference(expected.begin(), expected.end(), observed.begin(), observed.end(),
                        std::inserter(c.missing, c.missing.end()));
    std::set_difference(observed.begin(), observed.end(), expected.begin(), expected.end(),
                        std::inserter(c.extra, c.extra.end()));
    const size_t both = expected.size() - c.missing.size();
    const size_t either = expected.size() + c.extra.size();
    c.similarity = either ? double(both) / double(either) : 1.0;
    if (c.exact()) exact.push_back(c);
    else if (both > 0) near.push_back(c);
  }
  std::stable_sort(near.begin(), near.end(),
                   [](const Candidate& a, const Candidate& b) { return a.similarity > b.similarity; });
  if (near.size() > nearest) near.resize(nearest);
  exact.insert(exact.end(), near.begin(), near.end());
  return exact;
}

}  // namespace r3k::faults
