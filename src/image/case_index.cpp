#include "image/case_index.h"

#include <algorithm>
#include <cstdio>

#include "common/hex.h"
#include "isa/isa.h"

namespace r3k {
Place find_place(const Image& image, uint32_t address) {
  Place place;
  place.address = address;
  if (image.routines.empty() || address < image.routines.front().address)
    for (const StartBlock& block : start_code_blocks(image))
      if (address >= block.address && address < block.end) {
        place.block = block;
        return place;
      }
  const auto routine = std::upper_bound(image.routines.begin(), image.routines.end(), address,
                                        [](uint32_t a, const RoutineInfo& r) { return a < r.address; });
  if (routine == image.routines.begin()) return place;
  const RoutineInfo& info = *std::prev(routine);
  if (address - info.address >= info.size) return place;
  place.routine = &info;
  const auto record = std::upper_bound(image.cases.begin(), image.cases.end(), address,
                                       [](uint32_t a, const CaseRecord& c) { return a < c.address; });
  if (record != image.cases.begin()) {
    const CaseRecord& candidate = *std::prev(record);
    if (candidate.routine == info.number && address < candidate.end) place.test_case = &candidate;
  }
  return place;
}

const RoutineInfo* find_routine(const Image& image, int number) {
  for (const RoutineInfo& routine : image.routines)
    if (routine.number == number) return &routine;
  return nullptr;
}

CaseRange cases_of(const Image& image, int routine_number) {
  const RoutineInfo* routine = find_routine(image, routine_number);
  if (!routine) return {};
  const auto begin = std::lower_bound(image.cases.begin(), image.cases.end(), routine->address,
                                      [](const CaseRecord& c, uint32_t a) { return c.address < a; });
  const auto end = std::partition_point(begin, image.cases.end(),
                                        [&](const CaseRecord& c) { return c.routine == routine_number; });
  return {image.cases.data() + (begin - image.cases.begin()), image.cases.data() + (end - image.cases.begin())};
}

std::string code_lines(const Image& image, uint32_t address, uint32_t end, std::optional<uint32_t> mark) {
  std::string text;
  for (; address < end && address >= image.text_base && address < image.text_end(); address += 4) {
    const uint32_t word = image.word_at(address);
    char line[48];
    std::snprintf(line, sizeof line, "%s0x%08x: %08x  ", mark == address ? "=> " : "   ", address, word);
    text += line + isa::disassemble(word, address) + "\n";
  }
  return text;
}

void append_case_description(std::string& out, const CaseRecord& record) {
  out += "case ";
  out += std::to_string(record.number);
  if (record.group != 0) {
    out += ", group ";
    out += std::to_string(record.group);
    if (!record.group_name.empty()) {
      out += " (";
      out += record.group_name;
      out += ')';
    }
  }
  const char* separator = ": ";
  for (const CaseValue& value : record.values) {
    out += separator;
    out += value.name;
    out += " = ";
    append_hex(out, value.value);
    separator = ", ";
  }
  if (!record.note.empty()) {
    out += record.values.empty() ? ": " : "; ";
    out += record.note;
  }
}

std::string describe_case(const CaseRecord& record) {
  std::string text;
  append_case_description(text, record);
  return text;
}

std::string describe_place(const Place& place) {
  if (place.block) return std::string(place.block->name);
  if (!place.routine) return "";
  if (place.test_case) return place.routine->name + " case " + std::to_string(place.test_case->number);
  return place.routine->name + (place.address < place.routine->inst_error - 12 ? " (entry)" : " (exit)");
}

}  // namespace r3k
