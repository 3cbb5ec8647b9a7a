#include "common/input_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "common/error.h"

namespace r3k {

void InputCloser::operator()(std::FILE* file) const {
  if (file && file != stdin) std::fclose(file);
}

InputFile open_input(const std::string& path) {
  if (path.empty()) throw Error("cannot read a file with an empty name");
  if (path == "-") return InputFile(stdin);
  InputFile file(std::fopen(path.c_str(), "rb"));
  if (!file) throw Error("cannot read " + path + ": " + std::strerror(errno));
  struct stat status {};
  if (::fstat(fileno(file.get()), &status) == 0 && S_ISDIR(status.st_mode))
    throw Error("cannot read " + path + ": it is a directory, not a file");
  return file;
}

std::string read_small_file(const std::string& path, size_t most, const std::string& what) {
  const InputFile file = open_input(path);
  std::string bytes;
  char chunk[1 << 14];
  for (;;) {
    const size_t got = std::fread(chunk, 1, sizeof chunk, file.get());
    bytes.append(chunk, got);
    if (bytes.size() > most)
      throw Error("cannot read " + path + ": it is larger than " + std::to_string(most) + " bytes, too large for " +
                  what);
    if (got < sizeof chunk) break;
  }
  if (std::ferror(file.get())) throw Error("cannot read " + path + ": " + std::strerror(errno));
  return bytes;
}

}  // namespace r3k
