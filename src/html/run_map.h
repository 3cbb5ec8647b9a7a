// A run as one page: the verdict, the lamps, a tile per routine (passed,
// failed, not reached) with the instructions it took, the display words in
// order, and where an exception stopped the run.
#pragma once

#include <string>

#include "report/verdict.h"

namespace r3k::html {

std::string run_map_page(const report::RunReport& report);

}  // namespace r3k::html
