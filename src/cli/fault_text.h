// Words for the fault catalog and a fault campaign, shared by the faults and
// diagnose commands.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "board/layout.h"
#include "faults/campaign.h"
#include "faults/catalog.h"

namespace r3k::cli {

// "18 20", "all 68", or "none".
std::string routine_list(const std::set<int>& routines, size_t routine_count = layout::kRoutineCount);
// "fails 18 20", "unseen", "exception loop after 2 3", "run breaks".
std::string expectation_text(const faults::Expectation& expected);
// Glob (* and ?) against the name or the class name; a plain pattern matches
// any name containing it.
bool fault_matches(const faults::CatalogFault& fault, const std::string& pattern);
// "failed 5", "ended in the exception loop after 5 display words", ...
std::string baseline_problem(const faults::FaultRun& run);
// {"main": {...}, "supplement": {...}, "together": {...}}: the campaigns run,
// and their joint score when both ran.
std::string campaigns_json(const std::vector<faults::Campaign>& campaigns);

}  // namespace r3k::cli
