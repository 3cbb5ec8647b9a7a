// Faults of the catalog that are one mistake made in several instructions
// ("beq-slot-skipped-taken", "bne-slot-skipped-taken", ...): when a design
// fails what all of them fail together, the cause is the logic they share
// (the squash wired to "taken" for every branch), not its nearest member.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "faults/catalog.h"

namespace r3k::faults {

struct FaultFamily {
  std::string name;       // "every slot-skipped-taken"
  std::string mechanism;  // one line naming the shared logic
  std::vector<const CatalogFault*> members;
  // What the members fail together on each image; not stated when a member
  // makes no claim there or ends the run.
  Expectation main, supplement, exceptions;
  const Expectation& expected_on(ImageKind kind) const {
    return kind == ImageKind::main ? main : kind == ImageKind::supplement ? supplement : exceptions;
  }
};

// Built once from the catalog: the faults named "<mnemonic>-<mistake>" that
// share the mistake, three or more of them, and the few mistakes that differ
// in name only (a jump's slot skipped is a taken branch's).
const std::vector<FaultFamily>& fault_families();

// The mistake part of a fault named "<mnemonic>-<mistake>" ("slot-skipped-taken"
// of "bne-slot-skipped-taken"; a jump's "slot-skipped" reads as a branch's
// "slot-skipped-taken"); nothing for a name that does not start with its mnemonic.
std::optional<std::string_view> mistake_of(const CatalogFault& fault);

}  // namespace r3k::faults
