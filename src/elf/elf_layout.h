// Where the image's pieces go in its ELF file and in the boot memory. The
// order of the sections is the chunk list in elf_writer.cpp; everything else
// about the layout is here.
#pragma once

#include <cstdint>

#include "elf/elf_format.h"
#include "board/layout.h"

namespace r3k::elf {

// No reordering by an assembler (every delay slot is written out), o32, MIPS I.
inline constexpr uint32_t kImageFlags = kMipsNoReorder | kMipsAbiO32 | kMipsArch1;

// Both segments start on this boundary in the file and in memory, so a
// loader may map each one as whole pages. The text therefore starts at file
// offset 0x10000 (the headers fit below it) and the data at the next boundary
// after the text.
inline constexpr uint32_t kSegmentAlignment = 0x10000;

// The boot memory window every loaded segment must fall in, by physical
// (load) address. The data segment runs at RAM addresses but is stored right
// after the text, at _etext.
inline constexpr uint32_t kBootBase = layout::kResetVector;
inline constexpr uint64_t kBootEnd = 0xC0000000;  // one past 0xBFFFFFFF

// The procedure descriptor every routine gets: a leaf with no stack frame
// that returns through $ra.
inline constexpr uint32_t kDescriptorFrameRegister = 29;   // $sp
inline constexpr uint32_t kDescriptorReturnRegister = 31;  // $ra

// Alignment of the routines' code, and so of .text.
inline constexpr uint32_t kTextAlignment = layout::kRoutineAlignment;

}  // namespace r3k::elf
