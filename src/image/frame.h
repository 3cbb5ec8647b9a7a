// The frame every routine shares: entry, cases, exit with the display word.
#pragma once

#include "image/image.h"
#include "routine/routine.h"

namespace r3k {

// plain: the frame as the main image has it. robust: the exit puts an
// independent instruction between each write and its first read, so a
// processor whose bypass of the instruction just before is broken still
// writes the right display word. spaced: three of them, the depth of a
// five-stage pipeline's bypass, so that losing any one path (from the
// instruction one, two or three before) leaves the frame and the driver
// working and the forwarding routines alone to report it.
enum class FrameStyle : uint8_t { plain, robust, spaced };

// How many instructions the style puts between a write and its first read.
constexpr int frame_gap(FrameStyle style) {
  return style == FrameStyle::spaced ? 3 : style == FrameStyle::robust ? 1 : 0;
}

// Each image's style: the supplement's must survive a lost bypass path.
constexpr FrameStyle frame_style_of(ImageKind kind) {
  return kind == ImageKind::main ? FrameStyle::plain
         : kind == ImageKind::supplement ? FrameStyle::spaced
                                         : FrameStyle::robust;
}

// The frame's own words, for code that must tell a routine's cases from its
// frame: the entry counts the test and clears the error flag; the exit
// (bnez, nop, addiu, sll, or, sw, jr, nop) gains the style's gap after the
// sll and after the or.
inline constexpr uint32_t kFrameEntryBytes = 2 * 4;
constexpr uint32_t frame_exit_bytes(FrameStyle style) { return static_cast<uint32_t>(8 + 2 * frame_gap(style)) * 4; }
// The smallest routine: the frame around no case.
constexpr uint32_t frame_bytes(FrameStyle style) { return kFrameEntryBytes + frame_exit_bytes(style); }

// Writes one routine at the assembler's current address (which must be
// 16-byte aligned), binding `entry`, and returns what the exporters need.
// Each case is recorded in `index` when one is given.
RoutineInfo emit_routine(assembly::Assembler& as, assembly::Label entry, const RoutineSpec& spec, Random& random,
                         uint16_t file, std::vector<CaseRecord>* index = nullptr,
                         FrameStyle style = FrameStyle::plain);

}  // namespace r3k
