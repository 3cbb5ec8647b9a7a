// From failing routines back to likely causes: the catalog faults whose
// expected failing set equals the observed one, then the nearest by overlap.
// Works from the catalog's expectations alone; it runs nothing.
#pragma once

#include <set>
#include <vector>

#include "faults/catalog.h"

namespace r3k::faults {

struct Candidate {
  const CatalogFault* fault = nullptr;
  double similarity = 0;   // |expected ∩ observed| / |expected ∪ observed|; 1 for an exact match
  std::set<int> missing;   // expected to fail, but passed
  std::set<int> extra;     // failed, but not expected to
  bool exact() const { return missing.empty() && extra.empty(); }
};

// Faults the catalog expects to fail routines of the `kind` image, best
// first: every exact match, then up to `nearest` others with some overlap,
// by similarity (ties in catalog order).
std::vector<Candidate> rank_causes(const std::set<int>& observed, ImageKind kind = ImageKind::main,
                                   size_t nearest = 5);

}  // namespace r3k::faults
