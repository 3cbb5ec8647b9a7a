#include "divergence/trace_diagnosis.h"

#include <algorithm>
#include <map>
#include <set>

#include "faults/fault_family.h"
#include "trace/culprit.h"

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

// Whether catalog fault `f` makes the mistake of mechanism `m` (found at an
// instruction `subject`), in that instruction or another.
bool makes_the_mistake(const faults::CatalogFault& f, const Mechanism& m, isa::Op subject) {
  std::optional<std::string_view> mistake = faults::mistake_of(f);
  if (!mistake && f.name.ends_with("-lost")) mistake = f.name.substr(0, f.name.size() - 5);
  if (!mistake) return false;
  // One operation computed for another is the select between the two, and
  // goes wrong either way: "add-as-sub" for a subu that added, not
  // "or-as-xor" for a subu that gave the exclusive or.
  if (mistake->starts_with("as-")) {
    const std::optional<isa::Op> computed = isa::op_from_mnemonic(mistake->substr(3));
    if (m.instead == isa::Op::invalid || !computed) return false;
    const isa::Op a = isa::function_of(f.op), b = isa::function_of(*computed);
    const isa::Op x = isa::function_of(subject), y = isa::function_of(m.instead);
    return (a == x && b == y) || (a == y && b == x);
  }
  // A byte or half from another lane: the lane select, however it is wired.
  if (m.mistake == "lane-select") return *mistake == "big-endian-lanes" || *mistake == "other-halfword";
  // A comparison at the wrong boundary: the comparator, however it errs.
  if (m.mistake == "comparator")
    return *mistake == "signed" || *mistake == "unsigned" || *mistake == "sign-of-difference";
  // A signed result negated: the correction that makes it signed.
  if (m.mistake == "sign-correction") return *mistake == "unsigned" || *mistake == "floor";
  // A link that did not land: the link's write, late or misdirected.
  if (m.mistake == "link-write")
    return *mistake == "link-late" || *mistake == "link-only-taken" || *mistake == "links-into-ra" ||
           *mistake == "link-into-target";
  // A shift by another amount: the amount's logic, whichever way it misreads.
  if (m.mistake == "amount-misread")
    return *mistake == "one-too-far" || *mistake == "ignores-bit4" || *mistake == "reads-all-of-rs";
  // A source by its role: a store's rt is its data, a jump's rs its target.
  const isa::OpInfo& row = isa::info(f.op);
  if (m.mistake == "rt-stale" && f.op != isa::Op::invalid && row.is_store() && *mistake == "data-stale") return true;
  if (m.mistake == "rs-stale" && f.op != isa::Op::invalid && *mistake == "target-stale" &&
      (row.format == isa::Format::JumpRegister || row.format == isa::Format::JumpLinkRegister))
    return true;
  // The bypass faults of no kind are named for the path: "rs-bypass-2-lost".
  return *mistake == m.mistake || *mistake == m.key;
}

// Where an operand meets its bypass mux: a branch's comparator and a jump's
// target read it in decode, a memory access's base feeds the address adder
// and a store's rt its data; every other instruction reads it at the
// execute stage's operand muxes. One path lost at one of these sits in the
// logic all its readers share.
enum class Reader : uint8_t { decode, address, store_data, execute };

Reader reader_of(isa::Op op, bool rt) {
  const isa::OpInfo& row = isa::info(op);
  switch (row.format) {
    case isa::Format::BranchCompare: case isa::Format::BranchZero: case isa::Format::BranchRegimm:
    case isa::Format::JumpRegister: case isa::Format::JumpLinkRegister: return Reader::decode;
    default: break;
  }
  if (row.attributes.memory != isa::MemoryAccess::none)
    return !rt ? Reader::address : row.is_store() ? Reader::store_data : Reader::execute;
  return Reader::execute;
}

// A branch that went the other way says only that; a sibling that always
// goes one way is no closer than any other unit's fault.
bool only_a_symptom(const Mechanism& m) {
  return m.key == "decided-not-taken" || m.key == "decided-taken" || m.key == "target-elsewhere";
}

// A fault the display words rule out: on an image that ran to the end
// loop, none of the routines it fails did.
bool refuted(const faults::CatalogFault& f, const std::vector<faults::ImageObservation>& observations) {
  return std::any_of(observations.begin(), observations.end(), [&](const faults::ImageObservation& seen) {
    const faults::Expectation& expected = f.expected_on(seen.kind);
    return !seen.stopped && expected.outcome == faults::Outcome::routines_fail && !expected.routines.empty() &&
           std::none_of(expected.routines.begin(), expected.routines.end(),
                        [&](int routine) { return seen.failed.contains(routine); });
  });
}

