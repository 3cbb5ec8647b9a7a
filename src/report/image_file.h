// Which of the tool's images a file holds, and that image rebuilt. The drawn
// case values behind the words exist only in a build, so whatever names the
// routine and case of an address (the listing, `explain`, `trace-diff`)
// rebuilds the image from its seed and makes sure the file holds exactly that
// build's boot memory first. A file tells its kind by its routine symbols.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "elf/elf_reader.h"
#include "image/image.h"
#include "routine/routine.h"

namespace r3k::report {

// The run-order table of each kind.
std::span<const RoutineSpec> run_order_of(ImageKind kind);

// The image of `kind` built from `seed`.
Image build(ImageKind kind, uint32_t seed);

// The kind whose run order the file's routine symbols ("nN_xxx_test") name,
// every routine and no other; nothing when they name neither.
std::optional<ImageKind> kind_of(const std::vector<elf::ElfSymbol>& symbols);

// The build of the seed that the file holds, or, in one line starting with
// `path`, what differs: another kind of file, or the words at these
// addresses (another seed changes words all over the image).
struct Recognised {
  std::optional<Image> image;
  std::string mismatch;
};
Recognised recognise(const elf::LoadedElf& file, const std::string& path, uint32_t seed);

// The image in the file, rebuilt; otherwise an r3k::Error saying what differs.
Image rebuild_matching(const elf::LoadedElf& file, const std::string& path, uint32_t seed);

// Refuses (r3k::Error, one line) a file that is not an image of `kind`.
void require_kind(const std::vector<elf::ElfSymbol>& symbols, const std::string& path, ImageKind kind);

}  // namespace r3k::report
