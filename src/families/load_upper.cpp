// lui
#include "families/load_upper.h"

#include "families/families.h"

namespace r3k {
namespace load_upper {

namespace {

using namespace isa;  // register names

constexpr uint32_t kStep = 0x00010000;

}  // namespace

uint32_t result(uint16_t immediate) { return static_cast<uint32_t>(immediate) << 16; }

std::vector<Case> list_cases() {
  std::vector<Case> cases;
  for (size_t g = 0; g < kBases.size(); ++g) {
    const uint16_t base = kBases[g];
    for (int k = 0; k < kGroupSize; ++k) {
      const auto immediate = static_cast<uint16_t>(base + k);
      cases.push_back({static_cast<int>(g) + 1, base, k, immediate, result(immediate)});
    }
  }
  return cases;
}

}  // namespace load_upper

// The expected value comes from a second lui of the group's base plus an
// offset counted up with addu, not from a constant load, which is itself made
// of lui. Both lui instructions stay lui even for 0, and $t1 restarts at 0 in
// every group so that no offset leaks into the next base.
void load_upper_cases(RoutineContext& routine) {
  using namespace isa;  // register names
  assembly::Assembler& as = routine.as;
  as.lui(t2, static_cast<uint16_t>(load_upper::kStep >> 16));
  const auto describe = [](const load_upper::Case& c) {
    return CaseInfo{c.group,
                    {},
                    {{"base", c.base}, {"k", static_cast<uint32_t>(c.offset)}, {"immediate", c.immediate},
                     {"expected", c.expected}},
                    {}};
  };
  emit_cases(routine, load_upper::list_cases(), describe, [&](const load_upper::Case& c) {
    // The group's reset belongs to the line of the first case that relies on it.
    if (c.offset == 0) as.li(t1, 0);
    as.lui(a0, c.base);
    as.lui(t0, c.immediate);
    as.addu(a0, a0, t1);  // $a0 is read with the lui under test between it and its write
    as.addu(t1, t1, t2);
    as.bne(t0, a0, routine.inst_error);
    as.nop();
  });
}

}  // namespace r3k
