#include "cosim/checker.h"

#include "common/error.h"
#include "cosim/retirement.h"
#include "report/image_file.h"
#include "report/places.h"
#include "report/verdict.h"
#include "trace/culprit.h"
#include "trace/trace_diff.h"

namespace r3k::cosim {
namespace {

sim::RunOptions run_options(const r3k_cosim_options& options) {
  sim::RunOptions run;
  run.quick_run_flag = options.quick_run_flag;
  run.max_instructions = options.max_instructions;
  return run;
}

constexpr size_t kRecordsShown = 8;

}  // namespace

Checker::Checker(const std::string& image_path, const r3k_cosim_options& options)
    : image_path_(image_path),
      options_(options),
      elf_(elf::read_elf_file(image_path)),
      names_(elf_.symbols),
      machine_(elf_.boot),
      stream_(machine_, run_options(options)) {}

bool Checker::skipped(const Expected& e) const {
  const uint32_t reports = options_.reports;
  if (e.record.is_exception) return !(reports & R3K_COSIM_REPORTS_EXCEPTION);
  if (!options_.writes_only) return false;
  const sim::TraceRecord& r = e.record;
  return !((reports & R3K_COSIM_REPORTS_REG) && r.reg_count) &&
         !((reports & R3K_COSIM_REPORTS_HI_LO) && (r.writes_hi || r.writes_lo)) &&
         !((reports & R3K_COSIM_REPORTS_STORE) && r.stores);
}

// A core reports an exception in place of the instruction that raised it;
// the reference has a line for each.
const Expected* Checker::expected_for(bool design_exception) {
  for (;;) {
    const Expected* e = stream_.peek();
    if (!e) return nullptr;
    if (skipped(*e)) {
      stream_.take();
      continue;
    }
    if (design_exception && !e->record.is_exception) {
      const Expected* second = stream_.peek_second();
      if (second && second->record.is_exception && second->record.pc == e->record.pc) {
        stream_.take();
        continue;
      }
    }
    return e;
  }
}

bool Checker::run_over() {
  for (;;) {
    const Expected* e = stream_.peek();
    if (!e) return true;
    if (!skipped(*e)) return false;
    stream_.take();
  }
}

int Checker::step(const r3k_cosim_record& record) {
  if (state_ != R3K_COSIM_IN_STEP)
    throw Error(state_ == R3K_COSIM_MISMATCH ? "a record after the mismatch the checker stopped at"
                                             : "a record after the end of the reference run");
  ++steps_;
  const bool design_exception = record.exception && (options_.reports & R3K_COSIM_REPORTS_EXCEPTION);
  const Expected* expected = expected_for(design_exception);
  if (!expected) return mismatch(nullptr, {"the reference run was over before this record"});
  if (reports_the_same(record, options_.reports, *expected)) [[likely]] {
    stream_.take();
    return run_over() ? finish() : R3K_COSIM_IN_STEP;
  }
  to_design_line(record, options_.reports, *expected, line_);
  differences_.clear();
  compare_port_extras(record, options_.reports, *expected, differences_);
  if (std::vector<std::string> line_differences = trace::compare_line(line_, expected->record);
      !line_differences.empty() || !differences_.empty()) {
    line_differences.insert(line_differences.end(), differences_.begin(), differences_.end());
    return mismatch(expected, std::move(line_differences));
  }
  stream_.take();
  return run_over() ? finish() : R3K_COSIM_IN_STEP;
}

int Checker::finish() {
  const sim::RunResult& result = stream_.result();
  const report::RunReport run{result, names_, stream_.display(), image_path_, options_.max_instructions};
  verdict_ = report::verdict_line(run);
  switch (result.stop) {
    case sim::StopReason::Finished: state_ = R3K_COSIM_END_LOOP; break;
    case sim::StopReason::ExceptionLoop: state_ = R3K_COSIM_EXCEPTION_LOOP; break;
    case sim::StopReason::InstructionLimit: state_ = R3K_COSIM_LIMIT; break;
  }
  return state_;
}

int Checker::mismatch(const Expected* expected, std::vector<std::string> differences) {
  state_ = R3K_COSIM_MISMATCH;
  report_ = "MISMATCH at retirement " + std::to_string(steps_) + " of the core";
  if (expected) report_ += ", record " + std::to_string(expected->number) + " of the reference run";
  report_ += "\n  core:     " + sim::format_trace_record(line_.record) + "\n";
  if (expected) report_ += "  expected: " + sim::format_trace_record(expected->record) + "\n";
  for (const std::string& difference : differences) report_ += "  differs:  " + difference + "\n";
  if (expected) report_ += culprit_of(*expected);
  const uint32_t pc = expected ? expected->record.pc : line_.record.pc;
  report_ += "  place:    " + place_of(pc);
  std::string shown;
  size_t count = 0;
  for (uint64_t back = kRecordsShown; back >= 1; --back)
    if (const Expected* e = stream_.taken(back)) {
      shown += "    record " + std::to_string(e->number) + "  " + sim::format_trace_record(e->record) + "\n";
      ++count;
    }
  if (count) report_ += "  the reference's last " + std::to_string(count) + " records before it:\n" + shown;
  return state_;
}

// At another address than the reference's: the branch or jump before the
// last delay slot sent one of them elsewhere. Another value: what the
// reference's instruction read.
std::string Checker::culprit_of(const Expected& expected) const {
  if (expected.record.is_exception || line_.record.is_exception) return "";
  auto sources = [](const Expected& e) { return trace::SourceValues{e.rs_value, e.rt_value, e.hi_before, e.lo_before}; };
  auto line = [](const std::string& text) { return text.empty() ? text : "  culprit:  " + text + "\n"; };
  if (line_.record.pc == expected.record.pc)
    return line(trace::operand_culprit(expected.record, expected.number, sources(expected)));
  const Expected* slot = stream_.taken(1);
  const Expected* transfer = stream_.taken(2);
  if (!slot || !transfer || transfer->record.is_exception || slot->record.pc != transfer->record.pc + 4 ||
      !trace::is_control_transfer(transfer->record.word))
    return "";
  return line(trace::control_culprit(transfer->record, transfer->number, sources(*transfer), expected.record.pc));
}

// Rebuilding the image to name cases takes a moment: only a mismatch pays.
std::string Checker::place_of(uint32_t pc) {
  const report::Recognised recognised = report::recognise(elf_, image_path_, options_.seed);
  const report::PlaceReport places(elf_, recognised.image ? &*recognised.image : nullptr, names_);
  return places.describe(pc);
}

}  // namespace r3k::cosim
