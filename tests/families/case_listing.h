// Reading the cases of a routine back out of the built image, and writing
// the listing a case template should give, for the control-transfer
// families' tests.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "image/image.h"
#include "isa/isa.h"

namespace r3k::test {

const RoutineInfo& routine_named(const Image& image, std::string_view name);

// The words of one case, found through the source line the case owns.
struct EmittedCase {
  uint32_t address = 0;
  std::vector<uint32_t> words;

  std::vector<std::string> listing() const;  // disassembled, one line per word
  // The signed offset field of the branch at `index` (in instructions, from
  // the instruction after the branch).
  int16_t branch_offset(size_t index) const { return static_cast<int16_t>(words.at(index) & 0xFFFF); }
  uint32_t address_of(size_t index) const { return address + 4 * static_cast<uint32_t>(index); }
  // Positions of the instructions of a kind, in order.
  std::vector<size_t> indices_of(isa::Op op) const;
  std::vector<size_t> branch_indices() const;  // every conditional branch, `b` included
};
std::vector<EmittedCase> emitted_cases(const Image& image, const RoutineInfo& routine);

// A case template written out by hand, in the disassembler's syntax. A
// branch or jump names its target as "@L1"; constant and address loads
// expand by the encoding table, written here independently of the assembler.
class Listing {
 public:
  Listing& label(const std::string& name);
  // A label outside the case, such as the routine's inst_error.
  Listing& outside(const std::string& name, uint32_t address);
  Listing& line(const std::string& text);
  Listing& nop() { return line("nop"); }
  Listing& li(isa::Reg reg, uint32_t value);
  // An address load of `label` plus `addend`: lui of the high half, then
  // addiu of the low half; the halves apart for code that interleaves them.
  Listing& la(isa::Reg reg, const std::string& label, int32_t addend = 0);
  Listing& la_high(isa::Reg reg, const std::string& label, int32_t addend = 0);
  Listing& la_low(isa::Reg reg, const std::string& label, int32_t addend = 0);

  size_t size() const { return lines_.size(); }
  size_t index_of(const std::string& label) const { return labels_.at(label); }
  // The text as it would disassemble at `address`.
  std::vector<std::string> render(uint32_t address) const;

 private:
  struct Line {
    std::string text;
    std::string address_of;  // for the two halves of an address load
    bool high_half = false;
    isa::Reg reg = isa::zero;
    int32_t addend = 0;
  };
  std::vector<Line> lines_;
  std::map<std::string, size_t> labels_;
  std::map<std::string, uint32_t> outside_;
};

std::string hex_text(uint32_t value);  // "0x1f", as the disassembler writes it

// The constant load as the encoding table reads, written out apart from the
// assembler: addiu for -0x8000..0x7FFF, ori for 0x8000..0xFFFF, lui alone
// for a zero low half, else lui then ori. `reg` is a name such as "$t0".
std::vector<std::string> constant_load_text(const std::string& reg, uint32_t value);

// The two-instruction constant load, by its own description: a non-zero low
// half, and a value neither in 0..0xFFFF nor in the negative 16-bit range.
inline bool lui_ori_value(uint32_t v) { return (v & 0xFFFF) != 0 && v > 0xFFFF && v < 0xFFFF8000; }

// Every case of the routine in the image disassembles as `expected(drawn
// case, inst_error address, case address)` renders at the case's address,
// the cases back to back from the entry to the exit.
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

// The same for templates that do not need the case's address:
// `expected(drawn case, inst_error address)`.
template <class Case, class Expected>
void expect_cases_follow(const Image& image, std::string_view routine_name, const std::vector<Case>& drawn,
                         Expected expected) {
  expect_cases_follow_at(image, routine_name, drawn,
                         [&](const Case& c, uint32_t inst_error, uint32_t) { return expected(c, inst_error); });
}

}  // namespace r3k::test
