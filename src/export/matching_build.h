// The drawn case values behind an image file exist only in a build, so the
// listing and `explain` rebuild the image from its seed and make sure the
// file holds exactly that build's boot memory before they describe it.
#pragma once

#include <cstdint>
#include <string>

#include "elf/elf_reader.h"
#include "image/image.h"

namespace r3k::exporting {

// build_image(seed), if its boot memory equals the file's; otherwise an
// r3k::Error "PATH was not built with seed 0x52334B31; pass --seed".
Image rebuild_matching(const elf::LoadedElf& file, const std::string& path, uint32_t seed);

}  // namespace r3k::exporting
