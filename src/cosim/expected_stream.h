// The reference run ahead of a processor under test: the records of the
// instructions it retires, produced a slice at a time into a fixed ring and
// taken one per retirement. Memory stays the same whatever the run's length;
// the last records taken stay readable for a report.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "board/board.h"
#include "sim/machine.h"
#include "sim/sliced_run.h"
#include "sim/trace.h"

namespace r3k::cosim {

// A record of the reference with what the commit trace leaves out but a
// retirement port shows: the values of the instruction's sources before it
// ran, a load's address and a store's byte lanes.
struct Expected {
  sim::TraceRecord record;
  uint64_t number = 0;  // 1-based position among the records of the run
  uint32_t rs_value = 0, rt_value = 0, hi_before = 0, lo_before = 0;
  bool loads = false;
  uint32_t load_address = 0;
  uint8_t store_mask = 0;  // bit n: byte n of the aligned word
};

// The records one instruction gives, in order: the exception of its fetch,
// if that failed first (the vector's instruction follows); the instruction;
// the exception it raised, or an interrupt taken right after it.
struct ExpectedLines {
  Expected before, instruction, after;
  bool has_before = false, has_after = false;
  // The exception after it is the instruction's own, retired in its place.
  bool raised = false;
};

// Fills Expected records from the processor after each instruction, as
// sim::TraceRecorder fills trace records; for any run, a faulty one too.
class ExpectedRecorder {
 public:
  explicit ExpectedRecorder(sim::TraceRecorder::Run run = sim::TraceRecorder::Run::any) : recorder_(run) {}
  void record(const sim::Cpu& cpu, const sim::Decoded& decoded, ExpectedLines& lines);
  // The same records one at a time, each written straight where `next()`
  // says (a lock-step checker's ring), in order.
  template <class Next>
  void record_each(const sim::Cpu& cpu, const sim::Decoded& decoded, Next&& next) {
    recorder_.record(cpu, decoded, lines_);
    if (lines_.has_before) exception(lines_.before, next());
    instruction(decoded, next());
    if (lines_.has_after) exception(lines_.after, next());
  }
  // A fetch's exception, which no instruction shows (sim::TraceRecorder::pending_exception).
  bool pending_exception(const sim::RunResult& result, Expected& exception) const;

 private:
  static void exception(const sim::TraceRecord& line, Expected& e) {
    e.record = line, e.loads = false, e.store_mask = 0;
  }
  void instruction(const sim::Decoded& decoded, Expected& e) const;

  sim::TraceRecorder recorder_;
  sim::TraceLines lines_;
};

class ExpectedStream {
 public:
  ExpectedStream(sim::Machine& machine, const sim::RunOptions& options);

  // The next record not yet taken, running the reference on when none is
  // left; null once the run is over and every record taken.
  const Expected* peek() {
    if (head_ == tail_) [[unlikely]] refill();
    return head_ == tail_ ? nullptr : &ring_[head_ & kMask];
  }
  // The record after peek()'s, or null.
  const Expected* peek_second();
  void take() { ++head_; }

  // The `back`-th record taken before the next (1: the last taken), or null
  // when it is no longer kept.
  const Expected* taken(uint64_t back) const;
  uint64_t records_taken() const { return head_; }

  // Once peek() has returned null.
  const sim::RunResult& result() const { return *result_; }
  const board::DisplayReader& display() const { return display_; }

  // The observer of the sliced run.
  void on_instruction(const sim::Cpu& cpu, const sim::Decoded& decoded);
  void on_board_write(const sim::BoardWrite& write);

 private:
  static constexpr uint64_t kSlice = 512;             // instructions run per refill
  static constexpr uint64_t kCapacity = 2048;         // > 2 records per instruction of a slice, and history
  static constexpr uint64_t kMask = kCapacity - 1;
  static_assert((kCapacity & kMask) == 0);

  void refill();
  Expected& push();

  sim::SlicedRun run_;
  ExpectedRecorder recorder_;
  Expected exception_;
  std::vector<Expected> ring_;
  uint64_t head_ = 0, tail_ = 0;
  std::optional<sim::RunResult> result_;
  board::DisplayReader display_;
};

}  // namespace r3k::cosim
