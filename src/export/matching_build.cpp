#include "export/matching_build.h"

#include <cstdio>

#include "common/error.h"
#include "image/build.h"

namespace r3k::exporting {

Image rebuild_matching(const elf::LoadedElf& file, const std::string& path, uint32_t seed) {
  Image image = build_image(seed);
  if (image.boot_bytes() != file.boot) {
    char text[64];
    std::snprintf(text, sizeof text, " was not built with seed 0x%08X; pass --seed", seed);
    throw Error(path + text);
  }
  return image;
}

}  // namespace r3k::exporting
