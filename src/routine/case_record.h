// What the case index records of one case: written by the families as they
// emit a case, read by the listing, `explain` and trace diffs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace r3k {

// A value of a case, named as the family names it ("A", "expected", "marker A").
struct CaseValue {
  std::string name;
  uint32_t value = 0;
};

// What one case of a routine checks, recorded as its code is written, so a
// listing, `explain` or a trace diff can show the case behind any address
// without re-reading the code.
struct CaseRecord {
  int routine = 0;         // run number of its routine
  int number = 0;          // 1-based within the routine; its source line is number + 1
  int group = 0;           // 1-based; 0 for a routine without groups
  std::string group_name;  // "both random", "X = 0", ...; empty without groups
  std::vector<CaseValue> values;
  std::string note;        // what the values do not say (the delay-slot instruction, taken or not, ...)
  uint32_t address = 0;    // first word
  uint32_t end = 0;        // one past the last word
};

}  // namespace r3k
