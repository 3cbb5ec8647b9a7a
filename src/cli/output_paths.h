// An output must not overwrite what the same command reads, nor another of
// its outputs: `run v.elf --trace v.elf` would replace the image with its own
// trace. Paths are compared as files (device and inode), so a link or a
// "./" spelling is caught; one still to be made, by its place.
#pragma once

#include <string>
#include <vector>

namespace r3k::cli {

struct NamedPath {
  std::string role;  // how the user named it: "--trace", "the image"
  std::string path;
};

// Throws r3k::Error "COMMAND: ROLE PATH is also OTHER ROLE; ...". Outputs
// "-" (standard output) are left out.
void refuse_shared_outputs(const std::string& command, const std::vector<NamedPath>& inputs,
                           const std::vector<NamedPath>& outputs);

}  // namespace r3k::cli
