#include "sim/trace.h"

#include <algorithm>
#include <cstring>

namespace r3k::sim {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

char* put_hex8(char* p, uint32_t value) {
  for (int i = 7; i >= 0; --i, value >>= 4) p[i] = kHexDigits[value & 15];
  return p + 8;
}

char* put_text(char* p, std::string_view text) {
  std::memcpy(p, text.data(), text.size());
  return p + text.size();
}

bool is_store(Action action) {
  return action == Action::sb || action == Action::sh || action == Action::sw || action == Action::swl ||
         action == Action::swr;
}

}  // namespace

Destinations destinations_of(const Decoded& d) {
  if (d.action >= Action::reserved) return {};
  const isa::OpInfo& row = isa::info(d.op());  // the instruction table's word on what each writes
  return {named_destination(d).value_or(0), row.writes_hi(), row.writes_lo()};
}

std::string_view exception_code(Cause cause) {
  switch (cause) {
    case Cause::AddressErrorFetch:
    case Cause::AddressErrorLoad: return "AdEL";
    case Cause::AddressErrorStore: return "AdES";
    case Cause::BusErrorFetch: return "IBE";
    case Cause::BusErrorLoad:
    case Cause::BusErrorStore: return "DBE";
    case Cause::Syscall: return "Sys";
    case Cause::Breakpoint: return "Bp";
    case Cause::ReservedInstruction: return "RI";
    case Cause::ArithmeticOverflow: return "Ov";
    case Cause::Interrupt: return "Int";
    case Cause::CoprocessorUnusable: return "CpU";
  }
  return "?";
}

bool parse_exception_code(std::string_view code, Cause& cause) {
  for (const Cause candidate : {Cause::AddressErrorLoad, Cause::AddressErrorStore, Cause::BusErrorFetch,
                                Cause::BusErrorLoad, Cause::Syscall, Cause::Breakpoint, Cause::ReservedInstruction,
                                Cause::ArithmeticOverflow, Cause::Interrupt, Cause::CoprocessorUnusable})
    if (exception_code(candidate) == code) {
      cause = candidate;
      return true;
    }
  return false;
}

size_t format_trace_record(const TraceRecord& r, char* out) {
  char* p = out;
  if (r.is_exception) {
    p = put_text(p, "exception ");
    p = put_text(p, exception_code(r.cause));
    p = put_hex8(put_text(p, " pc="), r.pc);
    if (has_bad_address(r.cause)) p = put_hex8(put_text(p, " address="), r.bad_address);
    if (r.handled && r.cause == Cause::CoprocessorUnusable) {
      p = put_text(p, " ce=");
      *p++ = static_cast<char>('0' + (r.coprocessor & 3));
    }
    if (r.handled) p = put_hex8(put_text(p, " epc="), r.epc);
    return static_cast<size_t>(p - out);
  }
  p = put_hex8(p, r.pc);
  *p++ = ' ';
  p = put_hex8(p, r.word);
  for (unsigned i = 0; i < r.reg_count; ++i) {
    *p++ = ' ';
    p = put_text(p, isa::reg_name(r.regs[i].reg));
    *p++ = '=';
    p = put_hex8(p, r.regs[i].value);
  }
  if (r.writes_hi) p = put_hex8(put_text(p, " hi="), r.hi);
  if (r.writes_lo) p = put_hex8(put_text(p, " lo="), r.lo);
  if (r.stores) {
    p = put_hex8(put_text(p, " ["), r.store.address);
    *p++ = ']';
    *p++ = r.store.width;
    *p++ = '=';
    p = put_hex8(p, r.store.value);
  }
  if (r.writes_cop0) {
    *p++ = ' ';
    p = put_text(p, isa::cop0_reg_name(r.cop0_reg));
    *p++ = '=';
    p = put_hex8(p, r.cop0_value);
  }
  return static_cast<size_t>(p - out);
}

std::string format_trace_record(const TraceRecord& record) {
  char line[kMaxTraceLine];
  return std::string(line, format_trace_record(record, line));
}

namespace {

TraceRecord exception_line(const ExceptionRecord& e) {
  TraceRecord line;
  line.is_exception = true;
  line.pc = e.pc;
  line.cause = e.cause;
  line.bad_address = e.bad_address;
  line.handled = e.handled;
  line.epc = e.epc;
  line.coprocessor = e.coprocessor;
  return line;
}

// A fetch that failed before the instruction now reported ran.
bool before_instruction(const ExceptionRecord& e) {
  return !e.after_instruction && (e.cause == Cause::AddressErrorFetch || e.cause == Cause::BusErrorFetch);
}

}  // namespace

