// The verdict of a run on the reference simulator, as people and machines
// read it: the text line `run` ends with, one JSON object, a JUnit XML file.
// Everything is said from the run, the display words it wrote and the routine
// names of the image file; nothing is printed here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "board/board.h"
#include "report/routine_names.h"
#include "sim/machine.h"

namespace r3k::report {

// What the lamps say once the run is in the end loop (board::kPassLamps or
// board::kFailLamps); None when the run stopped anywhere else or the lamps
// show neither pattern.
using board::Verdict;
Verdict verdict_of(const sim::RunResult& result);

struct RunReport {
  const sim::RunResult& result;
  const RoutineNames& names;
  const board::DisplayReader& display;  // the display words the run wrote
  std::string image_path;
  uint64_t max_instructions = 0;  // the limit the run was given
};

// "PASS: 68 of 68 routines passed; lamps ...; 131921 instructions\n", or
// "FAIL: ..." naming the failed routines, or "NO VERDICT: ..." saying where
// and why the run stopped.
std::string verdict_line(const RunReport& report);

// " 21 n21_add_test         pass  0x15000015\n": one routine's line as its
// display word comes in, the names padded to the image's longest.
std::string routine_line(const board::RoutineOutcome& outcome, const RoutineNames& names);

// {"verdict": ..., "stop": ..., "lamps": {...}, "display": ..., "instructions": ...,
//  "exception": ..., "display_words": [...], "routines": [...]} on one line.
std::string verdict_json(const RunReport& report);

// A testsuite of one testcase per routine of the image: a failure carries the
// routine's display word and the instruction it tests; a routine the run
// never reached is skipped with the reason. Names from the file are made
// valid UTF-8 and stripped of what XML forbids.
std::string verdict_junit(const RunReport& report);

// "addu", "beq in a delay slot"; the routine's name for a routine the run
// order does not know.
std::string instruction_of_routine(int number, const std::string& name);

}  // namespace r3k::report
