// The place of an address in an image file, as a report shows it: the
// routine and case with the case's values and code when the file is a build
// the tool recognises (report/image_file.h), else the routine symbol and the
// word there. Free of printing, for the command line and for programs that
// link the library.
#pragma once

#include <cstdint>
#include <string>

#include "elf/elf_reader.h"
#include "image/image.h"
#include "report/routine_names.h"

namespace r3k::report {

class PlaceReport {
 public:
  // `image` is the file's rebuilt image, or null when the file is none the
  // tool builds; all three must outlive the report.
  PlaceReport(const elf::LoadedElf& file, const Image* image, const RoutineNames& names)
      : file_(file), image_(image), names_(names) {}

  // "n2_addu_test case 17" and the case's description, then its code with
  // the address marked ("=> "), each line ending in a newline.
  std::string describe(uint32_t pc) const;

 private:
  std::string code_around(uint32_t pc, uint32_t from, uint32_t to) const;
  std::string from_symbols(uint32_t pc) const;

  const elf::LoadedElf& file_;
  const Image* image_;
  const RoutineNames& names_;
};

}  // namespace r3k::report
