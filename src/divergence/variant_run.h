// One instruction run on a given register state and memory word, as the
// trace records it: the reference's semantics on operands a mistake chose.
#pragma once

#include <cstdint>
#include <optional>

#include "divergence/reference_state.h"
#include "sim/bus.h"
#include "sim/trace.h"

namespace r3k::divergence {

struct VariantResult {
  sim::TraceRecord record;  // what it writes (pc and word: the original's)
  // The exception it raised in its own place, whose line follows `record`
  // (which then writes nothing).
  std::optional<sim::TraceRecord> raised;
  // It read or wrote the boot ROM, whose words the runner does not hold: what
  // it did there is not known, so it reproduces nothing.
  bool unknown = false;
  uint32_t after_slot = 0;  // where control goes after the delay slot
};

class VariantRunner {
 public:
  VariantRunner();
  // A load or store reads the word it addresses from `memory`'s RAM
  // snapshot; without one, memory reads as zero.
  VariantResult run(uint32_t pc, uint32_t word, const Registers& before, const ReferenceState* memory,
                    uint32_t original_word);

 private:
  sim::Bus bus_;
};

}  // namespace r3k::divergence
