// The lock-step checker behind r3kcheck/cosim.h: the reference run ahead of
// a processor under test, one retirement record compared per step with the
// rules of trace-diff, and the report of the first one that differs in the
// image's own terms.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cosim/expected_stream.h"
#include "cosim/r3kcheck/cosim.h"
#include "elf/elf_reader.h"
#include "image/image.h"
#include "report/routine_names.h"
#include "trace/design_trace.h"

namespace r3k::cosim {

class Checker {
 public:
  // Throws r3k::Error for an image that cannot be read.
  Checker(const std::string& image_path, const r3k_cosim_options& options);

  // An R3K_COSIM_* step result; throws r3k::Error for a record after the end.
  int step(const r3k_cosim_record& record);
  const std::string& report() const { return report_; }
  const std::string& verdict() const { return verdict_; }
  uint64_t steps() const { return steps_; }

 private:
  bool skipped(const Expected& e) const;
  const Expected* expected_for(bool design_exception);
  // Takes the records the core will not report; true when none is left.
  bool run_over();
  int finish();
  int mismatch(const Expected* expected, std::vector<std::string> differences);
  std::string culprit_of(const Expected& expected) const;
  std::string place_of(uint32_t pc);

  std::string image_path_;
  r3k_cosim_options options_;
  elf::LoadedElf elf_;
  report::RoutineNames names_;
  sim::Machine machine_;
  ExpectedStream stream_;
  trace::DesignLine line_;
  std::vector<std::string> differences_;
  uint64_t steps_ = 0;
  int state_ = R3K_COSIM_IN_STEP;
  std::string report_, verdict_;
};

}  // namespace r3k::cosim
