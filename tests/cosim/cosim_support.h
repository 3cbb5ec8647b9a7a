// Retirement records for the co-simulation tests: a processor (the reference,
// with a fault or without) reporting what it retires, as a core's retirement
// port would.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cosim/expected_stream.h"
#include "cosim/r3kcheck/cosim.h"
#include "cosim/retirement.h"
#include "image/image.h"
#include "sim/machine.h"

namespace r3k::test {

// The default image or supplement of the default seed as an ELF file, written once.
const std::string& image_file(ImageKind kind);
const Image& image_of(ImageKind kind);

// An observer of a run that turns each instruction into its retirement
// record (an exception in place of the instruction that raised it) and
// hands it to `sink` with the commit-trace lines behind it (the
// instruction's, null for a fetch's exception; the exception's, or null).
// The sink returns false to stop the run.
template <class Sink>
class RetirementPort {
 public:
  explicit RetirementPort(Sink& sink) : sink_(sink) {}

  void on_instruction(const sim::Cpu& cpu, const sim::Decoded& decoded) {
    recorder_.record(cpu, decoded, lines_);
    if (lines_.has_before) emit(cosim::retirement_of_exception(lines_.before.record), nullptr, &lines_.before);
    if (lines_.raised) {
      emit(cosim::retirement_of_exception(lines_.after.record), &lines_.instruction, &lines_.after);
      return;
    }
    emit(cosim::retirement_of(lines_.instruction), &lines_.instruction, nullptr);
    if (lines_.has_after) emit(cosim::retirement_of_exception(lines_.after.record), nullptr, &lines_.after);
  }

  // Runs `machine` until the sink says stop or the run ends.
  void run(sim::Machine& machine, const sim::RunOptions& options) {
    try {
      const sim::RunResult result = machine.run(options, *this);
      if (recorder_.pending_exception(result, exception_))
        emit(cosim::retirement_of_exception(exception_.record), nullptr, &exception_);
    } catch (const Stop&) {
    }
  }

 private:
  struct Stop {};
  void emit(const r3k_cosim_record& record, const cosim::Expected* instruction, const cosim::Expected* exception) {
    if (!sink_(record, instruction ? &instruction->record : nullptr, exception ? &exception->record : nullptr))
      throw Stop{};
  }

  Sink& sink_;
  cosim::ExpectedRecorder recorder_;
  cosim::ExpectedLines lines_;
  cosim::Expected exception_;
};

// The records a correct core retires on a quick run of `kind`'s image.
std::vector<r3k_cosim_record> reference_retirements(ImageKind kind);

// Opens a checker on `kind`'s image with default options but `reports` and `writes_only`.
r3k_cosim* open_checker(ImageKind kind, uint32_t reports = R3K_COSIM_REPORTS_ALL, bool writes_only = false);

}  // namespace r3k::test
