// What `explain` tells about an address of the boot memory, a display word or
// a routine, from the build's own records (the case index).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "image/image.h"

namespace r3k::exporting {

// The routine, case, values and code at `address`; start-code addresses name
// their block. `address` must lie in the boot memory.
std::string explain_address(const Image& image, uint32_t address);

// The routine that wrote `word` and what its pass count says.
std::string explain_display_word(const Image& image, uint32_t word);

// A routine's instruction, case count, groups and address range.
std::string explain_routine(const Image& image, const RoutineInfo& routine);

// Tells `what` apart and explains it: a number is a routine number (1..68),
// an address in the boot memory (0xBFC00000 to its end) or a display word
// (routine 1..68 in the top byte); any other text names a routine
// ("n2_addu_test", "n2_addu" or an instruction only one routine checks).
// `number` is `what` read as a number, if it is one. Anything else throws an
// r3k::Error naming what was wrong.
std::string explain(const Image& image, const std::string& what, std::optional<uint32_t> number);

}  // namespace r3k::exporting