void TraceRecorder::record(const Cpu& cpu, const Decoded& d, TraceLines& lines) {
  lines.has_before = lines.has_after = lines.raised = false;
  lines.rs_value = regs_[d.rs], lines.rt_value = regs_[d.rt], lines.hi_before = hi_, lines.lo_before = lo_;
  // At most two new exceptions: a failed fetch, then this instruction's or
  // one taken right after it. Oldest first.
  const uint64_t fresh = std::min<uint64_t>(cpu.exceptions_taken - exceptions_seen_, 2);
  exceptions_seen_ = cpu.exceptions_taken;
  bool raised = false;  // by this instruction, whose writes are then undone
  for (uint64_t age = fresh; age > 0; --age) {
    const ExceptionRecord& e = cpu.recent_exceptions[(cpu.exceptions_taken - age + 1) % 2];
    if (before_instruction(e)) {
      lines.before = exception_line(e), lines.has_before = true;
    } else {
      lines.after = exception_line(e), lines.has_after = true;
      raised = lines.raised = !e.after_instruction;
    }
  }
  TraceRecord& r = lines.instruction;
  r = TraceRecord{};
  r.pc = cpu.pc;
  r.word = d.word;
  const Destinations own = destinations_of(d);
  if (!raised) {
    r.add_register_write(own.reg, cpu.regs[own.reg]);
    r.writes_hi = own.hi, r.hi = cpu.hi;
    r.writes_lo = own.lo, r.lo = cpu.lo;
    if (is_store(d.action)) {
      // What was stored, not what the registers say now: a processor that
      // stored a stale or wrong value shows it at the store.
      const uint32_t value = cpu.stored_value;
      r.stores = true;
      r.store.width = cpu.stored_width == Width::byte ? 'b' : cpu.stored_width == Width::half ? 'h' : 'w';
      r.store.address = cpu.stored_address;  // swl, swr: the aligned word, merged
      r.store.value = r.store.width == 'b' ? value & 0xFF : r.store.width == 'h' ? value & 0xFFFF : value;
    }
    // An mtc0 to a register that drops writes leaves written_reg as it was.
    r.writes_cop0 = d.action == Action::rfe || (d.action == Action::mtc0 && cpu.cop0.written_reg == d.rd);
    if (r.writes_cop0) {
      r.cop0_reg = cpu.cop0.written_reg;
      r.cop0_value = cpu.cop0.written_value;
    }
  }
  // Any other register that changed: one comparison of the whole file in
  // the usual case that none did (a lock-step checker pays this per step).
  regs_[own.reg] = cpu.regs[own.reg];
  if (!faultless_ && std::memcmp(regs_.data(), cpu.regs.data(), sizeof regs_) != 0) {
    for (unsigned reg = 1; reg < 32; ++reg)
      if (cpu.regs[reg] != regs_[reg]) r.add_register_write(reg, cpu.regs[reg]);
    regs_ = cpu.regs;
  }
  if (cpu.hi != hi_) r.writes_hi = true, r.hi = cpu.hi;
  if (cpu.lo != lo_) r.writes_lo = true, r.lo = cpu.lo;
  hi_ = cpu.hi, lo_ = cpu.lo;
}

bool TraceRecorder::pending_exception(const RunResult& result, TraceRecord& exception) const {
  if (exceptions_seen_ != 0 || !result.exception) return false;
  exception = exception_line(*result.exception);
  return true;
}

TraceWriter::TraceWriter(Sink sink) : sink_(std::move(sink)), buffer_(1 << 16) {
  std::memcpy(buffer_.data(), kTraceVersionLine.data(), kTraceVersionLine.size());
  used_ = kTraceVersionLine.size();
  buffer_[used_++] = '\n';
}

void TraceWriter::on_instruction(const Cpu& cpu, const Decoded& decoded) {
  recorder_.record(cpu, decoded, pending_);
  if (pending_.has_before) put(pending_.before);
  put(pending_.instruction);
  if (pending_.has_after) put(pending_.after);
}

void TraceWriter::finish(const RunResult& result) {
  if (recorder_.pending_exception(result, pending_.after)) put(pending_.after);
  flush();
}

void TraceWriter::put(const TraceRecord& record) {
  if (buffer_.size() - used_ < kMaxTraceLine + 1) flush();
  used_ += format_trace_record(record, buffer_.data() + used_);
  buffer_[used_++] = '\n';
  ++lines_;
}

void TraceWriter::flush() {
  if (used_ != 0) sink_(buffer_.data(), used_);
  used_ = 0;
}

}  // namespace r3k::sim
