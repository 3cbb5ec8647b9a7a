// Writes a test image as a statically linked ELF32 little-endian MIPS
// executable: the text loaded and entered at the reset vector, the data run
// from RAM but stored after the text, symbols for every routine and label,
// and a procedure descriptor per routine.
//
// The register-usage record needs nothing here: the image builder puts it in
// the last 24 bytes of the text, so it is written with the text.
//
// The output depends on the image alone, byte for byte.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "image/image.h"

namespace r3k::elf {

struct ElfOptions {
  // The DWARF sections: a compilation unit per source file of the exported
  // source tree, and a line table that maps every instruction to its line.
  bool debug = true;
};

std::vector<uint8_t> elf_bytes(const Image& image, const ElfOptions& options = {});
void write_elf(const Image& image, std::ostream& out, const ElfOptions& options = {});
// Replaces the file at path whole or not at all; throws r3k::Error on failure.
void write_elf_file(const Image& image, const std::string& path, const ElfOptions& options = {});

}  // namespace r3k::elf
