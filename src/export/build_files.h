// The files of the source tree besides the sources: the shared header, the
// linker script that gives the image's layout and symbols, and the Makefile
// that assembles and links the tree with GNU as and ld.
#pragma once

#include <vector>

#include "export/source_tree.h"

namespace r3k::source {

std::vector<SourceFile> build_files(const Image& image);

}  // namespace r3k::source
