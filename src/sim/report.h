// Words for what a run ended with, for the command line and test messages.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "sim/exception.h"
#include "sim/machine.h"

namespace r3k::sim {

std::string_view stop_reason_name(StopReason reason);  // "finished", ...
std::string_view cause_name(Cause cause);              // "arithmetic overflow", ...

// "arithmetic overflow at 0xbfc00904", "bus error on load at 0xbfc00010 (address 0xfffff000)"
std::string describe(const ExceptionRecord& exception);

// The result display's word: the routine that last finished in bits 31..24,
// the number of routines passed so far in bits 23..0.
struct DisplayWord {
  int test_number = 0;
  uint32_t pass_count = 0;
};
DisplayWord decode_display(uint32_t word);

// What the lamps say once the run is in the end loop: Pass (both status lamps
// 1, the lamp bank still 0xFFFF), Fail (both 2, the bank dark), or None when
// the run stopped anywhere else or the lamps show neither pattern.
enum class Verdict : uint8_t { Pass, Fail, None };
Verdict verdict_of(const RunResult& result);

// The test number in a routine's symbol name: 21 for "n21_add_test" and 16
// for "n16_beq_ds_test"; nothing for any other name.
std::optional<int> routine_number_of(std::string_view symbol);

}  // namespace r3k::sim
