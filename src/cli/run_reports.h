// The verdict of `run` for machines: one JSON object on standard output
// (--json) and a JUnit XML file with one test case per routine (--junit).
#pragma once

#include <string>
#include <vector>

#include "board/board.h"
#include "cli/routine_names.h"
#include "sim/machine.h"

namespace r3k::cli {

struct RunReport {
  const sim::RunResult& result;
  const RoutineNames& names;
  const std::vector<board::RoutineOutcome>& outcomes;  // the display words, in order
  std::string image_path;
};

// {"verdict": ..., "stop": ..., "lamps": {...}, "display": ..., "instructions": ...,
//  "exception": ..., "display_words": [...], "routines": [...]} on one line.
std::string run_json(const RunReport& report);

// A testsuite of one testcase per routine of the image: a failure carries the
// routine's display word and the instruction it tests; a routine the run
// never reached is skipped with the reason.
std::string run_junit(const RunReport& report);

// "addu", "beq in a delay slot"; the routine's name for a routine the run
// order does not know.
std::string instruction_of_routine(int number, const std::string& name);

}  // namespace r3k::cli
