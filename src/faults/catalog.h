// The fault catalog: processors wrong in one way each, the hardware mistake
// each models, and what each of the two images (the main image and the
// supplement) is expected to do about it. The `faults` command runs them,
// `diagnose` reads them backwards (from failing routines of the main image
// to likely causes), and the tests pin every expectation.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "image/frame.h"
#include "image/image.h"
#include "isa/isa.h"
#include "sim/fault.h"

namespace r3k::faults {

enum class FaultClass : uint8_t {
  alu,
  shift,
  branch_decision,
  branch_target,
  link,
  delay_slot,
  load_store_lane,
  unaligned_merge,
  multiply_divide,
  hi_lo,
  forwarding,
  exception,
};
std::string_view class_name(FaultClass fault_class);

// The two images a fault is run against.
using ImageKind = r3k::ImageKind;
using r3k::image_name;

// What a run of the image on a processor with the fault does.
enum class Outcome : uint8_t {
  routines_fail,   // the run ends with the fail lamps and exactly `routines` failing
  unseen,          // the run passes: the image cannot tell; `note` says why
  exception_loop,  // the run ends in the exception loop, at least `routines` failing before it
  run_breaks,      // the run ends without a verdict another way (lost, or the limit)
  not_stated,      // the catalog makes no claim: the run is shown, not judged
  not_applicable,  // the fault is tied to the other image's code; it is not run; `note` says why
};
std::string_view outcome_name(Outcome outcome);

struct Expectation {
  Outcome outcome = Outcome::routines_fail;
  std::set<int> routines;
  std::string_view note;  // why it is unseen, or where the run stops
  // Of a run without a verdict: the routine under way when it stops (the one
  // after the last display word; 1 before any, one past the last when every
  // routine reported), where that holds for every seed; kPastTheRoutines for
  // a run lost for good that goes on writing display words past its last
  // routine; 0 where the catalog does not say.
  int stops_in = 0;
};
inline constexpr int kPastTheRoutines = -1;
Expectation fails(std::set<int> routines);
Expectation unseen(std::string_view reason);
Expectation exception_loop(std::set<int> failing_before, std::string_view where, int stops_in = 0);
Expectation breaks_run(std::string_view how, int stops_in = 0);
Expectation not_applicable(std::string_view why);

// Where a routine of the image under test lies, for faults that stay inside
// one routine's cases (j, jal and jr also carry the driver and the start
// code: broken there, they wreck the run before the routine can report).
struct RoutineSpan {
  uint32_t address = 0, size = 0;
};
struct ImageShape {
  ImageKind kind = ImageKind::main;
  // The frame's exit is longer in the other images' styles.
  FrameStyle frame() const { return frame_style_of(kind); }
  std::vector<RoutineSpan> routines;  // by run number - 1
  size_t routine_count() const { return routines.size(); }
  // [first case, end of the last case) of routine `number`.
  uint32_t cases_begin(int number) const;
  uint32_t cases_end(int number) const;
};

struct CatalogFault {
  std::string_view name;    // "load-use-stale"
  FaultClass fault_class;
  isa::Op op;               // the instruction kind it breaks
  std::string_view models;  // the hardware mistake, one line
  Expectation expected;
  std::string_view look_at;  // where to look beyond the instruction itself; may be empty
  sim::Fault (*make)(const ImageShape& shape);  // a fresh fault (stateful ones start clean)
  // What the supplement does about it; joined in from the supplement's table.
  Expectation on_supplement = {Outcome::not_stated, {}, {}};
  // What the exceptions image does about it; joined in from its table.
  Expectation on_exceptions = {Outcome::not_stated, {}, {}};

  const Expectation& expected_on(ImageKind kind) const {
    return kind == ImageKind::main ? expected : kind == ImageKind::supplement ? on_supplement : on_exceptions;
  }
};

// Every fault, in catalog order (grouped by class). Built once; safe to read
// from several threads.
const std::vector<CatalogFault>& catalog();
const CatalogFault* find_fault(std::string_view name);

// "lw", or "lw; also: the instruction after it".
std::string look_at_text(const CatalogFault& fault);

}  // namespace r3k::faults