// The catalog's faults in the classes of the mechanisms found: first those
// of the instruction the mistake sits in (for a control divergence, the
// transfer before it), then those that make a mechanism's mistake in any
// instruction (the lost path's own fault first), then of the writers before it (for a bypass), then of its
// siblings of the same format (the same unit).
enum Tier : int {
  kOwnMistake, kSiblingOfTheBlock, kSibling, kThePath, kAnyInstruction, kOwn, kWriter, kSameUnit, kNone
};

std::vector<std::vector<const faults::CatalogFault*>> of_the_instructions(
    const TraceDiagnosis& d, const std::set<faults::FaultClass>& classes, bool control,
    const std::vector<faults::ImageObservation>& observations) {
  isa::Op subject = isa::decode(d.reference.at.word);
  if (control)
    for (const Step& step : d.reference.earlier)
      if (trace::is_control_transfer(step.word)) {
        subject = isa::decode(step.word);
        break;
      }
  std::set<isa::Op> writers;
  if (classes.contains(faults::FaultClass::forwarding))
    for (size_t back = 0; back < std::min<size_t>(3, d.reference.earlier.size()); ++back)
      writers.insert(isa::decode(d.reference.earlier[back].word));
  const bool stale_source = std::any_of(d.mechanisms.begin(), d.mechanisms.end(), [](const Mechanism& m) {
    return m.key.starts_with("rs-bypass-") || m.key.starts_with("rt-bypass-");
  });
  const auto tier = [&](const faults::CatalogFault& f) {
    bool same_mistake = false, same_telling_mistake = false, the_path = false, same_reader = false;
    for (const Mechanism& m : d.mechanisms)
      if (makes_the_mistake(f, m, subject)) {
        same_mistake = true;
        same_telling_mistake |= !only_a_symptom(m);
        the_path |= f.name == m.key + "-lost";
        const bool stale_rs = m.key.starts_with("rs-bypass-"), stale_rt = m.key.starts_with("rt-bypass-");
        same_reader |= f.op != isa::Op::invalid && (stale_rs || stale_rt) &&
                       reader_of(f.op, stale_rt) == reader_of(subject, stale_rt);
      }
    const bool own = f.op == subject && classes.contains(f.fault_class);
    // A wrong value's mechanism names the mistake more closely than the
    // instruction does; a wrong transfer's ("decided taken") less.
    // A wrong transfer points at the transfer's own decision, unless it went
    // as a source's value from before a write just ahead would send it and
    // the display words rule the decision fault out.
    if (own && (same_mistake || (control && !(stale_source && refuted(f, observations))))) return kOwnMistake;
    // The same mistake in a sibling (computed by the same block, or of the
    // same unit, or computing the same function), then in any instruction.
    // A stale source is a sibling's mistake where the two read it at the same mux.
    if (same_telling_mistake && f.op != isa::Op::invalid) {
      if (same_reader || isa::block_of(f.op) == isa::block_of(subject)) return kSiblingOfTheBlock;
      if (isa::unit_of(f.op) == isa::unit_of(subject) || isa::function_of(f.op) == isa::function_of(subject))
        return kSibling;
    }
    // A path's own fault (a bypass lost for every instruction that reads
    // through it) names the mistake more closely than an unrelated
    // instruction's fault does.
    if (same_mistake) return the_path ? kThePath : kAnyInstruction;
    if (own) return kOwn;
    if (!classes.contains(f.fault_class)) return kNone;
    if (writers.contains(f.op)) return kWriter;
    return isa::unit_of(f.op) == isa::unit_of(subject) ? kSameUnit : kNone;
  };
  std::vector<std::vector<const faults::CatalogFault*>> found(kNone);
  for (const faults::CatalogFault& f : faults::catalog())
    if (const int t = tier(f); t < kNone) found[t].push_back(&f);
  return found;
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
  // Faults wrong at the same place are ordered by whether they sit where a
  // mechanism that reproduces the line does.
  std::set<faults::FaultClass> classes;
  for (const Mechanism& m : result.mechanisms) classes.insert(m.fault_class);
  std::vector<const faults::CatalogFault*> where_a_mechanism_is, elsewhere;
  for (const faults::CatalogFault* f : result.catalog.same_place)
    (classes.contains(f->fault_class) ? where_a_mechanism_is : elsewhere).push_back(f);
  // Faults of the instruction itself, or making a mechanism's mistake, say
  // more than faults that merely go wrong there another way.
  const auto tiers =
      of_the_instructions(result, classes, outcome.design.record.pc != outcome.expected.pc, observations);
  append(result.catalog.exact, order, result.ranked);
  for (int t = kOwnMistake; t <= kOwn; ++t) append(tiers[t], order, result.ranked);
  append(where_a_mechanism_is, order, result.ranked);
  append(tiers[kWriter], order, result.ranked);
  append(tiers[kSameUnit], order, result.ranked);
  append(elsewhere, order, result.ranked);
  for (std::string_view name : by_display)
    if (std::find(result.ranked.begin(), result.ranked.end(), name) == result.ranked.end())
      result.ranked.push_back(name);
  return result;
}

}  // namespace r3k::divergence
