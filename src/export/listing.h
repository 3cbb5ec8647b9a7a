// The listing: every word of the boot memory with its address, the word in
// hex and its disassembly, headed by what wrote it: the start code's blocks,
// each routine (number, name, instruction, case count) and each case (number,
// group and the values it was drawn with). Runs of zero words fold to one line.
// Everything it says comes from the build's own records, never from reading
// the code back.
#pragma once

#include <string>

#include "image/image.h"

namespace r3k::exporting {

std::string listing(const Image& image);

// "   0xbfc0001c..0xbfc000eb: 52 zero words": the line a run of at least
// kFoldedZeroRun zero words becomes.
inline constexpr uint32_t kFoldedZeroRun = 3;

// The instruction a routine checks ("addu"; for a delay-slot routine, the
// branch or jump whose delay slot it fills), from its run-order row.
std::string_view routine_instruction(const RoutineInfo& routine);
// "addu", or "the delay slot of beq" for a delay-slot routine.
std::string routine_subject(const RoutineInfo& routine);

}  // namespace r3k::exporting
