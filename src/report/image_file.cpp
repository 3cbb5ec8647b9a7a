#include "report/image_file.h"

#include <algorithm>
#include <map>
#include <set>

#include "board/board.h"
#include "common/error.h"
#include "common/hex.h"
#include "image/build.h"
#include "image/case_index.h"
#include "image/run_order.h"
#include "supplement/supplement.h"

namespace r3k::report {
namespace {

constexpr ImageKind kKinds[] = {ImageKind::main, ImageKind::supplement};
// How many differing words a message names.
constexpr size_t kNamedWords = 3;

std::string hex_word(uint32_t value) { return hex(value, {.upper = true}); }

std::map<int, std::string> routine_symbols(const std::vector<elf::ElfSymbol>& symbols) {
  std::map<int, std::string> names;
  for (const elf::ElfSymbol& symbol : symbols)
    if (const std::optional<int> number = board::routine_number_of(symbol.name)) names[*number] = symbol.name;
  return names;
}

// How many of the kind's routines the names name right, and the first that is not.
struct Agreement {
  size_t same = 0;
  std::string first_difference;
};
Agreement agreement(const std::map<int, std::string>& names, ImageKind kind) {
  Agreement result;
  const std::span<const RoutineSpec> order = run_order_of(kind);
  for (const RoutineSpec& spec : order) {
    const auto it = names.find(spec.number);
    if (it != names.end() && it->second == spec.name) {
      ++result.same;
    } else if (result.first_difference.empty()) {
      result.first_difference = "its routine " + std::to_string(spec.number) + " is " +
                                (it == names.end() ? "missing" : it->second) + " where the " +
                                std::string(image_name(kind)) + " has " + std::string(spec.name);
    }
  }
  if (result.first_difference.empty() && names.size() != order.size())
    result.first_difference = "it names " + std::to_string(names.size()) + " routines, the " +
                              std::string(image_name(kind)) + " " + std::to_string(order.size());
  return result;
}

// "is neither the main image nor the supplement: its routine 3 is ... where ... has ..."
std::string neither(const std::vector<elf::ElfSymbol>& symbols) {
  const std::map<int, std::string> names = routine_symbols(symbols);
  std::string why = "it has no routine symbols (nN_xxx_test)";
  if (!names.empty()) {
    const Agreement main = agreement(names, ImageKind::main), supplement = agreement(names, ImageKind::supplement);
    why = (main.same >= supplement.same ? main : supplement).first_difference;
  }
  return "is neither the main image nor the supplement: " + why;
}

uint32_t word_of(const std::vector<uint8_t>& bytes, size_t at) {
  uint32_t word = 0;
  for (size_t i = 0; i < 4 && at + i < bytes.size(); ++i) word |= uint32_t{bytes[at + i]} << (8 * i);
  return word;
}

// What differs between the build and the file's boot memory, which differ.
std::string differences(const Image& built, const std::vector<uint8_t>& file, const std::string& path) {
  const std::vector<uint8_t> expected = built.boot_bytes();
  const std::string image = std::string(image_name(built.kind)) + " of seed " + hex_word(built.seed);
  size_t count = 0;
  std::set<int> routines;
  std::string named;
  for (size_t at = 0; at < std::min(expected.size(), file.size()); at += 4) {
    const uint32_t want = word_of(expected, at), have = word_of(file, at);
    if (want == have) continue;
    const uint32_t address = built.text_base + static_cast<uint32_t>(at);
    const Place place = find_place(built, address);
    if (place.routine) routines.insert(place.routine->number);
    if (++count > kNamedWords) continue;
    const std::string where = describe_place(place);
    named += (named.empty() ? "" : ", ") + hex_word(address) + " (" + (where.empty() ? "" : where + ": ") +
             hex_word(have) + ", built " + hex_word(want) + ")";
  }
  if (count > kNamedWords) named += " and " + std::to_string(count - kNamedWords) + " more";
  // Another seed draws other values for every routine.
  if (expected.size() != file.size())
    return path + " was not built with seed " + hex_word(built.seed) + "; pass --seed (its boot memory is " +
           std::to_string(file.size()) + " bytes, the " + image + " " + std::to_string(expected.size()) + ")";
  if (routines.size() > built.routines.size() / 2)
    return path + " was not built with seed " + hex_word(built.seed) + "; pass --seed (" + std::to_string(count) +
           " of its " + std::to_string(file.size() / 4) + " words differ from the " + image + ", first at " + named +
           ")";
  return path + " is the " + image + " with " + std::to_string(count) + (count == 1 ? " word" : " words") +
         " changed: at " + named;
}

}  // namespace

std::span<const RoutineSpec> run_order_of(ImageKind kind) {
  return kind == ImageKind::main ? run_order() : supplement::run_order();
}

Image build(ImageKind kind, uint32_t seed) {
  return kind == ImageKind::main ? build_image(seed) : supplement::build(seed);
}

std::optional<ImageKind> kind_of(const std::vector<elf::ElfSymbol>& symbols) {
  const std::map<int, std::string> names = routine_symbols(symbols);
  for (const ImageKind kind : kKinds)
    if (agreement(names, kind).first_difference.empty()) return kind;
  return std::nullopt;
}

Recognised recognise(const elf::LoadedElf& file, const std::string& path, uint32_t seed) {
  const std::optional<ImageKind> kind = kind_of(file.symbols);
  if (!kind) {
    // A file without symbols may still hold one of the builds word for word.
    for (const ImageKind candidate : kKinds) {
      Image image = build(candidate, seed);
      if (image.boot_bytes() == file.boot) return {std::move(image), ""};
    }
    return {std::nullopt, path + " " + neither(file.symbols)};
  }
  Image image = build(*kind, seed);
  if (image.boot_bytes() == file.boot) return {std::move(image), ""};
  return {std::nullopt, differences(image, file.boot, path)};
}

Image rebuild_matching(const elf::LoadedElf& file, const std::string& path, uint32_t seed) {
  Recognised recognised = recognise(file, path, seed);
  if (!recognised.image) throw Error(recognised.mismatch);
  return std::move(*recognised.image);
}

void require_kind(const std::vector<elf::ElfSymbol>& symbols, const std::string& path, ImageKind kind) {
  const std::optional<ImageKind> found = kind_of(symbols);
  if (found == kind) return;
  if (!found) throw Error(path + " " + neither(symbols));
  throw Error(path + " is the " + std::string(image_name(*found)) + ", not the " + std::string(image_name(kind)));
}

}  // namespace r3k::report
