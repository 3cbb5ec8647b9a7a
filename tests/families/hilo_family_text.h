// Reading back the multiply, divide and HI/LO routines of a built image as
// text, and the text a case should have, written out independently of the
// assembler's own constant-load code.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "families/case_listing.h"
#include "image/image.h"
#include "isa/isa.h"

namespace r3k::test {

using Lines = std::vector<std::string>;

inline void append(Lines& lines, const Lines& more) { lines.insert(lines.end(), more.begin(), more.end()); }

inline Lines disassembled(const Image& image, uint32_t address, size_t count) {
  Lines lines;
  for (size_t i = 0; i < count; ++i, address += 4) lines.push_back(isa::disassemble(image.word_at(address), address));
  return lines;
}

inline const RoutineInfo& routine_numbered(const Image& image, int number) { return image.routines.at(number - 1); }

// The body of a routine: after the two entry instructions, before the eight
// of the exit.
inline uint32_t body_begin(const RoutineInfo& routine) { return routine.address + 8; }
inline uint32_t body_end(const RoutineInfo& routine) { return routine.address + routine.size - 32; }
inline int body_instructions(const RoutineInfo& routine) { return static_cast<int>(routine.size - 40) / 4; }

// The fewest instructions standing between a read of HI or LO (mfhi, mflo)
// and the next instruction that writes HI or LO, over a routine's body; a
// body with no such pair gives a large number.
inline int fewest_instructions_from_read_to_write(const Image& image, const RoutineInfo& routine) {
  using isa::Op;
  int fewest = 1 << 30;
  int since_read = -1;  // instructions since the last read; -1 before the first
  for (uint32_t at = body_begin(routine); at < body_end(routine); at += 4) {
    const Op op = isa::decode(image.word_at(at));
    const bool writes = op == Op::mult || op == Op::multu || op == Op::div || op == Op::divu || op == Op::mthi ||
                        op == Op::mtlo;
    if (writes && since_read >= 0 && since_read < fewest) fewest = since_read;
    if (op == Op::mfhi || op == Op::mflo) since_read = 0;
    else if (since_read >= 0) ++since_read;
  }
  return fewest;
}

// Compares a routine's body, case by case, with the text each case should
// have; every word of a case must also belong to the case's source line.
template <class Cases, class CaseText>
void expect_body_matches(const Image& image, const RoutineInfo& routine, const Cases& cases, CaseText case_text) {
  uint32_t at = body_begin(routine);
  uint32_t line = 2;  // line 1 is the entry
  for (const auto& c : cases) {
    const Lines expected = case_text(c);
    ASSERT_LE(at + 4 * expected.size(), body_end(routine)) << routine.name << " case " << line - 1;
    ASSERT_EQ(disassembled(image, at, expected.size()), expected) << routine.name << " case " << line - 1;
    for (size_t i = 0; i < expected.size(); ++i, at += 4)
      ASSERT_EQ(image.lines.at((at - image.text_base) / 4).line, line) << routine.name << std::hex << " at " << at;
    ++line;
  }
  EXPECT_EQ(at, body_end(routine)) << routine.name << ": words after the last case";
}

}  // namespace r3k::test
