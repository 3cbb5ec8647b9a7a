// Writing an output file so that a reader never sees half of it: the bytes go
// to a temporary file beside the target, which then replaces the target in one
// rename. A failed write leaves the old file (or none) and no temporary.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace r3k {

// Throws r3k::Error "cannot write PATH: REASON" on failure.
void write_file_atomically(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace r3k
