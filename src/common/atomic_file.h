// Writing an output file so that a reader never sees half of it: the bytes go
// to a temporary file beside the target, which then replaces the target in one
// rename. Every file the tool writes goes through here, so all share one
// behaviour:
//   * missing parent directories are created;
//   * a symbolic link is written through: its target is replaced, atomically,
//     by a temporary beside that target;
//   * an existing path that is not a regular file (a directory, a device such
//     as /dev/null, a FIFO, a socket) is refused, never replaced;
//   * a failed write, or SIGINT or SIGTERM during one, leaves the old file (or
//     none) and no temporary.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace r3k {

class TemporaryFile;

// Throws r3k::Error "cannot write PATH: REASON" on failure.
void write_file_atomically(const std::string& path, const std::vector<uint8_t>& bytes);
void write_file_atomically(const std::string& path, std::string_view text);

// The same for output too large to hold in memory (a trace of the full
// pause): written in pieces to the temporary, which commit() renames over the
// target. Destroyed without commit() (an error on the way), it removes the
// temporary and leaves the target alone.
class AtomicFileStream {
 public:
  explicit AtomicFileStream(const std::string& path);
  ~AtomicFileStream();
  AtomicFileStream(const AtomicFileStream&) = delete;
  AtomicFileStream& operator=(const AtomicFileStream&) = delete;

  void write(const char* bytes, size_t size);  // throws like write_file_atomically
  void commit();

 private:
  std::string path_, target_;
  std::unique_ptr<TemporaryFile> temporary_;
  std::string buffer_;
};

}  // namespace r3k
