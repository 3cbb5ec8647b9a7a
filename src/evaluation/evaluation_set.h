// Faults kept apart from the catalog, to measure how well diagnose names a
// bug it has never been told about: one-line Verilog mistakes of a
// five-stage MIPS-I pipeline, none of which behaves like a catalog entry.
// Each carries the mechanism a good diagnosis names and the catalog faults
// whose answer counts as naming it. Nothing in the catalog or in diagnose
// reads this list; a ranking tuned against it would stop measuring anything.
#pragma once

#include <string_view>
#include <vector>

#include "faults/catalog.h"

namespace r3k::evaluation {

struct EvaluationFault {
  // Name, class, instruction kind, the Verilog mistake (as `models`) and the
  // maker, in the campaign's own record so that run_campaign runs it; the
  // expectations stay "not stated": what the images do is measured, not
  // claimed.
  faults::CatalogFault fault;
  // What a good diagnosis names: a catalog mechanism, or a class of mistake
  // the catalog has no entry for ("rt bypass lost for sllv").
  std::string_view mechanism;
  // Catalog faults whose name as an answer counts as right: the same kind of
  // mistake in the same piece of logic (the same instruction's decision,
  // extension, lane, link, amount, forwarding path, or the logic it shares
  // with a sibling instruction). Empty when the catalog has no such entry.
  std::vector<std::string_view> accepted;
  // Why neither image can see the fault; empty when at least one should fail.
  std::string_view unseen;

  std::string_view name() const { return fault.name; }
  bool accepts(std::string_view answer) const;
};

// In the order of the parts: datapath, control, memory, pipeline.
const std::vector<EvaluationFault>& evaluation_set();
// Each later set was written after the ranking had been tuned on the sets
// before it, its accepted answers fixed before diagnose saw any of its
// faults; its first figures say how well the rules carry over. Once rules
// have been shaped on a set's misses (the validation set's and the held-out
// set's have), it measures nothing blind, and only the newest does.
const std::vector<EvaluationFault>& validation_set();
const std::vector<EvaluationFault>& holdout_set();
// Never used to tune the ranking.
const std::vector<EvaluationFault>& second_holdout_set();

}  // namespace r3k::evaluation
