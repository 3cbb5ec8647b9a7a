// Writing an output file so that a reader never sees half of it: the bytes go
// to a temporary file beside the target, which then replaces the target in one
// rename. Every file the tool writes goes through here, so all share one
// behaviour:
//   * missing parent directories are created;
//   * a symbolic link is written through: its target is replaced, atomically,
//     by a temporary beside that target;
//   * a pipe (a FIFO with a reader, /dev/stdout into a pipe) or a terminal is
//     written as it is, there being no file to replace;
//   * any other existing path that is not a regular file (a directory, a
//     device such as /dev/null, a FIFO nobody reads, a socket) is refused;
//   * a failed write, or SIGINT or SIGTERM during one, leaves the old file (or
//     none) and no temporary; where the temporary is unnamed (Linux), so does
//     SIGKILL.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace r3k {

class TemporaryFile;

// Why a write failed, in words: strerror's, but a pipe whose reader has
// gone (EPIPE, with SIGPIPE ignored) says so.
std::string write_failure(int error);

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
  int descriptor() const;

  std::string path_, target_;
  int direct_ = -1;  // a pipe or terminal written as it is
  std::unique_ptr<TemporaryFile> temporary_;
  std::string buffer_;
};

}  // namespace r3k
