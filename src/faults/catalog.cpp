#include "faults/catalog.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "faults/catalog_parts.h"

namespace r3k::faults {

std::string_view class_name(FaultClass fault_class) {
  switch (fault_class) {
    case FaultClass::alu: return "ALU";
    case FaultClass::shift: return "shift";
    case FaultClass::branch_decision: return "branch decision";
    case FaultClass::branch_target: return "branch target";
    case FaultClass::link: return "link";
    case FaultClass::delay_slot: return "delay slot";
    case FaultClass::load_store_lane: return "load/store lane or extension";
    case FaultClass::unaligned_merge: return "unaligned merge";
    case FaultClass::multiply_divide: return "multiply/divide";
    case FaultClass::hi_lo: return "HI/LO";
    case FaultClass::forwarding: return "forwarding/interlock";
    case FaultClass::exception: return "exception";
  }
  return "?";
}

std::string_view outcome_name(Outcome outcome) {
  switch (outcome) {
    case Outcome::routines_fail: return "routines fail";
    case Outcome::unseen: return "not visible to the image";
    case Outcome::exception_loop: return "ends in the exception loop";
    case Outcome::run_breaks: return "run breaks";
    case Outcome::not_stated: return "not stated";
    case Outcome::not_applicable: return "does not apply";
  }
  return "?";
}

Expectation fails(std::set<int> routines) { return {Outcome::routines_fail, std::move(routines), {}}; }
Expectation unseen(std::string_view reason) { return {Outcome::unseen, {}, reason}; }
Expectation exception_loop(std::set<int> failing_before, std::string_view where, int stops_in) {
  return {Outcome::exception_loop, std::move(failing_before), where, stops_in};
}
Expectation breaks_run(std::string_view how, int stops_in) { return {Outcome::run_breaks, {}, how, stops_in}; }
Expectation not_applicable(std::string_view why) { return {Outcome::not_applicable, {}, why}; }

void add_confined_to_main_image(ExpectationTable& table) {
  constexpr std::string_view kConfined = "confined to a routine of the main image";
  for (const std::string_view name : {"j-no-transfer-in-n13", "jr-no-transfer-in-n15", "jal-no-transfer-in-n14",
                                      "jal-no-transfer-in-n19", "jalr-no-transfer-in-n43", "jal-link-target-in-n14"})
    table.emplace_back(name, not_applicable(kConfined));
}

std::set<int> routine_range(int first, int last) {
  std::set<int> numbers;
  for (int n = first; n <= last; ++n) numbers.insert(n);
  return numbers;
}

uint32_t ImageShape::cases_begin(int number) const { return routines.at(number - 1).address + kFrameEntryBytes; }
uint32_t ImageShape::cases_end(int number) const {
  const RoutineSpan& span = routines.at(number - 1);
  return span.address + span.size - frame_exit_bytes(frame());
}

const std::vector<CatalogFault>& catalog() {
  static const std::vector<CatalogFault> all = [] {
    std::vector<CatalogFault> joined;
    for (auto part : {alu_and_shift_faults, branch_and_jump_faults, delay_slot_faults, multiply_divide_faults,
                      memory_faults, forwarding_faults, exception_faults}) {
      std::vector<CatalogFault> faults = part();
      joined.insert(joined.end(), faults.begin(), faults.end());
    }
    for (const auto& [name, expected] : supplement_expectations()) {
      // clang++ 14 captures no structured binding: the name is copied in.
      const auto it = std::find_if(joined.begin(), joined.end(),
                                   [wanted = name](const CatalogFault& f) { return f.name == wanted; });
      if (it == joined.end()) throw std::logic_error("the supplement's table names no fault " + std::string(name));
      it->on_supplement = expected;
    }
    for (const auto& [name, expected] : exceptions_expectations()) {
      const auto it = std::find_if(joined.begin(), joined.end(),
                                   [wanted = name](const CatalogFault& f) { return f.name == wanted; });
      if (it == joined.end()) throw std::logic_error("the exceptions image's table names no fault " + std::string(name));
      it->on_exceptions = expected;
    }
    return joined;
  }();
  return all;
}

const CatalogFault* find_fault(std::string_view name) {
  for (const CatalogFault& fault : catalog())
    if (fault.name == name) return &fault;
  return nullptr;
}

std::string look_at_text(const CatalogFault& fault) {
  std::string text(isa::info(fault.op).mnemonic);
  if (!fault.look_at.empty()) text += "; also: " + std::string(fault.look_at);
  return text;
}

}  // namespace r3k::faults
