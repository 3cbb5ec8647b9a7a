#include "export/explain.h"

#include "board/board.h"
#include "common/error.h"
#include "common/hex.h"
#include "export/listing.h"
#include "image/case_index.h"
#include "board/layout.h"

namespace r3k::exporting {
namespace {

// Words with upper-case digits, as every explanation writes them.
std::string hex_word(uint32_t value) { return hex(value, {.upper = true}); }

std::string range(uint32_t from, uint32_t to) { return hex_word(from) + ".." + hex_word(to - 1); }

uint32_t boot_end(const Image& image) { return image.text_end() + static_cast<uint32_t>(image.data.size()); }

std::string routine_title(const RoutineInfo& routine) {
  return "routine " + std::to_string(routine.number) + " " + routine.name + " (" + routine_subject(routine) + ")";
}

// Code lines, with a run of zero words told as one line.
std::string code_or_zeros(const Image& image, uint32_t from, uint32_t to, uint32_t mark) {
  bool all_zero = to - from >= 4 * kFoldedZeroRun;
  for (uint32_t address = from; all_zero && address < to; address += 4) all_zero = image.word_at(address) == 0;
  if (!all_zero) return code_lines(image, from, to, mark);
  return "   " + range(from, to) + ": " + std::to_string((to - from) / 4) + " zero words\n";
}

// The routine holding `address` when it lies in no routine or start block.
std::string outside_routines(const Image& image, uint32_t address) {
  if (address >= image.text_end())
    return hex_word(address) + ": the data section's bytes (" + std::to_string(image.data.size()) +
           " zero bytes stored at _etext, at " + hex_word(layout::kRamBase) + " when running; no code reads them)\n";
  if (address >= image.text_end() - layout::kRegisterUsageSize)
    return hex_word(address) + ": the register-usage record (general-register mask " +
           hex_word(layout::kRegisterUsageMask) + "; nothing reads it)\n";
  for (const RoutineInfo& routine : image.routines)
    if (address < routine.address)
      return hex_word(address) + ": a zero word of the alignment gap before " + routine.name + "\n";
  return hex_word(address) + ": outside the start code and the routines\n";
}

}  // namespace

std::string explain_address(const Image& image, uint32_t address) {
  const uint32_t word_address = address & ~3u;
  const Place place = find_place(image, word_address);
  if (place.block)
    return hex_word(address) + ": start code, " + std::string(place.block->name) + " (" +
           range(place.block->address, place.block->end) + ")\n" +
           code_or_zeros(image, place.block->address, place.block->end, word_address);
  if (!place.routine) return outside_routines(image, address);
  const RoutineInfo& routine = *place.routine;
  std::string text = hex_word(address) + ": " + routine_title(routine) + ", ";
  if (place.test_case) {
    const CaseRecord& record = *place.test_case;
    text += describe_case(record) + "\n";
    return text + code_lines(image, record.address, record.end, word_address);
  }
  const uint32_t exit = routine.inst_error - 12;
  const CaseRange cases = cases_of(image, routine.number);
  if (word_address < exit) {
    const uint32_t body = cases.size() ? cases.first->address : exit;
    return text + "entry (advances the test number, clears the error flag)\n" +
           code_lines(image, routine.address, body, word_address);
  }
  return text + "exit (inst_error at " + hex_word(routine.inst_error) +
         ": a failing case branches there and skips the pass count)\n" +
         code_lines(image, exit, routine.address + routine.size, word_address);
}

std::string explain_display_word(const Image& image, uint32_t word) {
  const board::DisplayWord display = board::decode_display(word);
  const RoutineInfo* routine = find_routine(image, display.test_number);
  if (!routine) throw Error("explain: " + hex_word(word) + " names routine " + std::to_string(display.test_number) +
                            ", but the image has routines 1 to " + std::to_string(image.routines.size()));
  const uint32_t number = static_cast<uint32_t>(display.test_number);
  if (display.pass_count > number)
    throw Error("explain: " + hex_word(word) + " counts " + std::to_string(display.pass_count) +
                " passes after routine " + std::to_string(number) + ", more than routines have run");
  std::string text = hex_word(word) + ": written by " + routine_title(*routine) + " as it finished; pass count " +
                     std::to_string(display.pass_count) + "\n";
  if (number > 1)
    text += "  one word cannot tell whether routine " + std::to_string(number) +
            " itself passed: it passed if the previous word's count is one lower, failed if it is the same\n";
  const uint32_t failed = number - display.pass_count;
  if (failed == 0)
    return text + "  the count equals the routine number: routines 1 to " + std::to_string(number) + " all passed\n";
  text += "  " + std::to_string(display.pass_count) + " of the " + std::to_string(number) + " routines run so far passed: " +
          std::to_string(failed) + (failed == 1 ? " routine" : " routines") + " up to and including " +
          std::to_string(number) + " failed";
  if (failed == number) text += " (all of them)";
  return text + "\n";
}

std::string explain_routine(const Image& image, const RoutineInfo& routine) {
  std::string text = routine_title(routine) + ", source " + image.files[routine.file] + "\n";
  text += "  " + std::to_string(routine.cases) + " cases, code " + range(routine.address, routine.address + routine.size) +
          " (" + std::to_string(routine.size) + " bytes), inst_error at " + hex_word(routine.inst_error) + "\n";
  const CaseRange cases = cases_of(image, routine.number);
  for (const CaseRecord* first = cases.first; first != cases.last;) {
    const CaseRecord* last = first;
    while (last + 1 != cases.last && last[1].group == first->group) ++last;
    if (first->group == 0 && first == cases.first && last + 1 == cases.last) break;  // no groups
    text += "  group " + std::to_string(first->group) + (first->group_name.empty() ? "" : " (" + first->group_name + ")") +
            ": " + std::to_string(last - first + 1) + (last == first ? " case, " : " cases, ") + std::to_string(first->number) + " to " +
            std::to_string(last->number) + ", " + range(first->address, last->end) + "\n";
    first = last + 1;
  }
  return text;
}

std::string explain(const Image& image, const std::string& what, std::optional<uint32_t> number) {
  const std::string kinds = "a routine number (1.." + std::to_string(image.routines.size()) + "), an address in the boot memory (" +
                            range(image.text_base, boot_end(image)) + "), a display word (routine 1.." +
                            std::to_string(image.routines.size()) + " in the top byte) or a routine name";
  if (number) {
    if (const RoutineInfo* routine = find_routine(image, static_cast<int>(*number)); routine && *number < 256)
      return explain_routine(image, *routine);
    if (*number >= image.text_base && *number < boot_end(image)) return explain_address(image, *number);
    if (find_routine(image, board::decode_display(*number).test_number)) return explain_display_word(image, *number);
    throw Error("explain: " + what + " is not " + kinds);
  }
  const RoutineInfo* found = nullptr;
  int matches = 0;
  for (const RoutineInfo& routine : image.routines) {
    if (routine.name == what || routine.name == what + "_test") return explain_routine(image, routine);
    if (routine_instruction(routine) == what && routine.name.find("_ds_") == std::string::npos) {
      found = &routine;
      ++matches;
    }
  }
  if (matches == 1) return explain_routine(image, *found);
  throw Error("explain: '" + what + "' is not " + kinds);
}

}  // namespace r3k::exporting
