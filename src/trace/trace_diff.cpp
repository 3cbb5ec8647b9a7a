#include "trace/trace_diff.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "trace/culprit.h"

namespace r3k::trace {
namespace {

using sim::TraceRecord;

std::string hex8(uint32_t value) {
  char text[12];
  std::snprintf(text, sizeof text, "%08x", value);
  return text;
}

// The writes part of a line: "$v0=00000001 hi=00000002", or "none".
std::string writes_text(const TraceRecord& record) {
  const std::string line = sim::format_trace_record(record);
  return line.size() > 18 ? line.substr(18) : "none";
}

std::string exception_text(const TraceRecord& record) {
  return sim::format_trace_record(record).substr(std::string_view("exception ").size());
}

// In register order, the unused entries empty: equal for records that write
// the same registers with the same values. No allocation: a lock-step
// checker compares a line per retired instruction.
std::array<sim::RegisterWrite, 4> sorted_writes(const TraceRecord& record) {
  std::array<sim::RegisterWrite, 4> writes{};
  std::copy_n(record.regs.begin(), record.reg_count, writes.begin());
  for (size_t i = 1; i < record.reg_count; ++i)  // at most four: std::sort draws a false -Warray-bounds from g++ 12
    for (size_t j = i; j > 0 && writes[j - 1].reg > writes[j].reg; --j) std::swap(writes[j - 1], writes[j]);
  return writes;
}

bool same_register_writes(const TraceRecord& a, const TraceRecord& b) {
  if (a.reg_count != b.reg_count) return false;
  if (a.reg_count <= 1) return a.reg_count == 0 || a.regs[0] == b.regs[0];  // nearly every line
  return sorted_writes(a) == sorted_writes(b);
}

std::string register_text(unsigned reg) { return reg == 0 ? "none" : std::string(isa::reg_name(reg)); }

// Thrown out of the run to end it at a verdict.
struct StopRun {};

class Comparer {
 public:
  Comparer(DesignTrace& design, const DiffOptions& options)
      : design_(design),
        options_(options),
        recorder_(options.run.fault.active() ? sim::TraceRecorder::Run::any : sim::TraceRecorder::Run::faultless),
        covered_(options.routine_entries.size()) {}

  void on_instruction(const sim::Cpu& cpu, const sim::Decoded& decoded) {
    index_ = cpu.instructions;
    recorder_.record(cpu, decoded, lines_);
    if (lines_.has_before) check_exception(lines_.before);
    note_coverage(lines_.instruction.pc);
    if (!skipped(lines_.instruction) && !exception_in_its_place()) check(lines_.instruction);
    if (lines_.has_after) check_exception(lines_.after);
    note_transfer();
  }

  // A design that retires an exception instead of the instruction that
  // raised it (as a retirement port does) shows only the exception's line.
  bool exception_in_its_place() {
    const DesignLine* next = nullptr;
    return lines_.raised && design_.peek(next) == DesignTrace::Status::line && next->record.is_exception &&
           next->record.pc == lines_.instruction.pc;
  }

  // An exception line is compared when the design's trace has one there;
  // a trace that leaves exceptions out goes on with the next instruction.
  void check_exception(const TraceRecord& exception) {
    const DesignLine* next = nullptr;
    if (design_.peek(next) == DesignTrace::Status::line && next->record.is_exception) check(exception);
  }

  void check(const TraceRecord& expected) {
    switch (design_.next(line_)) {
      case DesignTrace::Status::end: outcome_.expected = expected, stop_ended();
      case DesignTrace::Status::error: stop(DiffOutcome::Verdict::unreadable, design_.error());
      case DesignTrace::Status::line: break;
    }
    std::vector<std::string> differences = compare_line(line_, expected);
    if (!differences.empty()) {
      outcome_.culprit = culprit(expected);
      outcome_.design = line_;
      outcome_.expected = expected;
      outcome_.reference_index = index_;
      outcome_.differences = std::move(differences);
      stop(DiffOutcome::Verdict::divergence, "");
    }
    agreed_[outcome_.compared % agreed_.size()] = {line_.number, expected};
    ++outcome_.compared;
  }

  sim::TraceRecorder& recorder() { return recorder_; }

  DiffOutcome finish(DiffOutcome::Verdict verdict) {
    outcome_.verdict = verdict;
    outcome_.routines_covered = static_cast<size_t>(std::count(covered_.begin(), covered_.end(), true));
    const uint64_t kept = std::min<uint64_t>(outcome_.compared, agreed_.size());
    for (uint64_t i = outcome_.compared - kept; i < outcome_.compared; ++i)
      outcome_.agreed.push_back(agreed_[i % agreed_.size()]);
    return std::move(outcome_);
  }
  DiffOutcome::Verdict stopped_with() const { return stopped_with_; }

