#include "cli/diagnose_trace.h"

#include <cstdio>

#include "cli/commands.h"
#include "common/error.h"
#include "common/input_file.h"
#include "divergence/trace_diagnosis.h"
#include "elf/elf_reader.h"
#include "faults/campaign.h"
#include "report/image_file.h"
#include "report/routine_names.h"
#include "sim/machine.h"

namespace r3k::cli {

namespace {

void print_explanation(const divergence::TraceDiagnosis& d, const trace::DiffOutcome& outcome, size_t shown) {
  std::printf("first divergence, at line %llu of the design's trace (%llu instructions in step):\n",
              static_cast<unsigned long long>(outcome.design.number),
              static_cast<unsigned long long>(outcome.compared));
  std::printf("  design:   %s\n", outcome.design.text.c_str());
  std::printf("  expected: %s\n", sim::format_trace_record(outcome.expected).c_str());
  if (!d.control.empty()) std::printf("  control went elsewhere: %s\n", d.control.c_str());
  if (d.mechanisms.empty()) std::printf("no tested mechanism reproduces the design's line\n");
  else std::printf("mechanisms that reproduce the design's line exactly:\n");
  for (const divergence::Mechanism& m : d.mechanisms) std::printf("  %s\n", m.text.c_str());
  const auto list = [](const char* title, const std::vector<const faults::CatalogFault*>& faults) {
    if (faults.empty()) return;
    std::printf("%s\n", title);
    for (const faults::CatalogFault* f : faults)
      std::printf("  %s [%s]: %s\n", std::string(f->name).c_str(), std::string(faults::class_name(f->fault_class)).c_str(),
                  std::string(f->models).c_str());
  };
  list("catalog faults that write the design's line there:", d.catalog.exact);
  list("catalog faults wrong at the same instruction, another way:", d.catalog.same_place);
  if (d.catalog.exact.empty() && d.catalog.same_place.empty())
    std::printf("no catalog fault goes wrong at this instruction from this state\n");
  if (d.ranked.empty()) return;
  std::printf("causes, best first:");
  for (size_t i = 0; i < std::min(shown, d.ranked.size()); ++i)
    std::printf("%s %s", i ? "," : "", std::string(d.ranked[i]).c_str());
  std::printf("\n");
}

}  // namespace

int diagnose_trace(const TraceRequest& request, const std::vector<faults::ImageObservation>& observations,
                   size_t shown) {
  const elf::LoadedElf elf = elf::read_elf_file(request.image_path);
  const std::optional<ImageKind> kind = report::kind_of(elf.symbols);
  if (!kind) throw Error("diagnose: " + request.image_path + " is none of the images (its routine symbols name no run order)");
  const faults::ImageShape shape = faults::shape_of(elf, *kind);
  const InputFile file = [&] {
    try {
      return open_input(request.trace_path);
    } catch (const Error& error) {
      throw Error(std::string("diagnose: ") + error.what());
    }
  }();
  trace::DesignTrace design(file.get(), request.keys);
  trace::DiffOptions options;
  options.run.quick_run_flag = request.quick_run_flag;
  options.writes_only = request.writes_only;
  sim::Machine machine(elf.boot);
  const trace::DiffOutcome outcome = trace::diff_trace(machine, design, options);
  using Verdict = trace::DiffOutcome::Verdict;
  if (outcome.verdict == Verdict::match) {
    std::printf("the trace follows the reference to its end: no wrong value to explain\n");
    return kExitOk;
  }
  if (outcome.verdict != Verdict::divergence) {
    std::printf("no divergence to explain: %s\n", outcome.reason.c_str());
    return kExitError;
  }
  const divergence::TraceDiagnosis d =
      divergence::diagnose_divergence(elf.boot, shape, outcome, request.quick_run_flag, observations);
  print_explanation(d, outcome, shown);
  return kExitOk;
}

}  // namespace r3k::cli
