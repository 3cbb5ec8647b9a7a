// Builds the whole test image from a seed.
#pragma once

#include <cstdint>

#include "image/image.h"
#include "routine/random.h"

namespace r3k {

Image build_image(uint32_t seed = kDefaultSeed);

}  // namespace r3k