 private:
  bool skipped(const TraceRecord& record) const {
    if (!options_.writes_only) return false;
    return design_.key_value_shape() ? record.reg_count == 0 : record.writes_nothing();
  }

  // The last branch or jump, with its sources (which it does not write,
  // but for a link register that is also its source), and the last address.
  void note_transfer() {
    ++executed_;
    previous_pc_ = lines_.instruction.pc;
    if (!is_control_transfer(lines_.instruction.word)) return;
    transfer_ = lines_.instruction;
    transfer_number_ = executed_;
    transfer_sources_ = sources();
  }

  SourceValues sources() const { return {lines_.rs_value, lines_.rt_value, lines_.hi_before, lines_.lo_before}; }

  // Elsewhere: the transfer that decided it; another value: what the
  // instruction read.
  std::string culprit(const TraceRecord& expected) const {
    if (expected.is_exception || line_.record.is_exception) return "";
    if (line_.record.pc == expected.pc)
      return &expected == &lines_.instruction ? operand_culprit(expected, executed_ + 1, sources()) : "";
    if (transfer_number_ == 0 || previous_pc_ != transfer_.pc + 4) return "";
    return control_culprit(transfer_, transfer_number_, transfer_sources_, expected.pc);
  }

  void note_coverage(uint32_t pc) {
    const auto& entries = options_.routine_entries;
    const auto it = std::lower_bound(entries.begin(), entries.end(), pc);
    if (it != entries.end() && *it == pc) covered_[static_cast<size_t>(it - entries.begin())] = true;
  }

  [[noreturn]] void stop(DiffOutcome::Verdict verdict, std::string reason) {
    stopped_with_ = verdict;
    outcome_.reason = std::move(reason);
    throw StopRun{};
  }

  [[noreturn]] void stop_ended() {
    const uint64_t lines = design_.lines_read();
    std::string reason;
    if (lines == 0) reason = "the design's trace is empty";
    else if (outcome_.compared == 0 && design_.key_value_shape())
      reason = "none of its " + std::to_string(lines) + " lines has the address key";
    else if (outcome_.compared == 0) reason = "none of its " + std::to_string(lines) + " lines is an instruction";
    else
      reason = "the design's trace ends after line " + std::to_string(lines) + " (" +
               std::to_string(outcome_.compared) + " instructions agreed), before the reference run reached the end loop";
    stop(DiffOutcome::Verdict::design_ended, reason);
  }

