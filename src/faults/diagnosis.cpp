#include "faults/diagnosis.h"

#include <algorithm>

#include "report/image_file.h"

namespace r3k::faults {

namespace {

// Agreement is counted in routines: each routine either side says failed is
// one observation, and a stop (or its absence) where a cause says otherwise
// is one more. A stop in a known routine agrees half with a cause that stops
// the run where the catalog does not say: less than one that stops it there.
struct Tally {
  double agreeing = 0, all = 0;
};

ImageFit fit(const Expectation& expected, const ImageObservation& seen, Tally& tally) {
  ImageFit f;
  f.kind = seen.kind;
  const bool stops = expected.outcome == Outcome::exception_loop || expected.outcome == Outcome::run_breaks;
  if (expected.outcome != Outcome::routines_fail && expected.outcome != Outcome::unseen && !stops) return f;
  f.stated = true;
  const bool stops_elsewhere = stops && seen.stopped && expected.stops_in && seen.stopped_in &&
                               expected.stops_in != seen.stopped_in;
  f.stop_differs = stops != seen.stopped || stops_elsewhere;
  const bool same_stop = stops && seen.stopped && !stops_elsewhere;
  const double stop_agreement = !same_stop ? 0 : seen.stopped_in && !expected.stops_in ? 0.5 : 1;
  // A run that breaks writes whatever it writes: only the break is claimed.
  if (expected.outcome == Outcome::run_breaks) {
    tally.agreeing += stop_agreement;
    tally.all += 1;
    return f;
  }
  const std::set<int>& routines = expected.routines;
  std::set_difference(routines.begin(), routines.end(), seen.failed.begin(), seen.failed.end(),
                      std::inserter(f.missing, f.missing.end()));
  std::set_difference(seen.failed.begin(), seen.failed.end(), routines.begin(), routines.end(),
                      std::inserter(f.extra, f.extra.end()));
  // A run that stopped shows no routine after the stop: only routines before
  // the one under way (or, where that is not known, before its last failure)
  // are surely missing.
  if (seen.stopped && seen.stopped_in > 0)
    std::erase_if(f.missing, [&](int n) { return n >= seen.stopped_in; });
  else if (seen.stopped && !seen.stopped_in)
    std::erase_if(f.missing, [&](int n) { return seen.failed.empty() || n > *seen.failed.rbegin(); });
  const size_t both = seen.failed.size() - f.extra.size();
  const size_t unexplained = f.extra.size();
  // The exception loop's routines are those that fail at least: more is no
  // contradiction, but fits less well than a cause that explains them.
  if (expected.outcome == Outcome::exception_loop) f.extra.clear();
  tally.agreeing += double(both) + stop_agreement;
  tally.all += double(both + unexplained + f.missing.size() + (stops || seen.stopped ? 1 : 0));
  return f;
}

template <class Cause>
Candidate score(const Cause& cause, const std::vector<ImageObservation>& observations) {
  Candidate c;
  Tally tally;
  for (const ImageObservation& seen : observations) {
    c.fits.push_back(fit(cause.expected_on(seen.kind), seen, tally));
    if (c.fits.back().stated && c.fits.back().exact()) ++c.confirmed;
  }
  c.similarity = tally.all ? tally.agreeing / tally.all : 0;
  if (c.fits.size() == 1) c.missing = c.fits[0].missing, c.extra = c.fits[0].extra;
  return c;
}

// A cause the catalog has a claim for on more of the images is shown first
// in its group, but fits no better: the other image may simply be untested.
bool fits_equally(const Candidate& a, const Candidate& b) {
  return a.exact() == b.exact() && a.similarity == b.similarity;
}

bool better(const Candidate& a, const Candidate& b) {
  if (a.exact() != b.exact()) return a.exact();
  if (a.similarity != b.similarity) return a.similarity > b.similarity;
  return a.confirmed > b.confirmed;
}

const Expectation& expected_of(const Candidate& c, ImageKind kind) {
  return c.fault ? c.fault->expected_on(kind) : c.family->expected_on(kind);
}

std::string routine_text(const std::set<int>& routines) {
  std::string text;
  for (int n : routines) text += (text.empty() ? "" : ", ") + std::to_string(n);
  return text;
}

// Where a run stops, as a cause's expectation says.
std::string during(int routine) {
  if (routine == kPastTheRoutines) return ", writing display words past its routines";
  return routine ? " in routine " + std::to_string(routine) : "";
}

std::string what_it_does(const Expectation& expected) {
  switch (expected.outcome) {
    case Outcome::routines_fail: return "fails " + routine_text(expected.routines);
    case Outcome::unseen: return "passes";
    case Outcome::exception_loop: return "ends in the exception loop" + during(expected.stops_in);
    case Outcome::run_breaks: return "stops short of the end loop" + during(expected.stops_in);
    default: return "is not stated";
  }
}

// For each image on which the group's causes would do different things,
// what each does there.
std::vector<std::string> separation_of(const std::vector<Candidate>& causes) {
  std::vector<std::string> lines;
  for (ImageKind kind : {ImageKind::main, ImageKind::supplement, ImageKind::exceptions}) {
    std::vector<std::pair<std::string, std::string>> doing;  // what, who
    for (const Candidate& c : causes) {
      const std::string what = what_it_does(expected_of(c, kind));
      auto it = std::find_if(doing.begin(), doing.end(), [&](const auto& d) { return d.first == what; });
      if (it == doing.end()) doing.push_back({what, std::string(c.name())});
      else it->second += ", " + std::string(c.name());
    }
    if (doing.size() < 2) continue;
    std::string line = "the " + std::string(image_name(kind)) + " tells them apart:";
    for (const auto& [what, who] : doing) line += " " + what + " for " + who + ";";
    line.back() = '.';
    lines.push_back(line);
  }
  if (lines.empty())
    lines.push_back("no image tells them apart: compare the first wrong value (diagnose --trace)");
  return lines;
}

// Every cause that explains the failing images exactly would fail an image
// that passed: say which, instead of naming a cause.
std::string contradiction_of(const std::vector<Candidate>& all, const std::vector<ImageObservation>& observations) {
  std::string passed;
  for (const ImageObservation& seen : observations)
    if (seen.passed()) passed = image_name(seen.kind);
  if (passed.empty()) return "";
  std::vector<const Candidate*> explaining;
  for (const Candidate& c : all) {
    bool explains = true, fails_a_pass = false, any_failure_explained = false;
    for (size_t i = 0; i < observations.size(); ++i) {
      const ImageFit& f = c.fits[i];
      if (observations[i].passed()) fails_a_pass |= f.stated && !f.missing.empty();
      else explains &= f.stated && f.exact(), any_failure_explained = true;
    }
    if (!any_failure_explained || !explains) continue;
    if (!fails_a_pass) return "";
    explaining.push_back(&c);
  }
  if (explaining.empty()) return "";
  std::string text = "the " + passed + " passed, but every cause that explains the failures would fail it:";
  for (const Candidate* c : explaining) {
    text += " " + std::string(c->name()) + " (";
    for (size_t i = 0; i < observations.size(); ++i)
      if (observations[i].passed()) text += std::string(image_name(observations[i].kind)) + " " +
                                            what_it_does(expected_of(*c, observations[i].kind));
    text += ");";
  }
  text.back() = '.';
  return text + " Check that both observations come from the same board and design.";
}

std::vector<CauseGroup> grouped(std::vector<Candidate> ranked) {
  std::vector<CauseGroup> groups;
  for (Candidate& c : ranked) {
    if (groups.empty() || !fits_equally(groups.back().causes.front(), c)) groups.emplace_back();
    groups.back().causes.push_back(std::move(c));
  }
  for (CauseGroup& group : groups)
    if (group.causes.size() > 1) group.separation = separation_of(group.causes);
  return groups;
}

}  // namespace

bool Candidate::exact() const {
  return std::all_of(fits.begin(), fits.end(), [](const ImageFit& f) { return f.exact(); }) && confirmed > 0;
}

std::vector<const Candidate*> Diagnosis::ranked() const {
  std::vector<const Candidate*> flat;
  for (const CauseGroup& group : groups)
    for (const Candidate& c : group.causes) flat.push_back(&c);
  return flat;
}

namespace {

// A run that wrote more display words than its image has routines ran past
// its driver: it stopped being a verdict there, and the words after name no
// routine (and could make every fit's difference as long as the run).
std::vector<ImageObservation> within_the_images(std::vector<ImageObservation> observations) {
  for (ImageObservation& seen : observations) {
    const int routines = static_cast<int>(report::run_order_of(seen.kind).size());
    if (seen.failed.empty() || *seen.failed.rbegin() <= routines) continue;
    seen.failed.erase(seen.failed.upper_bound(routines), seen.failed.end());
    seen.stopped = true;
    seen.stopped_in = kPastTheRoutines;
  }
  return observations;
}

}  // namespace

Diagnosis diagnose(const std::vector<ImageObservation>& given, size_t nearest) {
  const std::vector<ImageObservation> observations = within_the_images(given);
  std::vector<Candidate> all;
  for (const CatalogFault& fault : catalog()) {
    all.push_back(score(fault, observations));
    all.back().fault = &fault;
  }
  for (const FaultFamily& family : fault_families()) {
    all.push_back(score(family, observations));
    all.back().family = &family;
  }
  Diagnosis diagnosis;
  diagnosis.contradiction = contradiction_of(all, observations);
  if (!diagnosis.contradiction.empty()) return diagnosis;
  std::erase_if(all, [](const Candidate& c) { return c.similarity == 0; });
  // Catalog order within a group (families after the faults): stable.
  std::stable_sort(all.begin(), all.end(), better);
  const auto exact = static_cast<size_t>(std::count_if(all.begin(), all.end(), [](auto& c) { return c.exact(); }));
  if (all.size() > exact + nearest) all.resize(exact + nearest);
  diagnosis.groups = grouped(std::move(all));
  return diagnosis;
}

std::vector<Candidate> rank_causes(const std::set<int>& observed, ImageKind kind, size_t nearest) {
  std::vector<Candidate> flat;
  for (const CauseGroup& group : diagnose({{kind, observed, false}}, nearest).groups)
    for (const Candidate& c : group.causes) flat.push_back(c);
  return flat;
}

}  // namespace r3k::faults
