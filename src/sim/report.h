// Words for how a run stopped, for the reports and test messages.
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

}  // namespace r3k::sim
