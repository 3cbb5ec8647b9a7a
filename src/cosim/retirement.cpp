#include "cosim/retirement.h"

#include <cstdio>

namespace r3k::cosim {
namespace {

using sim::Cause;

// The cause a record's exception code stands for: a code the processor
// shares between a fetch and a data access reads as the data access's
// (the comparison treats the two alike).
bool cause_of_code(uint32_t code, Cause& cause) {
  for (const Cause c : {Cause::Interrupt, Cause::AddressErrorLoad, Cause::AddressErrorStore, Cause::BusErrorFetch,
                        Cause::BusErrorLoad, Cause::Syscall, Cause::Breakpoint, Cause::ReservedInstruction,
                        Cause::CoprocessorUnusable, Cause::ArithmeticOverflow})
    if (sim::exc_code(c) == code) return cause = c, true;
  return false;
}

uint32_t code_of_cause(Cause cause) { return sim::exc_code(cause); }

uint32_t lane_bits(uint32_t mask) {
  uint32_t bits = 0;
  for (unsigned lane = 0; lane < 4; ++lane)
    if (mask & (1u << lane)) bits |= 0xFFu << (8 * lane);
  return bits;
}

std::string hex(uint32_t value, const char* format = "%08x") {
  char text[16];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// The store as the trace shows it: the bytes at their address for sb, sh and
// sw; for swl and swr the whole word after the merge, which the record's
// lanes give over the reference's word.
sim::StoreWrite store_of(const r3k_cosim_record& in, const Expected& expected) {
  const uint32_t aligned = in.store_addr & ~3u, mask = in.store_mask & 0xF;
  const sim::TraceRecord& e = expected.record;
  const bool merges = e.stores && e.store.width == 'w' && expected.store_mask != 0xF;
  if (merges && e.store.address == aligned) {
    const uint32_t bits = lane_bits(mask);
    return {aligned, 'w', (e.store.value & ~bits) | (in.store_data & bits)};
  }
  const unsigned first = static_cast<unsigned>(__builtin_ctz(mask));
  if (mask == (1u << first)) return {aligned + first, 'b', (in.store_data >> (8 * first)) & 0xFF};
  if (mask == 0x3 || mask == 0xC) return {aligned + first, 'h', (in.store_data >> (8 * first)) & 0xFFFF};
  return {aligned, 'w', in.store_data & lane_bits(mask)};
}

}  // namespace

void to_design_line(const r3k_cosim_record& in, uint32_t reports, const Expected& expected, trace::DesignLine& line) {
  const sim::TraceRecord& e = expected.record;
  sim::TraceRecord& r = line.record;
  line.has_word = (reports & R3K_COSIM_REPORTS_WORD) != 0;
  line.has_writes = true;
  line.has_reg = line.has_value = false;
  r = sim::TraceRecord{};
  r.pc = in.pc;
  if (in.exception && (reports & R3K_COSIM_REPORTS_EXCEPTION)) {
    r.is_exception = true;
    if (!cause_of_code(in.cause, r.cause)) r.cause = e.cause;  // compare_port_extras names the code
    r.bad_address = in.bad_addr;
    return;
  }
  r.word = line.has_word ? in.word : e.word;
  if (reports & R3K_COSIM_REPORTS_REG) r.add_register_write(in.rd & 31, in.rd_value);
  else r.regs = e.regs, r.reg_count = e.reg_count;
  if (reports & R3K_COSIM_REPORTS_HI_LO) {
    r.writes_hi = in.hi_written != 0, r.hi = in.hi;
    r.writes_lo = in.lo_written != 0, r.lo = in.lo;
  } else {
    r.writes_hi = e.writes_hi, r.hi = e.hi, r.writes_lo = e.writes_lo, r.lo = e.lo;
  }
  if (!(reports & R3K_COSIM_REPORTS_STORE)) r.stores = e.stores, r.store = e.store;
  else if ((r.stores = (in.store_mask & 0xF) != 0)) r.store = store_of(in, expected);
}

void compare_port_extras(const r3k_cosim_record& in, uint32_t reports, const Expected& expected,
                         std::vector<std::string>& out) {
  const sim::TraceRecord& e = expected.record;
  Cause cause;
  if (in.exception && (reports & R3K_COSIM_REPORTS_EXCEPTION)) {
    if (!cause_of_code(in.cause, cause))
      out.push_back("exception code " + std::to_string(in.cause) + ": no exception the reference raises");
    return;
  }
  if (e.is_exception || in.pc != e.pc) return;  // compare_line says it all
  const uint32_t mask = in.store_mask & 0xF;
  if ((reports & R3K_COSIM_REPORTS_STORE) && mask && e.stores && mask != expected.store_mask)
    out.push_back("store byte lanes: design " + hex(mask, "0x%x") + ", expected " + hex(expected.store_mask, "0x%x"));
  if (!(reports & R3K_COSIM_REPORTS_LOAD)) return;
  if (expected.loads && !in.load_valid)
    out.push_back("load: the design reports none, expected one from " + hex(expected.load_address));
  else if (expected.loads && in.load_addr != expected.load_address)
    out.push_back("load address: design " + hex(in.load_addr) + ", expected " + hex(expected.load_address));
  else if (!expected.loads && in.load_valid)
    out.push_back("load: design from " + hex(in.load_addr) + ", the reference's instruction loads nothing");
}

r3k_cosim_record retirement_of(const Expected& e) {
  r3k_cosim_record out{};
  const sim::TraceRecord& r = e.record;
  out.pc = r.pc;
  out.word = r.word;
  if (r.reg_count) out.rd = r.regs[0].reg, out.rd_value = r.regs[0].value;
  out.hi_written = r.writes_hi, out.hi = r.hi;
  out.lo_written = r.writes_lo, out.lo = r.lo;
  if (r.stores) {
    out.store_mask = e.store_mask;
    out.store_addr = r.store.address & ~3u;
    const unsigned shift = 8 * (r.store.address & 3);
    out.store_data = r.store.width == 'w' ? r.store.value : r.store.value << shift;
  }
  out.load_valid = e.loads, out.load_addr = e.load_address;
  return out;
}

r3k_cosim_record retirement_of_exception(const sim::TraceRecord& exception) {
  r3k_cosim_record out{};
  out.pc = exception.pc;
  out.exception = 1;
  out.cause = code_of_cause(exception.cause);
  out.bad_addr = exception.bad_address;
  return out;
}

}  // namespace r3k::cosim
