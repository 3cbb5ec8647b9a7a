#include "common/atomic_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "common/error.h"

namespace r3k {
namespace {

[[noreturn]] void fail(const std::string& path, const std::string& reason) {
  throw Error("cannot write " + path + ": " + reason);
}

// Creates a new temporary file next to path. The name must be new ("x"), so
// two writers of the same path never share a temporary; a stale one left by a
// killed run is skipped.
std::FILE* create_temporary(const std::string& path, std::string& temporary) {
  constexpr int kAttempts = 100;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    temporary = path + ".tmp" + std::to_string(attempt);
    errno = 0;
    if (std::FILE* file = std::fopen(temporary.c_str(), "wbx")) return file;
    if (errno != EEXIST) fail(path, std::strerror(errno));
  }
  fail(path, "too many temporary files beside it");
}

void create_parent_directories(const std::string& path) {
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  std::error_code ignored;  // a parent that cannot be made shows as the temporary's error
  if (!parent.empty()) std::filesystem::create_directories(parent, ignored);
}

}  // namespace

void write_file_atomically(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::string temporary;
  std::FILE* file = create_temporary(path, temporary);
  errno = 0;
  const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const int write_errno = errno;
  const bool closed = std::fclose(file) == 0;
  const int close_errno = errno;
  if (!written || !closed) {
    std::remove(temporary.c_str());
    const int reason = !written ? write_errno : close_errno;
    fail(path, reason != 0 ? std::strerror(reason) : "write failed");
  }
  std::error_code error;
  std::filesystem::rename(temporary, path, error);
  if (error) {
    std::remove(temporary.c_str());
    fail(path, error.message());
  }
}

AtomicFileStream::AtomicFileStream(const std::string& path) : path_(path) {
  create_parent_directories(path);
  file_ = create_temporary(path, temporary_);
}

AtomicFileStream::~AtomicFileStream() {
  if (!file_) return;
  std::fclose(file_);
  std::remove(temporary_.c_str());
}

void AtomicFileStream::write(const char* bytes, size_t size) {
  errno = 0;
  if (file_ && std::fwrite(bytes, 1, size, file_) == size) return;
  fail(path_, errno != 0 ? std::strerror(errno) : "write failed");
}

void AtomicFileStream::commit() {
  errno = 0;
  const bool closed = std::fclose(file_) == 0;
  const int close_errno = errno;
  file_ = nullptr;
  std::error_code error;
  if (closed) std::filesystem::rename(temporary_, path_, error);
  if (!closed || error) {
    std::remove(temporary_.c_str());
    fail(path_, !closed ? (close_errno != 0 ? std::strerror(close_errno) : "write failed") : error.message());
  }
}

}  // namespace r3k
