#include "elf/elf_test_image.h"

#include "board/layout.h"

namespace r3k::test {
namespace {

// Words that disassemble and that all differ: addiu $zero, $zero, n.
uint32_t filler_word(size_t index) { return 0x24000000u | static_cast<uint32_t>(index & 0xFFFF); }

void append_routine(Image& image, int number, const std::string& stem, uint32_t words) {
  while (image.text_end() % layout::kRoutineAlignment != 0) image.text.push_back(0);
  RoutineInfo routine;
  routine.number = number;
  routine.name = "n" + std::to_string(number) + "_" + stem + "_test";
  routine.file = static_cast<uint16_t>(image.files.size());
  routine.address = image.text_end();
  routine.size = 4 * words;
  routine.inst_error = routine.address + routine.size - 5 * 4;
  routine.cases = 3;
  for (uint32_t i = 0; i < words; ++i) image.text.push_back(filler_word(image.text.size()));
  image.files.push_back("inst/n" + std::to_string(number) + "_" + stem + ".S");
  image.routines.push_back(routine);
}

}  // namespace

Image small_image() {
  Image image;
  image.text_base = layout::kResetVector;
  image.files.push_back("start.S");
  while (image.text_end() < layout::kFirstRoutine) image.text.push_back(filler_word(image.text.size()));
  image.start_labels = {{"test_finish", layout::kEndLoop},
                        {"locate", layout::kLocate},
                        {"inst_test", layout::kInstTest},
                        {"test_end", layout::kTestEnd},
                        {"wait_1s", layout::kWait1s}};
  // Linked first, run second.
  append_routine(image, 2, "sll", 30);
  append_routine(image, 1, "addu", 25);
  std::swap(image.routines[0], image.routines[1]);
  image.text.push_back(layout::kRegisterUsageMask);
  image.text.insert(image.text.end(), 5, 0);
  image.lines.assign(image.text.size(), SourceLoc{});
  for (uint8_t i = 0; i < layout::kDataSize; ++i) image.data.push_back(static_cast<uint8_t>(0xD0 + i));
  return image;
}

std::string string_at(const std::vector<uint8_t>& file, uint32_t table_offset, uint32_t name) {
  std::string text;
  for (size_t at = size_t{table_offset} + name; at < file.size() && file[at] != 0; ++at)
    text.push_back(static_cast<char>(file[at]));
  return text;
}

}  // namespace r3k::test
