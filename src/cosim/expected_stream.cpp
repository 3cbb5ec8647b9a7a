#include "cosim/expected_stream.h"

#include "board/layout.h"

namespace r3k::cosim {
namespace {

using sim::Action;

// The byte lanes of the aligned word a store of `width` ('b', 'h' or 'w')
// writes at `address`.
uint8_t width_lanes(char width, uint32_t address) {
  const unsigned lane = address & 3;
  return width == 'b' ? uint8_t(1u << lane) : width == 'h' ? uint8_t(3u << (lane & 2)) : uint8_t(0xF);
}

// The lanes swl and swr write (little-endian: swl lanes lane..0, swr lane..3).
uint8_t merge_lanes(Action action, uint32_t address) {
  const unsigned lane = address & 3;
  return action == Action::swl ? uint8_t((2u << lane) - 1) : uint8_t((0xFu << lane) & 0xF);
}

}  // namespace

ExpectedStream::ExpectedStream(sim::Machine& machine, const sim::RunOptions& options)
    : run_(machine, options), recorder_(sim::TraceRecorder::Run::faultless), ring_(kCapacity) {}

const Expected* ExpectedStream::peek_second() {
  if (!peek()) return nullptr;
  if (tail_ - head_ < 2) refill();
  return tail_ - head_ < 2 ? nullptr : &ring_[(head_ + 1) & kMask];
}

const Expected* ExpectedStream::taken(uint64_t back) const {
  if (back == 0 || back > head_ || head_ - back + kCapacity < tail_) return nullptr;
  return &ring_[(head_ - back) & kMask];
}

void ExpectedStream::refill() {
  // A slice adds at most two records per instruction plus a fetch's
  // exception; what stays of the ring behind head_ is history.
  while (tail_ - head_ < 2 && run_.running()) run_.run_for(kSlice, *this);
  if (run_.running() || result_) return;
  result_ = run_.finish();
  if (recorder_.pending_exception(*result_, exception_)) push() = exception_;
  if (tail_ != 0) ring_[(tail_ - 1) & kMask].number = tail_;
}

Expected& ExpectedStream::push() { return ring_[tail_++ & kMask]; }

void ExpectedStream::on_instruction(const sim::Cpu& cpu, const sim::Decoded& decoded) {
  recorder_.record_each(cpu, decoded, [this]() -> Expected& {
    Expected& e = push();
    e.number = tail_;
    return e;
  });
}

void ExpectedRecorder::record(const sim::Cpu& cpu, const sim::Decoded& decoded, ExpectedLines& lines) {
  recorder_.record(cpu, decoded, lines_);
  lines.has_before = lines_.has_before, lines.has_after = lines_.has_after, lines.raised = lines_.raised;
  if (lines.has_before) exception(lines_.before, lines.before);
  if (lines.has_after) exception(lines_.after, lines.after);
  instruction(decoded, lines.instruction);
}

void ExpectedRecorder::instruction(const sim::Decoded& decoded, Expected& e) const {
  e.record = lines_.instruction;
  e.rs_value = lines_.rs_value, e.rt_value = lines_.rt_value;
  e.hi_before = lines_.hi_before, e.lo_before = lines_.lo_before;
  const uint32_t address = e.rs_value + decoded.imm;
  e.loads = !lines_.raised && decoded.action < Action::reserved && isa::info(decoded.op()).is_load();
  e.load_address = e.loads ? address : 0;
  // The lanes of the store as it was made (a faulty run's may not be the
  // instruction's); swl and swr show the merged word, so their own address
  // says which lanes they wrote.
  const bool merges = decoded.action == Action::swl || decoded.action == Action::swr;
  const sim::StoreWrite& store = e.record.store;
  e.store_mask = !e.record.stores ? 0
                 : merges         ? merge_lanes(decoded.action, address)
                                  : width_lanes(store.width, store.address);
}

bool ExpectedRecorder::pending_exception(const sim::RunResult& result, Expected& exception) const {
  exception.loads = false, exception.store_mask = 0;
  return recorder_.pending_exception(result, exception.record);
}

void ExpectedStream::on_board_write(const sim::BoardWrite& write) {
  if (write.address == board::kResultDisplay) display_.on_write(write.value);
}

}  // namespace r3k::cosim
