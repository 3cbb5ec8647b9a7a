// What a family module sees while it writes one routine's cases.
#pragma once

#include <array>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "asm/assembler.h"
#include "routine/case_record.h"
#include "routine/random.h"
#include "isa/isa.h"

namespace r3k {

struct RoutineContext;
using EmitCases = void (*)(RoutineContext&);

// One row of the run-order table.
struct RoutineSpec {
  int number;             // run position; the test number the routine shows
  std::string_view name;  // global symbol, "n2_addu_test"
  isa::Op op;             // the instruction under test (for _ds_ routines, the branch or jump)
  EmitCases cases;        // the family's case writer
};

// How a family describes a case for the case index.
struct CaseInfo {
  int group = 0;                // 0: the routine has no groups
  std::string_view group_name;  // a literal of the family's
  std::vector<CaseValue> values;
  std::string note;
};

struct RoutineContext {
  assembly::Assembler& as;
  Random& random;  // this routine's own stream
  const RoutineSpec& spec;
  assembly::Label inst_error;          // the frame's failure exit
  uint16_t file = 0;                   // source file index of the routine
  std::vector<CaseRecord>* index = nullptr;  // where each case is recorded, if anywhere
  int cases = 0;                       // cases written so far

  // Starts the next case: its instructions belong to a line of their own,
  // and it ends where the next case (or the routine's exit) begins.
  void begin_case(CaseInfo info = {}) {
    ++cases;
    as.set_source({file, static_cast<uint32_t>(cases + 1)});
    if (!index) return;
    close_case();
    index->push_back({spec.number, cases, info.group, std::string(info.group_name), std::move(info.values),
                      std::move(info.note), as.here(), 0});
  }
  // Ends the case written last at the current address.
  void close_case() {
    if (index && !index->empty() && index->back().routine == spec.number && index->back().end == 0)
      index->back().end = as.here();
  }
};

// The shape of every family's case writer: each drawn case begins a case,
// described by `describe(c)` (returning a CaseInfo), and `emit(c)` writes it.
template <class Cases, class Describe, class Emit>
void emit_cases(RoutineContext& routine, const Cases& cases, Describe describe, Emit emit) {
  for (const auto& c : cases) {
    routine.begin_case(describe(c));
    emit(c);
  }
}

// A family's member table row for `op`. Every run-order row names an
// instruction of its family, so a miss is a bug in the table, not an input.
template <class Members>
const auto& find_member(const Members& members, isa::Op op, std::string_view family) {
  for (const auto& member : members)
    if (member.op == op) return member;
  throw std::logic_error(std::string(isa::info(op).mnemonic) + " is not in the " + std::string(family) + " family");
}


}  // namespace r3k
