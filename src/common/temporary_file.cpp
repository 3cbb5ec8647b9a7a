#include "common/temporary_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>

#include "common/error.h"

namespace r3k {
namespace {

// The live temporaries, in a fixed table that a signal handler can walk: it
// may neither lock nor allocate, so each entry is a flag and a path buffer.
constexpr int kSlots = 32;
constexpr std::size_t kPathCapacity = 4096;
struct Slot {
  std::atomic<bool> live{false};
  char path[kPathCapacity]{};
};
// Constant-initialised: the 128 KiB table lies in zero pages that nothing
// touches before a temporary is made.
constinit Slot slots[kSlots];
std::mutex claim_mutex;
constexpr int kCleanedSignals[] = {SIGINT, SIGTERM};

extern "C" void remove_temporaries_then_die(int signal_number) {
  for (Slot& slot : slots)
    if (slot.live.load(std::memory_order_acquire)) ::unlink(slot.path);
  // The handler was installed with SA_RESETHAND and SA_NODEFER: the signal
  // now takes its default action and ends the process.
  ::raise(signal_number);
}

// Installs the handler once, for signals whose action is still the default:
// a program that ignores or handles SIGINT itself keeps its choice.
void install_handlers() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (const int signal_number : kCleanedSignals) {
      struct sigaction current {};
      if (::sigaction(signal_number, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) continue;
      struct sigaction cleanup {};
      cleanup.sa_handler = remove_temporaries_then_die;
      sigemptyset(&cleanup.sa_mask);
      cleanup.sa_flags = SA_RESETHAND | SA_NODEFER;
      ::sigaction(signal_number, &cleanup, nullptr);
    }
  });
}

int claim_slot(const std::string& path) {
  if (path.size() >= kPathCapacity) return -1;
  const std::lock_guard<std::mutex> lock(claim_mutex);
  for (int i = 0; i < kSlots; ++i) {
    if (slots[i].live.load(std::memory_order_relaxed)) continue;
    std::memcpy(slots[i].path, path.c_str(), path.size() + 1);
    slots[i].live.store(true, std::memory_order_release);
    return i;
  }
  return -1;  // more than kSlots at once: still written, only not cleaned on a signal
}

void release_slot(int slot) {
  if (slot >= 0) slots[slot].live.store(false, std::memory_order_release);
}

// SIGINT and SIGTERM wait while a temporary is made and entered in the table,
// so none can exist unlisted.
class CleanedSignalsBlocked {
 public:
  CleanedSignalsBlocked() {
    sigset_t blocked;
    sigemptyset(&blocked);
    for (const int signal_number : kCleanedSignals) sigaddset(&blocked, signal_number);
    ::pthread_sigmask(SIG_BLOCK, &blocked, &previous_);
  }
  ~CleanedSignalsBlocked() { ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  CleanedSignalsBlocked(const CleanedSignalsBlocked&) = delete;
  CleanedSignalsBlocked& operator=(const CleanedSignalsBlocked&) = delete;

 private:
  sigset_t previous_;
};

// The permissions the file gets: an existing target's own, else what a plain
// creation would give (0666 less the umask). mkstemp itself makes 0600.
mode_t permissions_for(const std::string& target) {
  struct stat status {};
  if (::stat(target.c_str(), &status) == 0) return status.st_mode & 07777;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

[[noreturn]] void fail(const std::string& target, const std::string& reason) {
  throw Error("cannot write " + target + ": " + reason);
}

}  // namespace

TemporaryFile::TemporaryFile(const std::string& target, const std::string& shown_as)
    : shown_as_(shown_as.empty() ? target : shown_as) {
  install_handlers();
  directory_ = std::filesystem::path(target).parent_path().string();
  if (directory_.empty()) directory_ = ".";
#ifdef O_TMPFILE
  // Unnamed until commit: a process killed by SIGKILL, which no handler
  // sees, leaves nothing behind. It is named through /proc, so only where
  // that is mounted.
  static const bool can_name = ::access("/proc/self/fd", X_OK) == 0;
  if (can_name) descriptor_ = ::open(directory_.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  if (descriptor_ >= 0) {
    ::fchmod(descriptor_, permissions_for(target));
    return;
  }
#endif
  // Where the file system has no unnamed files: a short name, so that a
  // target named with 255 characters still has a temporary beside it.
  std::string name = directory_ + "/.r3k-XXXXXX";
  {
    const CleanedSignalsBlocked blocked;
    descriptor_ = ::mkstemp(name.data());
    if (descriptor_ < 0) fail(shown_as_, "cannot create a file in " + directory_ + ": " + std::strerror(errno));
    path_ = name;
    slot_ = claim_slot(path_);
  }
  ::fchmod(descriptor_, permissions_for(target));
}

TemporaryFile::~TemporaryFile() {
  if (descriptor_ >= 0) ::close(descriptor_);
  if (!committed_ && !path_.empty()) ::unlink(path_.c_str());
  release_slot(slot_);
}

// Gives the unnamed file a short free name beside the target; SIGINT and
// SIGTERM are held off by the caller until it has been renamed.
void TemporaryFile::link_unnamed() {
  static std::atomic<unsigned> counter{0};
  const std::string by_descriptor = "/proc/self/fd/" + std::to_string(descriptor_);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name =
        directory_ + "/.r3k-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    if (::linkat(AT_FDCWD, by_descriptor.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      path_ = name;
      slot_ = claim_slot(path_);
      return;
    }
    if (errno != EEXIST) fail(shown_as_, "cannot name the file in " + directory_ + ": " + std::strerror(errno));
  }
  fail(shown_as_, "cannot name the file in " + directory_ + ": every name tried exists");
}

void TemporaryFile::commit(const std::string& target) {
  const CleanedSignalsBlocked blocked;
  if (path_.empty()) link_unnamed();
  const int descriptor = descriptor_;
  descriptor_ = -1;
  if (::close(descriptor) != 0) fail(shown_as_, std::strerror(errno));
  if (::rename(path_.c_str(), target.c_str()) != 0) fail(shown_as_, std::strerror(errno));
  committed_ = true;
}

int live_temporary_files() {
  int live = 0;
  for (const Slot& slot : slots) live += slot.live.load(std::memory_order_acquire);
  return live;
}

}  // namespace r3k
