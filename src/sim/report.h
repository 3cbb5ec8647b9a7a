// Words for what a run ended with, for the command line and test messages.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "board/board.h"
#include "sim/exception.h"
#include "sim/machine.h"

namespace r3k::sim {

std::string_view stop_reason_name(StopReason reason);  // "finished", ...
std::string_view cause_name(Cause cause);              // "arithmetic overflow", ...

// "arithmetic overflow at 0xbfc00904", "bus error on load at 0xbfc00010 (address 0xfffff000)"
std::string describe(const ExceptionRecord& exception);

// What the lamps say once the run is in the end loop (board::kPassLamps or
// board::kFailLamps); None when the run stopped anywhere else or the lamps
// show neither pattern.
using board::Verdict;
Verdict verdict_of(const RunResult& result);


}  // namespace r3k::sim
