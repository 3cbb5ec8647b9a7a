// The processor faults the supplementary image exists for, each with the
// supplement routine meant to catch it: a list the fault catalog can take in.
#pragma once

#include <string>
#include <vector>

#include "sim/fault.h"

namespace r3k::supplement {

struct SupplementFault {
  std::string name;    // "jalr links into $31"
  sim::Fault fault;
  int routine = 0;     // the supplement routine meant for it
};

std::vector<SupplementFault> supplement_faults();

}  // namespace r3k::supplement
