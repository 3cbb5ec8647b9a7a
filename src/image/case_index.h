// The one lookup from an address of the built image to the code behind it:
// the start-code block, or the routine and the case. The listing, `explain`
// and trace diffs all ask it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "image/image.h"
#include "image/start.h"

namespace r3k {

struct Place {
  uint32_t address = 0;
  std::optional<StartBlock> block;       // in the start code
  const RoutineInfo* routine = nullptr;  // in a routine
  const CaseRecord* test_case = nullptr; // in one of its cases; null in its entry or exit
  bool in_text() const { return block || routine; }
};

// Where `address` lies; nothing found in the gaps between routines, the
// register-usage record and outside the text.
Place find_place(const Image& image, uint32_t address);

// The routine with this run number, if the image has it.
const RoutineInfo* find_routine(const Image& image, int number);

// The cases of one routine, in order.
struct CaseRange {
  const CaseRecord* first = nullptr;
  const CaseRecord* last = nullptr;  // one past
  size_t size() const { return static_cast<size_t>(last - first); }
};
CaseRange cases_of(const Image& image, int routine_number);

// "case 17, group 1 (A and B random): A = 0x1234abcd, B = 0x00000007, expected = 0x1234abd4; taken"
std::string describe_case(const CaseRecord& record);
void append_case_description(std::string& out, const CaseRecord& record);  // the same, appended
// "n2_addu_test case 17", "locate", "n2_addu_test (entry)" or "n2_addu_test (exit)";
// "" for a place outside the start code and the routines.
std::string describe_place(const Place& place);

// One line per word from `address` to `end`: "   0xbfc01234: 3c081234  lui $t0, 0x1234",
// with "=> " in place of the indent on the word at `mark`.
std::string code_lines(const Image& image, uint32_t address, uint32_t end, std::optional<uint32_t> mark = {});

}  // namespace r3k
