// From what the board showed back to likely causes. The evidence is what each
// image the board ran did (its failing routines, or that it stopped short of
// the end loop); every catalog fault (and every family of faults that share
// one mechanism) is scored against all of it at once from the catalog's
// expectations. Causes that fit equally well form one group, which says
// which observation would tell its members apart. It runs nothing.
#pragma once

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "faults/catalog.h"
#include "faults/fault_family.h"

namespace r3k::faults {

// What one image's run showed.
struct ImageObservation {
  ImageKind kind = ImageKind::main;
  std::set<int> failed;
  // No verdict: the run ended in the exception loop or at a limit, or in the
  // end loop with lamps that do not show the failures.
  bool stopped = false;
  // Of a stopped run, the routine under way when it stopped (the one after
  // the last display word, 1 before any), or kPastTheRoutines; 0 when not known.
  int stopped_in = 0;
  bool passed() const { return failed.empty() && !stopped; }
};

// How a cause fits one image's observation.
struct ImageFit {
  ImageKind kind = ImageKind::main;
  bool stated = false;       // the catalog says what the image does; otherwise the fit is neutral
  std::set<int> missing;     // expected to fail, but passed
  std::set<int> extra;       // failed, but not expected to
  // The run stopped and the cause would not stop it, or the other way round,
  // or both stop, in routines known to differ.
  bool stop_differs = false;
  bool exact() const { return !stated || (missing.empty() && extra.empty() && !stop_differs); }
};

// A catalog fault, or a family of them named as one mechanism.
struct Candidate {
  const CatalogFault* fault = nullptr;
  const FaultFamily* family = nullptr;
  double similarity = 0;  // agreeing / all, over the images the cause has a claim on; 1 for an exact fit
  size_t confirmed = 0;   // observed images the cause has a claim on and fits exactly
  std::vector<ImageFit> fits;  // one per observation, in their order
  // Of a single-image ranking, for its one image.
  std::set<int> missing, extra;
  bool exact() const;
  std::string_view name() const { return fault ? fault->name : family->name; }
};

// Causes that fit equally well, and how to tell them apart.
struct CauseGroup {
  std::vector<Candidate> causes;  // in catalog order, families last
  std::vector<std::string> separation;  // empty for a group of one
  bool exact() const { return causes.front().exact(); }
};

struct Diagnosis {
  std::vector<CauseGroup> groups;  // best first
  // Not empty: the observations contradict every cause that explains the
  // failures (an image passed that each of them would fail); no groups then.
  std::string contradiction;
  // The causes in the order shown, group after group.
  std::vector<const Candidate*> ranked() const;
};

// Every cause that fits all observations exactly, then up to `nearest` more
// that share some failing routine with them, best first.
Diagnosis diagnose(const std::vector<ImageObservation>& observations, size_t nearest = 5);

// One image's failing routines alone, the causes flattened.
std::vector<Candidate> rank_causes(const std::set<int>& observed, ImageKind kind = ImageKind::main,
                                   size_t nearest = 5);

}  // namespace r3k::faults
