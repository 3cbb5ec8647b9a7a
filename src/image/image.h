// The built test image: the words of the boot memory and everything the
// exporters need to describe them (symbols, routines, source lines).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "asm/source_loc.h"
#include "isa/isa.h"
#include "routine/case_record.h"

namespace r3k {

// The images the tool builds: the 68 routines, and the supplement for what
// they cannot see. A file tells which it is by its routine symbols.
enum class ImageKind : uint8_t { main, supplement };
std::string_view image_name(ImageKind kind);  // "main image", "supplement"

struct RoutineInfo {
  int number = 0;          // run position, 1..68
  std::string name;        // "n2_addu_test"
  isa::Op op{};            // the instruction its run-order row names
  uint16_t file = 0;       // its source file, an index into Image::files ("inst/n2_addu.S")
  uint32_t address = 0;    // entry
  uint32_t size = 0;       // bytes, entry to the delay slot of the final jr
  uint32_t inst_error = 0; // address of the failure exit
  int cases = 0;
};

// A local label of the start code ("locate", "wait_1s", ...).
struct StartLabel {
  std::string name;
  uint32_t address = 0;
};

struct Image {
  ImageKind kind = ImageKind::main;
  uint32_t seed = 0;                   // what the case values were drawn from
  uint32_t text_base = 0;              // 0xBFC00000
  std::vector<uint32_t> text;          // every word of the text, register-usage record included
  std::vector<SourceLoc> lines;        // one per text word
  std::vector<std::string> files;      // source file names, index 0 = "start.S"
  std::vector<uint8_t> data;           // the data section's bytes (16 zero bytes)
  std::vector<StartLabel> start_labels;
  std::vector<RoutineInfo> routines;   // in run order
  std::vector<CaseRecord> cases;       // every case of every routine, in address order

  uint32_t text_end() const { return text_base + 4 * static_cast<uint32_t>(text.size()); }  // _etext
  // The boot memory's contents: text words little-endian, then the data bytes.
  std::vector<uint8_t> boot_bytes() const;
  uint32_t word_at(uint32_t address) const { return text.at((address - text_base) / 4); }
};

}  // namespace r3k
