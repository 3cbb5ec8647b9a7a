// The 68 routines in the order the driver calls them.
#pragma once

#include <array>

#include "routine/routine.h"
#include "board/layout.h"

namespace r3k {

const std::array<RoutineSpec, layout::kRoutineCount>& run_order();

}  // namespace r3k
