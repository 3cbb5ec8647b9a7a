#include "report/places.h"

#include <algorithm>
#include <cstdio>

#include "board/layout.h"
#include "image/case_index.h"
#include "isa/isa.h"

namespace r3k::report {

std::string PlaceReport::describe(uint32_t pc) const {
  if (!image_) return from_symbols(pc);
  const Place place = find_place(*image_, pc);
  if (!place.in_text()) return "outside the image's code\n" + code_around(pc, pc - 8, pc + 12);
  std::string text = describe_place(place) + "\n";
  if (!place.test_case) return text + code_around(pc, pc - 12, pc + 16);
  const CaseRecord& c = *place.test_case;
  text += "    " + describe_case(c) + "\n";
  constexpr uint32_t kMostWords = 16;
  if (c.end - c.address <= 4 * kMostWords) return text + code_around(pc, c.address, c.end);
  return text + code_around(pc, std::max(c.address, pc - 24), std::min(c.end, pc + 28));
}

std::string PlaceReport::code_around(uint32_t pc, uint32_t from, uint32_t to) const {
  std::string lines = code_lines(*image_, from, to, pc), indented;
  for (size_t start = 0; start < lines.size();) {
    const size_t end = lines.find('\n', start);
    indented += "    " + lines.substr(start, end - start + 1);
    start = end + 1;
  }
  return indented;
}

std::string PlaceReport::from_symbols(uint32_t pc) const {
  const std::string routine = names_.place(pc);
  std::string text = (routine.empty() ? "outside the image's routines" : routine) + "\n";
  const uint32_t offset = pc - layout::kResetVector;
  const std::vector<uint8_t>& boot = file_.boot;
  if (pc % 4 == 0 && offset < boot.size() && boot.size() - offset >= 4) {
    const uint8_t* p = &boot[offset];
    const uint32_t word = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    char line[32];
    std::snprintf(line, sizeof line, "=> 0x%08x: %08x  ", pc, word);
    text += "    " + std::string(line) + isa::disassemble(word, pc) + "\n";
  }
  return text;
}

}  // namespace r3k::report
