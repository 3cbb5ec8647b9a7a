// The frame every routine shares: entry, cases, exit with the display word.
#pragma once

#include "image/image.h"
#include "routine/routine.h"

namespace r3k {

// plain: the frame as the main image has it. robust: the exit puts an
// independent instruction between each write and its first read, so a
// processor whose bypass is broken still writes the right display word.
enum class FrameStyle : uint8_t { plain, robust };

// The frame's own words, for code that must tell a routine's cases from its
// frame: the entry counts the test and clears the error flag; the exit
// (bnez, nop, addiu, sll, or, sw, jr, nop) gains a nop after the sll and
// after the or in the robust style.
inline constexpr uint32_t kFrameEntryBytes = 2 * 4;
constexpr uint32_t frame_exit_bytes(FrameStyle style) { return (style == FrameStyle::robust ? 10 : 8) * 4; }
// The smallest routine: the frame around no case.
constexpr uint32_t frame_bytes(FrameStyle style) { return kFrameEntryBytes + frame_exit_bytes(style); }

// Writes one routine at the assembler's current address (which must be
// 16-byte aligned), binding `entry`, and returns what the exporters need.
// Each case is recorded in `index` when one is given.
RoutineInfo emit_routine(assembly::Assembler& as, assembly::Label entry, const RoutineSpec& spec, Random& random,
                         uint16_t file, std::vector<CaseRecord>* index = nullptr,
                         FrameStyle style = FrameStyle::plain);

}  // namespace r3k
