#include "divergence/reproduce.h"

#include <algorithm>

#include "trace/trace_diff.h"

namespace r3k::divergence {

namespace {

// A wrong store shows where a load reads it back, however far after; such a
// store counts only when it makes the design's very line.
bool reads_back(const sim::Fault& fault, const ReferenceState& reference) {
  return fault.op != isa::Op::invalid && isa::info(fault.op).is_store() &&
         isa::info(isa::decode(reference.at.word)).is_load() &&
         std::none_of(reference.earlier.begin(), reference.earlier.end(),
                      [&](const Step& step) { return isa::decode(step.word) == fault.op; });
}

bool may_touch(const sim::Fault& fault, const ReferenceState& reference) {
  if (fault.op == isa::Op::invalid) return true;  // the bypass network, whatever the instruction
  const isa::Op at = isa::decode(reference.at.word);
  if (at == fault.op) return true;
  if (reads_back(fault, reference)) return true;
  return std::any_of(reference.earlier.begin(), reference.earlier.end(),
                     [&](const Step& step) { return isa::decode(step.word) == fault.op; });
}

// The line the run wrote at the instruction, as the design's trace would.
// An exception line names its cause and where; the address it read is in
// the line only when the design's trace gives one.
bool same_line(const trace::DesignLine& design, const ReferenceState& run) {
  if (design.record.is_exception)
    return run.exception && sim::same_exception_code(design.record.cause, run.exception->cause) &&
           design.record.pc == run.exception->pc &&
           (design.text.find("address=") == std::string::npos ||
            design.record.bad_address == run.exception->bad_address);
  return trace::compare_line(design, run.written).empty();
}

}  // namespace

Reproductions reproduce(std::span<const uint8_t> boot, const faults::ImageShape& shape,
                        const ReferenceState& reference, const trace::DesignLine& design, uint32_t quick_run_flag) {
  Reproductions found;
  // The reference's own line, read as a design line that says everything.
  const trace::DesignLine right{0, "", reference.written, true, true, false, false, 0};
  for (const faults::CatalogFault& fault : faults::catalog()) {
    if (fault.expected_on(shape.kind).outcome == faults::Outcome::not_applicable) continue;
    const sim::Fault made = fault.make(shape);
    if (!may_touch(made, reference)) continue;
    const ReferenceState run = state_at(boot, reference.index, quick_run_flag, made);
    if (same_line(design, run)) found.exact.push_back(&fault);
    // Wrong at the same instruction: the same one, reached the same way.
    else if (run.at.pc == reference.at.pc && !same_line(right, run) && !reads_back(made, reference))
      found.same_place.push_back(&fault);
  }
  return found;
}

}  // namespace r3k::divergence
