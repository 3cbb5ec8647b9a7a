#include "common/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "common/error.h"
#include "common/temporary_file.h"

namespace r3k {
namespace {

[[noreturn]] void fail(const std::string& path, const std::string& reason) {
  throw Error("cannot write " + path + ": " + reason);
}

std::string kind_of(mode_t mode) {
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

// The file that `path` names once its symbolic links are followed; it need
// not exist yet (a link may point at a file still to be made).
std::string followed_links(const std::string& path) {
  constexpr int kMostLinks = 40;  // as the kernel's own limit
  std::filesystem::path current = path;
  for (int hop = 0; hop < kMostLinks; ++hop) {
    struct stat status {};
    if (::lstat(current.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return current.string();
    std::error_code error;
    const std::filesystem::path link = std::filesystem::read_symlink(current, error);
    if (error) fail(path, "cannot read the link " + current.string() + ": " + error.message());
    current = link.is_absolute() ? link : current.parent_path() / link;
  }
  fail(path, "too many levels of symbolic links");
}

// Makes every missing directory above `file`, naming the one that could not
// be made and why.
void create_parent_directories(const std::string& path, const std::string& file) {
  std::filesystem::path prefix;
  for (const std::filesystem::path& part : std::filesystem::path(file).parent_path()) {
    prefix /= part;
    struct stat status {};
    if (::stat(prefix.c_str(), &status) == 0) {
      if (!S_ISDIR(status.st_mode)) fail(path, prefix.string() + " is not a directory");
      continue;
    }
    if (errno != ENOENT) fail(path, "cannot reach " + prefix.string() + ": " + std::strerror(errno));
    if (::mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST)
      fail(path, "cannot create directory " + prefix.string() + ": " + std::strerror(errno));
  }
}

struct Target {
  std::string file;
  int direct = -1;  // a pipe or terminal, written as it is
};

struct Descriptor {
  int number;
  explicit Descriptor(int n) : number(n) {}
  ~Descriptor() { ::close(number); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
};

void write_all(const std::string& path, int descriptor, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(descriptor, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      fail(path, write_failure(errno));
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
}

// A pipe (a FIFO, or /dev/stdout when it is one) or a terminal has no file
// to replace: it is written as it is. Opened without blocking, so a FIFO
// nobody reads is refused rather than waited on. -1: not such a target.
int open_stream_target(const std::string& path, const std::string& target, mode_t mode) {
  if (!S_ISFIFO(mode) && !S_ISCHR(mode)) return -1;
  const int descriptor = ::open(target.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) {
    if (S_ISFIFO(mode) && errno == ENXIO) fail(path, "it is a FIFO that no process reads; nothing written");
    if (S_ISFIFO(mode)) fail(path, std::strerror(errno));
    return -1;
  }
  if (S_ISCHR(mode) && !::isatty(descriptor)) {
    ::close(descriptor);
    return -1;
  }
  ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
  return descriptor;
}

// Checks `path` and returns the file to write: its links followed, its
// missing parent directories made; or a pipe or terminal, opened.
Target prepare_target(const std::string& path) {
  if (path.empty()) throw Error("cannot write a file with an empty name");
  if (path.back() == '/') fail(path, "the name ends in '/', so it names a directory, not a file");
  struct stat status {};
  if (::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
    const int direct = open_stream_target(path, path, status.st_mode);
    if (direct >= 0) return {path, direct};
    fail(path, "it is " + kind_of(status.st_mode) + ", not a regular file; nothing written");
  }
  const std::string target = followed_links(path);
  if (::stat(target.c_str(), &status) != 0) create_parent_directories(path, target);
  return {target, -1};
}

void write_atomically(const std::string& path, const char* data, std::size_t size) {
  const Target target = prepare_target(path);
  if (target.direct >= 0) {
    const Descriptor direct(target.direct);
    write_all(path, direct.number, data, size);
    return;
  }
  TemporaryFile temporary(target.file, path);
  write_all(path, temporary.descriptor(), data, size);
  temporary.commit(target.file);
}

}  // namespace

std::string write_failure(int error) {
  return error == EPIPE ? "the reader has gone (broken pipe)" : std::strerror(error);
}

void write_file_atomically(const std::string& path, const std::vector<uint8_t>& bytes) {
  write_atomically(path, reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

void write_file_atomically(const std::string& path, std::string_view text) {
  write_atomically(path, text.data(), text.size());
}

AtomicFileStream::AtomicFileStream(const std::string& path) : path_(path) {
  Target target = prepare_target(path);
  target_ = std::move(target.file);
  direct_ = target.direct;
  if (direct_ < 0) temporary_ = std::make_unique<TemporaryFile>(target_, path);
}

AtomicFileStream::~AtomicFileStream() {  // an uncommitted temporary goes with it
  if (direct_ >= 0) ::close(direct_);
}

int AtomicFileStream::descriptor() const { return direct_ >= 0 ? direct_ : temporary_->descriptor(); }

void AtomicFileStream::write(const char* bytes, size_t size) {
  constexpr size_t kBufferSize = 1 << 16;
  buffer_.append(bytes, size);
  if (buffer_.size() < kBufferSize) return;
  write_all(path_, descriptor(), buffer_.data(), buffer_.size());
  buffer_.clear();
}

void AtomicFileStream::commit() {
  write_all(path_, descriptor(), buffer_.data(), buffer_.size());
  buffer_.clear();
  if (temporary_) temporary_->commit(target_);
}

}  // namespace r3k
