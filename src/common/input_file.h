// Opening the files a command reads, with the real cause when it cannot: a
// directory says so (fopen would open it and the first read fail), and a
// file meant to be small is read only up to its bound, so /dev/zero or a
// wrong file of gigabytes costs no more than the bound.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>

namespace r3k {

struct InputCloser {
  void operator()(std::FILE* file) const;  // leaves stdin open
};
using InputFile = std::unique_ptr<std::FILE, InputCloser>;

// "-" is standard input. Throws r3k::Error "cannot read PATH: REASON".
InputFile open_input(const std::string& path);

// The whole file, refused with an r3k::Error when it has more than `most`
// bytes; `what` names what it should be ("a run --json report").
std::string read_small_file(const std::string& path, size_t most, const std::string& what);

}  // namespace r3k
