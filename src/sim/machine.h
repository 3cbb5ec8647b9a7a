// The reference machine: the processor, the boot ROM holding the image, RAM
// and the board, run from reset until the end loop, the exception loop or an
// instruction limit.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "board/layout.h"
#include "sim/bus.h"
#include "sim/cpu.h"
#include "sim/decoded.h"
#include "sim/exception.h"
#include "sim/fault.h"

namespace r3k::sim {

struct RunOptions {
  uint32_t quick_run_flag = 1;  // what a read of QUICK_RUN_FLAG returns
  uint64_t max_instructions = 2'000'000'000;
  uint32_t start_pc = layout::kResetVector;
  Fault fault;  // none unless set
};

enum class StopReason : uint8_t {
  Finished,          // the pc reached the end loop
  ExceptionLoop,     // the pc reached the exception loop, after an exception or by falling into it
                     // (only in an image whose exceptions stop the run: Machine::exceptions_stop_run),
                     // or an exception sent the pc to a vector nothing can be fetched from
  InstructionLimit,  // max_instructions were issued first
};

struct RunResult {
  StopReason stop = StopReason::InstructionLimit;
  std::optional<ExceptionRecord> exception;  // the exception that stopped the run at the exception loop
  std::vector<BoardWrite> board_writes;      // in the order the stores happened
  BoardState board;                          // what the lamps and the display show at the end
  uint64_t quick_run_flag_reads = 0;
  uint64_t instructions = 0;  // issued, a faulting one included; the loop the run stopped at not
  std::array<uint32_t, 32> regs{};
  uint32_t hi = 0, lo = 0;
  uint32_t pc = 0;  // where the run stopped: the loop's first word, or the next instruction at the limit
  Cop0 cop0;                    // coprocessor 0 at the end
  uint64_t exceptions_taken = 0;  // handled ones and the one that stopped the run
};

// An observer watches a run without slowing down one that has none. Every
// member is optional:
//   void on_board_write(const BoardWrite&);           after each board store
//   void on_instruction(const Cpu&, const Decoded&);  after each instruction,
//       with cpu.pc still its address, cpu.next_pc and cpu.after_next where
//       the run goes on, and cpu.instructions not yet counting it
struct NullObserver {};

class Machine {
 public:
  // `boot_memory` is loaded at the reset vector: the text, then the data bytes.
  explicit Machine(std::vector<uint8_t> boot_memory);
  // Over a boot memory someone else holds (a mapped file); `storage` keeps it alive.
  Machine(std::span<const uint8_t> boot_memory, std::shared_ptr<const void> storage);

  // Each run starts from reset: registers zero, RAM refilled, board dark.
  RunResult run(const RunOptions& options = {});
  template <class Observer>
  RunResult run(const RunOptions& options, Observer& observer);

  // Whether an exception ends the run at the exception loop, as in the main
  // image and the supplement, or enters the handler at the vector. Decided
  // once per boot memory: the words from the R3000's vector (0xBFC00180) up
  // to the exception loop (0xBFC00380) are all zero, or the memory ends
  // before them: nothing but nops sliding into the loop, so an exception
  // would end there. Any other word there is a handler.
  bool exceptions_stop_run() const { return exceptions_stop_run_; }

 private:
  friend class SlicedRun;  // sim/sliced_run.h: the same loop, resumed
  // Core: Cpu itself when a fault or an instruction observer needs to see
  // it, a RegisterCore over it otherwise.
  template <bool kWithFault, class Core, class Observer>
  StopReason loop(Core& core, const RunOptions& options, Observer& observer);
  void start(Cpu& cpu, const RunOptions& options);
  RunResult finish(Cpu& cpu, StopReason stop);
  // The decoded instruction at `pc` in the boot ROM, through the cache, or
  // nullptr when `pc` is no aligned ROM address (RAM is never cached: a
  // program may write its own code there).
  const Decoded* fetch_rom(uint32_t pc) {
    const uint32_t slot = (pc >> 2) & (kCacheEntries - 1);
    if (cache_->tags[slot] == pc) [[likely]] return &cache_->entries[slot];
    return refill(pc, slot);
  }
  const Decoded* refill(uint32_t pc, uint32_t slot);
  Decoded decode_rom_word(uint32_t pc) const;
  // An instruction from anywhere but the ROM: RAM decodes on the fly;
  // anything else gives the fetch exception's cause.
  std::optional<Cause> fetch_outside_rom(uint32_t pc, Decoded& decoded);

  // ROM words decoded so far, direct-mapped by address: a run decodes only
  // the words it executes, and a loop hits the cache on every pass. A tag is
  // the address of the word its entry holds; an empty entry's tag is an
  // address of another slot, so no fetch matches it.
  static constexpr uint32_t kCacheEntries = 4096;
  struct DecodeCache {
    DecodeCache() {
      for (uint32_t slot = 0; slot < kCacheEntries; ++slot) tags[slot] = (slot ^ 1) << 2;
    }
    std::array<uint32_t, kCacheEntries> tags;
    std::array<Decoded, kCacheEntries> entries{};
  };

  Bus bus_;
  std::unique_ptr<DecodeCache> cache_;
  // The ROM words the run loop fetches: at least up to both loops, whose
  // first words are the stop entries end_loop and exception_loop (tests run
  // images far smaller than the start code).
  uint32_t rom_words_ = 0;
  uint32_t fetchable_words_ = 0;
  bool exceptions_stop_run_ = true;
};

}  // namespace r3k::sim

#include "sim/run_loop.h"
