// The frame every routine shares: entry, cases, exit with the display word.
#pragma once

#include "image/image.h"
#include "routine/routine.h"

namespace r3k {

// plain: the frame as the main image has it. robust: the exit puts an
// independent instruction between each write and its first read, so a
// processor whose bypass is broken still writes the right display word.
enum class FrameStyle : uint8_t { plain, robust };

// Writes one routine at the assembler's current address (which must be
// 16-byte aligned), binding `entry`, and returns what the exporters need.
// Each case is recorded in `index` when one is given.
RoutineInfo emit_routine(assembly::Assembler& as, assembly::Label entry, const RoutineSpec& spec, Random& random,
                         uint16_t file, std::vector<CaseRecord>* index = nullptr,
                         FrameStyle style = FrameStyle::plain);

}  // namespace r3k
