// What the supplement's case templates share, written out apart from
// src/supplement: its block of constant and address loads, the case
// records a routine left in the image, and a walk over a routine's cases
// whose template needs the case's own address (for a link's value).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "families/case_listing.h"
#include "image/image.h"
#include "isa/isa.h"

namespace r3k::test {

// One load of a block: a constant, or the address of a label of the case
// (plus an addend).
struct BlockLoad {
  isa::Reg reg;
  uint32_t value = 0;
  std::string label;  // empty for a constant
  int32_t addend = 0;
};
inline BlockLoad constant(isa::Reg reg, uint32_t value) { return {reg, value, "", 0}; }
inline BlockLoad address(isa::Reg reg, const std::string& label, int32_t addend = 0) {
  return {reg, 0, label, addend};
}

// The block as the supplement writes it: the first instruction of every
// load, then every second instruction (lui's ori or addiu), with a nop
// before a second instruction whose register the instruction just before
// wrote, then one nop so that the next instruction may read any of them.
void load_block(Listing& listing, const std::vector<BlockLoad>& loads);

// The records of one routine's cases, in order, and a value of one by name.
std::vector<CaseRecord> records_of(const Image& image, int routine_number);
uint32_t value_named(const CaseRecord& record, std::string_view name);

// `bne reg, expected, inst_error` and its nop, in the disassembler's text.
void fail_unless_equal(Listing& listing, std::string_view reg, std::string_view expected);

// As expect_cases_follow, with the template also given the address the
// case starts at: `expected(drawn case, inst_error, case address)`.
template <class Case, class Expected>
void expect_cases_follow_at(const Image& image, std::string_view routine_name, const std::vector<Case>& drawn,
                            Expected expected) {
  SCOPED_TRACE(routine_name);
  const RoutineInfo& routine = routine_named(image, routine_name);
  const std::vector<EmittedCase> emitted = emitted_cases(image, routine);
  ASSERT_EQ(emitted.size(), drawn.size());
  uint32_t next = routine.address + 8;  // after the entry
  for (size_t i = 0; i < drawn.size(); ++i) {
    EXPECT_EQ(emitted[i].address, next) << "case " << i + 1 << " does not follow the one before";
    const Listing listing = expected(drawn[i], routine.inst_error, emitted[i].address);
    EXPECT_EQ(emitted[i].listing(), listing.render(emitted[i].address)) << "case " << i + 1;
    next = emitted[i].address + 4 * static_cast<uint32_t>(emitted[i].words.size());
  }
  EXPECT_EQ(next, routine.inst_error - 12) << "the exit follows the last case";
}

}  // namespace r3k::test
