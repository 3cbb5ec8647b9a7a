#include "sim/trace.h"

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

char width_letter(Action action) {
  switch (action) {
    case Action::sb: return 'b';
    case Action::sh: return 'h';
    default: return 'w';
  }
}

bool is_store(Action action) {
  return action == Action::sb || action == Action::sh || action == Action::sw || action == Action::swl ||
         action == Action::swr;
}

}  // namespace

Destinations destinations_of(const Decoded& d) {
  if (d.action >= Action::reserved) return {};
  const isa::OpInfo& row = isa::info(d.op());  // the instruction table's word on what each writes
  uint8_t reg = 0;
  switch (row.destination) {
    case isa::Destination::rd: reg = d.rd; break;
    case isa::Destination::rt: reg = d.rt; break;
    case isa::Destination::ra: reg = isa::ra; break;
    case isa::Destination::none: break;
  }
  return {reg, row.writes_hi(), row.writes_lo()};
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
  }
  return "?";
}

bool parse_exception_code(std::string_view code, Cause& cause) {
  for (const Cause candidate : {Cause::AddressErrorLoad, Cause::AddressErrorStore, Cause::BusErrorFetch,
                                Cause::BusErrorLoad, Cause::Syscall, Cause::Breakpoint, Cause::ReservedInstruction,
                                Cause::ArithmeticOverflow})
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
  return static_cast<size_t>(p - out);
}

std::string format_trace_record(const TraceRecord& record) {
  char line[kMaxTraceLine];
  return std::string(line, format_trace_record(record, line));
}

bool TraceRecorder::record(const Cpu& cpu, const Decoded& d, TraceRecord& r, TraceRecord& exception) {
  r = TraceRecord{};
  r.pc = cpu.pc;
  r.word = d.word;
  const bool raised = cpu.exception.has_value() && !exception_seen_;
  const Destinations own = destinations_of(d);
  if (!raised) {
    r.add_register_write(own.reg, cpu.regs[own.reg]);
    r.writes_hi = own.hi, r.hi = cpu.hi;
    r.writes_lo = own.lo, r.lo = cpu.lo;
    if (is_store(d.action)) {
      const uint32_t address = cpu.reg(d.rs) + d.imm, value = cpu.reg(d.rt);
      r.stores = true;
      r.store.width = width_letter(d.action);
      if (d.action == Action::swl || d.action == Action::swr) {
        r.store.address = address & ~3u;
        const uint8_t* word = cpu.bus().ram_at(r.store.address);
        r.store.value = word ? load_le32(word) : 0;
      } else {
        r.store.address = address;
        r.store.value = r.store.width == 'b' ? value & 0xFF : r.store.width == 'h' ? value & 0xFFFF : value;
      }
    }
  }
  for (unsigned reg = 1; reg < 32; ++reg)
    if (cpu.regs[reg] != regs_[reg] && reg != own.reg) r.add_register_write(reg, cpu.regs[reg]);
  if (cpu.hi != hi_) r.writes_hi = true, r.hi = cpu.hi;
  if (cpu.lo != lo_) r.writes_lo = true, r.lo = cpu.lo;
  regs_ = cpu.regs, hi_ = cpu.hi, lo_ = cpu.lo;
  if (!raised) return false;
  exception_seen_ = true;
  exception = TraceRecord{};
  exception.is_exception = true;
  exception.pc = cpu.exception->pc;
  exception.cause = cpu.exception->cause;
  exception.bad_address = cpu.exception->bad_address;
  return true;
}

bool TraceRecorder::pending_exception(const RunResult& result, TraceRecord& exception) const {
  if (exception_seen_ || !result.exception) return false;
  exception = TraceRecord{};
  exception.is_exception = true;
  exception.pc = result.exception->pc;
  exception.cause = result.exception->cause;
  exception.bad_address = result.exception->bad_address;
  return true;
}

TraceWriter::TraceWriter(Sink sink) : sink_(std::move(sink)), buffer_(1 << 16) {
  std::memcpy(buffer_.data(), kTraceVersionLine.data(), kTraceVersionLine.size());
  used_ = kTraceVersionLine.size();
  buffer_[used_++] = '\n';
}

void TraceWriter::on_instruction(const Cpu& cpu, const Decoded& decoded) {
  const bool raised = recorder_.record(cpu, decoded, record_, exception_);
  put(record_);
  if (raised) put(exception_);
}

void TraceWriter::finish(const RunResult& result) {
  if (recorder_.pending_exception(result, exception_)) put(exception_);
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
