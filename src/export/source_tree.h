// The image as a tree of GNU assembler sources: start.S, one inst/nN_name.S
// per routine, a shared header, a linker script and a Makefile. Assembled
// with mipsel-linux-gnu-as and linked with mipsel-linux-gnu-ld, the tree gives
// the same text and data, at the same addresses, with the same symbols.
//
// The renderer also says where every text word stands in the files it wrote,
// and the line tables of the image's debug sections are made from exactly
// that, so a debugger's file:line is a line of these files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/image.h"

namespace r3k::source {

struct SourceFile {
  std::string path;  // relative to the tree's root: "start.S", "inst/n2_addu.S", "image.ld"
  std::string text;
};

// A text word's place in the tree: a source file of the image (an index into
// Image::files, which the tree writes under the same names) and a line of it.
struct SourcePosition {
  uint16_t file = 0;
  uint32_t line = 0;  // 1-based; 0 = the word comes from no source line (padding, the register record)
};

struct SourceTree {
  std::vector<SourceFile> files;
  std::vector<SourcePosition> positions;  // one per text word of the image
};

SourceTree render_source_tree(const Image& image);

// Writes every file under dir, each through the safe-write helper.
void write_source_tree(const SourceTree& tree, const std::string& dir);

}  // namespace r3k::source