  DesignTrace& design_;
  const DiffOptions& options_;
  sim::TraceRecorder recorder_;
  sim::TraceLines lines_;
  TraceRecord transfer_;
  uint64_t executed_ = 0, transfer_number_ = 0;  // instructions of the reference's run
  SourceValues transfer_sources_;
  uint32_t previous_pc_ = 0;
  DesignLine line_;
  std::array<AgreedLine, kAgreedLinesKept> agreed_{};
  std::vector<bool> covered_;
  DiffOutcome outcome_;
  uint64_t index_ = 0;
  DiffOutcome::Verdict stopped_with_ = DiffOutcome::Verdict::match;
};

void compare_key_value(const DesignLine& design, const TraceRecord& expected, std::vector<std::string>& out) {
  const unsigned expected_reg = expected.reg_count ? expected.regs[0].reg : 0;
  const unsigned design_reg = design.record.reg_count ? design.record.regs[0].reg : 0;
  if (design.has_reg && design_reg != expected_reg)
    out.push_back("register written: design " + register_text(design_reg) + ", expected " + register_text(expected_reg));
  const bool value_matters = expected_reg != 0 && (!design.has_reg || design_reg == expected_reg);
  if (design.has_value && value_matters && design.value != expected.regs[0].value)
    out.push_back("value written to " + register_text(expected_reg) + ": design " + hex8(design.value) +
                  ", expected " + hex8(expected.regs[0].value));
}

void compare_writes(const TraceRecord& design, const TraceRecord& expected, std::vector<std::string>& out) {
  if (!same_register_writes(design, expected)) {
    TraceRecord d = design, e = expected;
    d.writes_hi = d.writes_lo = d.stores = e.writes_hi = e.writes_lo = e.stores = false;
    d.writes_cop0 = e.writes_cop0 = false;
    out.push_back("register writes: design " + writes_text(d) + ", expected " + writes_text(e));
  }
  if (design.writes_hi != expected.writes_hi || design.writes_lo != expected.writes_lo ||
      (design.writes_hi && design.hi != expected.hi) || (design.writes_lo && design.lo != expected.lo)) {
    TraceRecord d = design, e = expected;
    d.reg_count = e.reg_count = 0, d.stores = e.stores = false;
    d.writes_cop0 = e.writes_cop0 = false;
    out.push_back("HI/LO: design " + writes_text(d) + ", expected " + writes_text(e));
  }
  if (design.stores != expected.stores || (design.stores && !(design.store == expected.store))) {
    TraceRecord d = design, e = expected;
    d.reg_count = e.reg_count = 0, d.writes_hi = d.writes_lo = e.writes_hi = e.writes_lo = false;
    d.writes_cop0 = e.writes_cop0 = false;
    out.push_back("store: design " + writes_text(d) + ", expected " + writes_text(e));
  }
  // Where the design's line shows one: a trace printer or retirement port
  // often cannot see coprocessor 0, and what mtc0 and rfe wrote shows in the
  // exceptions that follow.
  if (design.writes_cop0 && (!expected.writes_cop0 || design.cop0_reg != expected.cop0_reg ||
                             design.cop0_value != expected.cop0_value)) {
    TraceRecord d = design, e = expected;
    d.reg_count = e.reg_count = 0, d.writes_hi = d.writes_lo = e.writes_hi = e.writes_lo = false;
    d.stores = e.stores = false;
    out.push_back("coprocessor 0: design " + writes_text(d) + ", expected " + writes_text(e));
  }
}

}  // namespace

std::vector<std::string> compare_line(const DesignLine& design, const TraceRecord& expected) {
  std::vector<std::string> out;
  const TraceRecord& d = design.record;
  if (d.is_exception && !expected.is_exception) {
    out.push_back("the design takes an exception (" + exception_text(d) + ") where the reference executes the instruction at " + hex8(expected.pc));
    return out;
  }
  if (!d.is_exception && expected.is_exception) {
    out.push_back("the reference takes an exception here (" + exception_text(expected) + "); the design goes on at " + hex8(d.pc));
    return out;
  }
  if (d.is_exception) {
    // What the design's line leaves out (the address, epc, ce) is not compared.
    const bool handled = expected.handled;
    if (!sim::same_exception_code(d.cause, expected.cause) || d.pc != expected.pc ||
        // A fetch's bad address is its pc, which the line leaves out; the
        // reader cannot tell a fetch AdEL from a load's, so the reference says.
        (sim::has_bad_address(expected.cause) && d.bad_address != expected.bad_address &&
         exception_text(d).find("address=") != std::string::npos) ||
        (handled && design.has_epc && d.epc != expected.epc) ||
        (handled && design.has_ce && d.coprocessor != expected.coprocessor))
      out.push_back("exception: design " + exception_text(d) + ", expected " + exception_text(expected));
    return out;
  }
  if (d.pc != expected.pc) {
    out.push_back("address: design " + hex8(d.pc) + ", expected " + hex8(expected.pc));
    return out;  // the rest of a line at another address says nothing more
  }
  if (design.has_word && d.word != expected.word)
    out.push_back("instruction word: design " + hex8(d.word) + ", expected " + hex8(expected.word));
  if (design.has_writes) compare_writes(d, expected, out);
  else compare_key_value(design, expected, out);
  return out;
}

DiffOutcome diff_trace(sim::Machine& machine, DesignTrace& design, const DiffOptions& options) {
  Comparer comparer(design, options);
  sim::RunResult result;
  try {
    result = machine.run(options.run, comparer);
    // A fetch that failed never issued an instruction: its exception line.
    TraceRecord pending;
    if (comparer.recorder().pending_exception(result, pending)) comparer.check_exception(pending);
  } catch (const StopRun&) {
    return comparer.finish(comparer.stopped_with());
  }
  if (result.stop == sim::StopReason::InstructionLimit) {
    DiffOutcome outcome = comparer.finish(DiffOutcome::Verdict::reference_limit);
    outcome.reason = "the reference run reached its limit of " + std::to_string(options.run.max_instructions) +
                     " instructions with the design's trace in step";
    return outcome;
  }
  DiffOutcome outcome = comparer.finish(DiffOutcome::Verdict::match);
  outcome.stop = result.stop;
  return outcome;
}

}  // namespace r3k::trace
