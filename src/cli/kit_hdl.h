// The HDL files `kit` writes, as the build copied them from hdl/.
#pragma once

#include <span>
#include <string_view>

namespace r3k::cli {

struct KitFile {
  std::string_view name;  // "r3k_board.v"
  std::string_view text;
};

std::span<const KitFile> kit_hdl_files();

}  // namespace r3k::cli
