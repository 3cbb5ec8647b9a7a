// Builds the whole test image from a seed.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "asm/assembler.h"
#include "image/frame.h"
#include "image/image.h"
#include "routine/random.h"
#include "routine/routine.h"

namespace r3k {

// What makes an image: its run-order table, the start code that calls the
// routines in that order, and the frame around each routine.
struct ImagePlan {
  std::span<const RoutineSpec> routines;
  // Writes the start code from the reset vector up to the first routine's
  // 16-byte boundary, calling the routines' entry labels in order.
  std::vector<StartLabel> (*start)(assembly::Assembler&, std::span<const assembly::Label>);
  FrameStyle frame = FrameStyle::plain;
  ImageKind kind = ImageKind::main;
};

// The main image: the 68 routines.
Image build_image(uint32_t seed = kDefaultSeed);
Image build_image(uint32_t seed, const ImagePlan& plan);

}  // namespace r3k
