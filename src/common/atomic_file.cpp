#include "common/atomic_file.h"

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

void write_all(const std::string& path, int descriptor, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(descriptor, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      fail(path, std::strerror(errno));
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
}

// Checks `path` and returns the file to write: its links followed, its
// missing parent directories made.
std::string prepare_target(const std::string& path) {
  if (path.empty()) throw Error("cannot write a file with an empty name");
  if (path.back() == '/') fail(path, "the name ends in '/', so it names a directory, not a file");
  const std::string target = followed_links(path);
  struct stat status {};
  if (::stat(target.c_str(), &status) == 0) {
    if (!S_ISREG(status.st_mode)) fail(path, "it is " + kind_of(status.st_mode) + ", not a regular file; nothing written");
  } else {
    create_parent_directories(path, target);
  }
  return target;
}

void write_atomically(const std::string& path, const char* data, std::size_t size) {
  const std::string target = prepare_target(path);
  TemporaryFile temporary(target, path);
  write_all(path, temporary.descriptor(), data, size);
  temporary.commit(target);
}

}  // namespace

void write_file_atomically(const std::string& path, const std::vector<uint8_t>& bytes) {
  write_atomically(path, reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

void write_file_atomically(const std::string& path, std::string_view text) {
  write_atomically(path, text.data(), text.size());
}

AtomicFileStream::AtomicFileStream(const std::string& path)
    : path_(path), target_(prepare_target(path)), temporary_(std::make_unique<TemporaryFile>(target_, path)) {}

AtomicFileStream::~AtomicFileStream() = default;  // an uncommitted temporary goes with it

void AtomicFileStream::write(const char* bytes, size_t size) {
  constexpr size_t kBufferSize = 1 << 16;
  buffer_.append(bytes, size);
  if (buffer_.size() < kBufferSize) return;
  write_all(path_, temporary_->descriptor(), buffer_.data(), buffer_.size());
  buffer_.clear();
}

void AtomicFileStream::commit() {
  write_all(path_, temporary_->descriptor(), buffer_.data(), buffer_.size());
  buffer_.clear();
  temporary_->commit(target_);
}

}  // namespace r3k
