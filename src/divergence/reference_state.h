// The reference processor as it stood at the first wrong instruction: the
// operands it held, what the three instructions before it read, and the
// memory word a load or store touches. What a mechanism is tested against.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "sim/fault.h"
#include "sim/trace.h"

namespace r3k::divergence {

struct Registers {
  std::array<uint32_t, 32> regs{};
  uint32_t hi = 0, lo = 0;
  bool operator==(const Registers&) const = default;
};

// One instruction and the registers just before it.
struct Step {
  uint32_t pc = 0, word = 0;
  Registers before;
};

struct ReferenceState {
  uint64_t index = 0;  // instructions run before `at`
  Step at;
  std::vector<Step> earlier;  // the instructions before `at`, newest first (up to five: a branch's
                              // three too)
  uint32_t memory_word = 0;   // the aligned word a load or store of `at` addresses, before it ran
  // Of a load or store: RAM as it stood before `at` ran, word by word (a
  // mistake may address another word); empty otherwise.
  std::vector<uint32_t> ram;
  uint32_t rom_size = 0;      // the boot ROM's bytes from layout::kResetVector, which the snapshot leaves out
  bool reached = false;       // the run got to instruction `index`
  sim::TraceRecord written;   // what `at` wrote, as the trace shows it
  std::optional<sim::TraceRecord> exception;  // the exception it raised, if any
};

// The aligned RAM word at `address` before `at` ran; 0 outside RAM or
// without a snapshot.
uint32_t ram_word(const ReferenceState& state, uint32_t address);

// Runs the image in `boot` (with `fault`, if active) up to instruction `index`.
ReferenceState state_at(std::span<const uint8_t> boot, uint64_t index, uint32_t quick_run_flag,
                        const sim::Fault& fault = {});

}  // namespace r3k::divergence
