// The commit trace: one line per instruction the processor completed, with
// what it wrote (registers, HI/LO, memory), and a line of its own for an
// exception. The reference simulator writes it through TraceWriter; trace-diff
// reads a design's trace in the same format.
//
//   r3kcheck-trace 1
//   bfc003a8 3c130000 $s3=00000000
//   bfc00a10 00850018 hi=00000000 lo=0001e240
//   bfc00a34 ad2a0004 [80000104]w=12345678
//   bfc00904 00851020
//   exception Ov pc=bfc00904
//
// In an image that handles its exceptions, the exception line also gives
// where the handler returns to, and the coprocessor of a CpU; mtc0 and rfe
// show the coprocessor-0 register they change, by objdump's R3000 name:
//   bfc02008 40886000 c0_sr=0000ff01
//   exception Int pc=bfc0200c epc=bfc0200c
//   bfc02100 44000000
//   exception CpU pc=bfc02100 ce=1 epc=bfc02100
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/cpu.h"
#include "sim/decoded.h"
#include "sim/exception.h"
#include "sim/machine.h"

namespace r3k::sim {

inline constexpr std::string_view kTraceVersionLine = "r3kcheck-trace 1";

struct RegisterWrite {
  uint8_t reg = 0;  // never 0: a write to $zero is no write
  uint32_t value = 0;
  friend bool operator==(const RegisterWrite&, const RegisterWrite&) = default;
};

// A store: the bytes written, at their address. swl and swr show the aligned
// word they merge into, as it is after the merge, with width 'w'.
struct StoreWrite {
  uint32_t address = 0;
  char width = 'w';  // 'b', 'h' or 'w'
  uint32_t value = 0;
  friend bool operator==(const StoreWrite&, const StoreWrite&) = default;
};

// One line of the trace: an instruction, or the exception an instruction (or
// a fetch) raised.
struct TraceRecord {
  bool is_exception = false;
  uint32_t pc = 0;
  uint32_t word = 0;
  // Instruction lines: the destination first; a faulty processor may add others.
  std::array<RegisterWrite, 4> regs{};
  uint8_t reg_count = 0;
  bool writes_hi = false, writes_lo = false;
  uint32_t hi = 0, lo = 0;
  bool stores = false;
  StoreWrite store;
  bool writes_cop0 = false;  // mtc0, rfe: the register and its value after the write
  uint8_t cop0_reg = 0;
  uint32_t cop0_value = 0;
  // Exception lines.
  Cause cause = Cause::ReservedInstruction;
  uint32_t bad_address = 0;
  bool handled = false;  // entered a handler: the line gives epc (and ce)
  uint32_t epc = 0;
  uint8_t coprocessor = 0;

  bool writes_nothing() const {
    return !is_exception && reg_count == 0 && !writes_hi && !writes_lo && !stores && !writes_cop0;
  }
  void add_register_write(unsigned reg, uint32_t value) {
    if (reg != 0 && reg_count < regs.size()) regs[reg_count++] = {static_cast<uint8_t>(reg), value};
  }
};

// What an instruction writes by its kind: the register it names as its
// destination (0 for none), and HI and LO, from the instruction table.
struct Destinations {
  uint8_t reg = 0;
  bool hi = false, lo = false;
};
Destinations destinations_of(const Decoded& decoded);

// The exception code names of the trace: Int, AdEL, AdES, IBE, DBE, Sys, Bp, RI, CpU, Ov.
std::string_view exception_code(Cause cause);
// "AdEL" for a load gives AddressErrorLoad; a fetch error reads back as the load's.
bool parse_exception_code(std::string_view code, Cause& cause);
// The same code for the kinds the trace does not tell apart (a fetch and a load address error).
inline bool same_exception_code(Cause a, Cause b) { return exception_code(a) == exception_code(b); }

inline constexpr size_t kMaxTraceLine = 192;
// Writes the line for `record` (no newline) into `out`, which holds
// kMaxTraceLine bytes; returns its length.
size_t format_trace_record(const TraceRecord& record, char* out);
std::string format_trace_record(const TraceRecord& record);

// The lines one instruction gives: the exception of its fetch, if that
// failed first (the vector's instruction follows), its own line, and the
// exception it raised or that was taken right after it.
struct TraceLines {
  TraceRecord before, instruction, after;
  bool has_before = false, has_after = false;
  // The exception after it is the instruction's own, taken in its place (not
  // an interrupt or a fetch user mode cannot make, taken once it completed).
  bool raised = false;
  // What the instruction found in its sources (the registers its rs and rt
  // fields name, HI and LO) before it ran.
  uint32_t rs_value = 0, rt_value = 0, hi_before = 0, lo_before = 0;
};

// Builds the records of a run from what the processor looks like after each
// instruction: the instruction's own writes, plus any other register or
// HI/LO change since the previous one (only a faulty processor makes those,
// e.g. a load that lands an instruction late).
class TraceRecorder {
 public:
  // A processor without a fault changes no register but the one the
  // instruction table names, so the recorder of such a run need not look
  // for others (the one comparison per instruction a lock-step checker saves).
  enum class Run : uint8_t { any, faultless };
  explicit TraceRecorder(Run run = Run::any) : faultless_(run == Run::faultless) {}

  void record(const Cpu& cpu, const Decoded& decoded, TraceLines& lines);
  // A fetch exception that ended the run never issues an instruction: its
  // line, if no instruction line has shown it yet.
  bool pending_exception(const RunResult& result, TraceRecord& exception) const;

 private:
  std::array<uint32_t, 32> regs_{};
  uint32_t hi_ = 0, lo_ = 0;
  uint64_t exceptions_seen_ = 0;
  bool faultless_ = false;
};

// An observer of Machine::run that writes the trace through `sink` in large
// pieces, starting with the version line.
class TraceWriter {
 public:
  using Sink = std::function<void(const char* bytes, size_t size)>;
  explicit TraceWriter(Sink sink);

  void on_instruction(const Cpu& cpu, const Decoded& decoded);
  // Writes a fetch exception's line, then whatever is still buffered.
  void finish(const RunResult& result);
  uint64_t lines() const { return lines_; }

 private:
  void put(const TraceRecord& record);
  void flush();

  Sink sink_;
  TraceRecorder recorder_;
  TraceLines pending_;
  std::vector<char> buffer_;
  size_t used_ = 0;
  uint64_t lines_ = 0;
};

}  // namespace r3k::sim
