// The catalog's parts, one per group of classes; catalog.cpp joins them.
#pragma once

#include <set>
#include <string_view>
#include <utility>
#include <vector>

#include "faults/catalog.h"

namespace r3k::faults {

std::vector<CatalogFault> alu_and_shift_faults();
std::vector<CatalogFault> branch_and_jump_faults();
std::vector<CatalogFault> delay_slot_faults();
std::vector<CatalogFault> multiply_divide_faults();
std::vector<CatalogFault> memory_faults();
std::vector<CatalogFault> forwarding_faults();
std::vector<CatalogFault> exception_faults();

// Routines first to last, for expectations that name a run of them.
std::set<int> routine_range(int first, int last);

// The faults tied to a routine of the main image's code (a transfer wrong
// only there): another image cannot see them. Added to `table` as such.
using ExpectationTable = std::vector<std::pair<std::string_view, Expectation>>;
void add_confined_to_main_image(ExpectationTable& table);

// What the supplement does about the faults it makes a claim on, by name;
// the faults it says nothing of keep "not stated".
std::vector<std::pair<std::string_view, Expectation>> supplement_expectations();
// The same for the exceptions image.
std::vector<std::pair<std::string_view, Expectation>> exceptions_expectations();

}  // namespace r3k::faults
