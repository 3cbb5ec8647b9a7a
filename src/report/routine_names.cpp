#include "report/routine_names.h"

#include <algorithm>
#include <cstdio>

#include "board/board.h"

namespace r3k::report {

RoutineNames::RoutineNames(const std::vector<elf::ElfSymbol>& symbols) {
  for (const elf::ElfSymbol& symbol : symbols) {
    const auto number = board::routine_number_of(symbol.name);
    if (!number) continue;
    by_number_[*number] = symbol.name;
    by_address_[symbol.value] = {symbol.name, symbol.size};
  }
}

std::string RoutineNames::name(int number) const {
  const auto it = by_number_.find(number);
  return it != by_number_.end() ? it->second : "routine " + std::to_string(number);
}

std::vector<int> RoutineNames::numbers() const {
  std::vector<int> numbers;
  for (const auto& [number, name] : by_number_) numbers.push_back(number);
  return numbers;
}

std::string RoutineNames::place(uint32_t address) const {
  auto it = by_address_.upper_bound(address);
  if (it == by_address_.begin()) return "";
  --it;
  if (address - it->first >= it->second.second) return "";
  char offset[16];
  std::snprintf(offset, sizeof offset, "+0x%x", address - it->first);
  return it->second.first + offset;
}

size_t RoutineNames::longest_name() const {
  size_t longest = 0;
  for (const auto& [number, name] : by_number_) longest = std::max(longest, name.size());
  return longest;
}

std::vector<uint32_t> RoutineNames::entries() const {
  std::vector<uint32_t> entries;
  for (const auto& [address, routine] : by_address_) entries.push_back(address);
  return entries;
}

}  // namespace r3k::report
