#include "faults/fault_family.h"

#include <map>
#include <optional>

namespace r3k::faults {

namespace {

// Mistakes that are one piece of logic whatever the name says: a jump is a
// branch that is always taken, so its skipped slot is the taken squash.
struct Alias {
  std::string_view mistake, same_as;
};
constexpr Alias kAliases[] = {{"slot-skipped", "slot-skipped-taken"}};

constexpr size_t kMinimumMembers = 3;

// The members' failing routines together, when each member fails routines
// there or passes it; otherwise no claim.
Expectation joined(const std::vector<const CatalogFault*>& members, ImageKind kind) {
  std::set<int> routines;
  for (const CatalogFault* member : members) {
    const Expectation& expected = member->expected_on(kind);
    if (expected.outcome == Outcome::unseen) continue;
    if (expected.outcome != Outcome::routines_fail) return {Outcome::not_stated, {}, {}};
    routines.insert(expected.routines.begin(), expected.routines.end());
  }
  if (routines.empty()) return unseen("no member fails it");
  return fails(std::move(routines));
}

std::vector<FaultFamily> build_families() {
  std::map<std::string_view, std::vector<const CatalogFault*>> by_mistake;
  std::vector<std::string_view> order;
  for (const CatalogFault& fault : catalog()) {
    const auto mistake = mistake_of(fault);
    if (!mistake) continue;
    auto& members = by_mistake[*mistake];
    if (members.empty()) order.push_back(*mistake);
    members.push_back(&fault);
  }
  std::vector<FaultFamily> families;
  for (std::string_view mistake : order) {
    const std::vector<const CatalogFault*>& members = by_mistake[mistake];
    if (members.size() < kMinimumMembers) continue;
    FaultFamily family;
    family.name = "every " + std::string(mistake);
    std::string mnemonics;
    for (const CatalogFault* member : members)
      mnemonics += (mnemonics.empty() ? "" : ", ") + std::string(isa::info(member->op).mnemonic);
    family.mechanism = "one mistake in logic that " + mnemonics + " share: " + std::string(mistake);
    family.members = members;
    family.main = joined(members, ImageKind::main);
    family.supplement = joined(members, ImageKind::supplement);
    family.exceptions = joined(members, ImageKind::exceptions);
    families.push_back(std::move(family));
  }
  return families;
}

}  // namespace

std::optional<std::string_view> mistake_of(const CatalogFault& fault) {
  const std::string_view mnemonic = isa::info(fault.op).mnemonic;
  if (fault.name.size() <= mnemonic.size() + 1 || !fault.name.starts_with(mnemonic) ||
      fault.name[mnemonic.size()] != '-')
    return std::nullopt;
  std::string_view mistake = fault.name.substr(mnemonic.size() + 1);
  for (const Alias& alias : kAliases)
    if (mistake == alias.mistake) mistake = alias.same_as;
  return mistake;
}

const std::vector<FaultFamily>& fault_families() {
  static const std::vector<FaultFamily> all = build_families();
  return all;
}

}  // namespace r3k::faults
