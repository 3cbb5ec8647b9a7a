#include "export/listing.h"

#include <cstdio>

#include "common/hex.h"
#include "image/case_index.h"
#include "image/start.h"
#include "isa/isa.h"

namespace r3k::exporting {
namespace {

std::string folded_line(uint32_t from, uint32_t to) {
  char text[80];
  std::snprintf(text, sizeof text, "   0x%08x..0x%08x: %u zero words\n", from, to - 1, (to - from) / 4);
  return text;
}

// The boot memory's words from `from` to `to`, text or data.
class WordWriter {
 public:
  WordWriter(const Image& image, std::string& text) : image_(image), text_(text), boot_(image.boot_bytes()) {}

  void words(uint32_t from, uint32_t to) {
    uint32_t stretch = from;
    for (uint32_t address = from; address < to;) {
      uint32_t zero_end = address;
      while (zero_end < to && word(zero_end) == 0) zero_end += 4;
      if ((zero_end - address) / 4 >= kFoldedZeroRun) {
        plain(stretch, address);
        text_ += folded_line(address, zero_end);
        stretch = zero_end;
      }
      address = zero_end == address ? address + 4 : zero_end;
    }
    plain(stretch, to);
  }

 private:
  uint32_t word(uint32_t address) const {
    const size_t at = address - image_.text_base;
    uint32_t value = 0;
    for (size_t i = 0; i < 4 && at + i < boot_.size(); ++i) value |= uint32_t{boot_[at + i]} << (8 * i);
    return value;
  }
  // Unfolded words: disassembled in the text, plain words in the data.
  void plain(uint32_t from, uint32_t to) {
    const uint32_t text_end = std::min(to, image_.text_end());
    if (from < text_end) text_ += code_lines(image_, from, text_end);
    for (uint32_t address = std::max(from, image_.text_end()); address < to; address += 4) {
      char line[48];
      std::snprintf(line, sizeof line, "   0x%08x: %08x  .word\n", address, word(address));
      text_ += line;
    }
  }

  const Image& image_;
  std::string& text_;
  const std::vector<uint8_t> boot_;
};

void heading(std::string& text, const std::string& line) { text += "; " + line + "\n"; }

void list_start_code(std::string& text, WordWriter& writer, const std::vector<StartBlock>& blocks) {
  heading(text, "==== start code ====");
  for (const StartBlock& block : blocks) {
    heading(text, std::string(block.name));
    writer.words(block.address, block.end);
  }
}

void list_routine(std::string& text, WordWriter& writer, const Image& image, const RoutineInfo& routine) {
  const uint32_t end = routine.address + routine.size;
  heading(text, "==== routine " + std::to_string(routine.number) + ": " + routine.name + " (" + image.files[routine.file] +
                    "), instruction " + routine_subject(routine) + ", " +
                    std::to_string(routine.cases) + " cases, " + hex(routine.address) + ".." +
                    hex(end - 1) + " ====");
  uint32_t cursor = routine.address;
  const CaseRange cases = cases_of(image, routine.number);
  for (const CaseRecord* record = cases.first; record != cases.last; ++record) {
    if (cursor < record->address) {
      if (cursor == routine.address) heading(text, "entry");
      writer.words(cursor, record->address);
    }
    heading(text, describe_case(*record));
    writer.words(record->address, record->end);
    cursor = record->end;
  }
  if (cursor == routine.address) {
    heading(text, "entry");
    writer.words(cursor, routine.inst_error - 12);
    cursor = routine.inst_error - 12;
  }
  heading(text, "exit (inst_error at " + hex(routine.inst_error) + ")");
  writer.words(cursor, end);
}

}  // namespace

std::string_view routine_instruction(const RoutineInfo& routine) { return isa::info(routine.op).mnemonic; }

std::string routine_subject(const RoutineInfo& routine) {
  const std::string instruction(routine_instruction(routine));
  return routine.name.find("_ds_") != std::string::npos ? "the delay slot of " + instruction : instruction;
}

std::string listing(const Image& image) {
  std::string text;
  const uint32_t boot_end = image.text_end() + static_cast<uint32_t>(image.data.size());
  heading(text, "r3kcheck listing: boot memory " + hex(image.text_base) + ".." + hex(boot_end - 1) +
                    ", seed " + hex(image.seed) + "; address: word  instruction");
  WordWriter writer(image, text);
  const std::vector<StartBlock> blocks = start_code_blocks(image);
  list_start_code(text, writer, blocks);
  uint32_t cursor = blocks.back().end;
  for (const RoutineInfo& routine : image.routines) {
    if (cursor < routine.address) {
      heading(text, "alignment");
      writer.words(cursor, routine.address);
    }
    list_routine(text, writer, image, routine);
    cursor = routine.address + routine.size;
  }
  const uint32_t record = image.text_end() - layout::kRegisterUsageSize;
  if (cursor < record) writer.words(cursor, record);
  heading(text, "register-usage record (read by nothing)");
  writer.words(record, image.text_end());
  heading(text, "data: " + std::to_string(image.data.size()) + " bytes stored at _etext, at " +
                    hex(layout::kRamBase) + " when running");
  writer.words(image.text_end(), boot_end);
  return text;
}

}  // namespace r3k::exporting
