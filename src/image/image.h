// The built test image: the words of the boot memory and everything the
// exporters need to describe them (symbols, routines, source lines).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace r3k {

// Where an instruction came from: a source file of the image (the start code
// or one routine) and a line of it (one case per line in the routine files).
struct SourceLoc {
  uint16_t file = 0;  // index into Image::files
  uint32_t line = 0;  // 1-based; 0 = not from a line
};

struct RoutineInfo {
  int number = 0;          // run position, 1..68
  std::string name;        // "n2_addu_test"
  std::string file;        // "inst/n2_addu.S"
  uint32_t address = 0;    // entry
  uint32_t size = 0;       // bytes, entry to the delay slot of the final jr
  uint32_t inst_error = 0; // address of the failure exit
  int cases = 0;
};

// A value of a case, named as the family names it ("A", "expected", "marker A").
struct CaseValue {
  std::string name;
  uint32_t value = 0;
};

// What one case of a routine checks, recorded as its code is written, so a
// listing, `explain` or a trace diff can show the case behind any address
// without re-reading the code.
struct CaseRecord {
  int routine = 0;         // run number of its routine
  int number = 0;          // 1-based within the routine; its source line is number + 1
  int group = 0;           // 1-based; 0 for a routine without groups
  std::string group_name;  // "both random", "X = 0", ...; empty without groups
  std::vector<CaseValue> values;
  std::string note;        // what the values do not say (the delay-slot instruction, taken or not, ...)
  uint32_t address = 0;    // first word
  uint32_t end = 0;        // one past the last word
};

// A local label of the start code ("locate", "wait_1s", ...).
struct StartLabel {
  std::string name;
  uint32_t address = 0;
};

struct Image {
  uint32_t seed = 0;
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
