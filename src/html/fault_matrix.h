// The fault catalog against the images as one page: faults down the side,
// grouped by class, each image's routines across, and per cell whether the
// routine was expected to fail and did.
#pragma once

#include <string>
#include <vector>

#include "faults/campaign.h"

namespace r3k::html {

struct MatrixImage {
  const faults::Campaign* campaign = nullptr;
  std::vector<std::string> routine_names;  // by run number - 1
};

// Every campaign ran the same faults in the same order.
std::string fault_matrix_page(const std::vector<MatrixImage>& images, uint32_t seed);

}  // namespace r3k::html
