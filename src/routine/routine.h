// What a family module sees while it writes one routine's cases.
#pragma once

#include <string_view>

#include "asm/assembler.h"
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

struct RoutineContext {
  assembly::Assembler& as;
  Random& random;  // this routine's own stream
  const RoutineSpec& spec;
  assembly::Label inst_error;  // the frame's failure exit
  uint16_t file = 0;           // source file index of the routine
  int cases = 0;               // cases written so far

  // Starts the next case: its instructions belong to a line of their own.
  void begin_case() {
    ++cases;
    as.set_source({file, static_cast<uint32_t>(cases + 1)});
  }
};


}  // namespace r3k
