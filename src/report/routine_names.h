// Routine names by test number and routine ranges by address, read from an
// image file's global function symbols "nN_xxx_test": how a run and a trace
// diff name routines when all they have is the ELF file.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "elf/elf_reader.h"

namespace r3k::report {

class RoutineNames {
 public:
  explicit RoutineNames(const std::vector<elf::ElfSymbol>& symbols);

  // "n2_addu_test", or "routine 2" when the file has no such symbol.
  std::string name(int number) const;
  // The test numbers the file has symbols for, in order.
  std::vector<int> numbers() const;
  // "n21_add_test+0x1c", or "" outside every routine.
  std::string place(uint32_t address) const;
  // The length of the longest name.
  size_t longest_name() const;
  // The routines' entry addresses, sorted.
  std::vector<uint32_t> entries() const;

 private:
  std::map<int, std::string> by_number_;
  std::map<uint32_t, std::pair<std::string, uint32_t>> by_address_;  // entry -> name, size
};

}  // namespace r3k::report
