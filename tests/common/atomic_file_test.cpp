// Replacing an output file whole or not at all, and only ever a regular file.
#include "common/atomic_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <thread>

#include "common/error.h"
#include "common/temporary_file.h"
#include "support/tools.h"

namespace r3k {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> entries(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

std::string write_error(const std::string& path) {
  try {
    write_file_atomically(path, std::vector<uint8_t>{1});
  } catch (const Error& error) {
    return error.what();
  }
  return "no error for " + path;
}

TEST(AtomicFile, WritesAndReplacesLeavingNoTemporary) {
  test::TempDir dir;
  const std::string path = dir.path("out.bin");
  write_file_atomically(path, std::vector<uint8_t>{1, 2, 3});
  EXPECT_EQ(test::read_text(path), std::string("\x01\x02\x03"));
  write_file_atomically(path, std::vector<uint8_t>{});
  EXPECT_EQ(test::read_text(path), "");
  write_file_atomically(path, std::string_view("text\n"));
  EXPECT_EQ(test::read_text(path), "text\n");
  EXPECT_EQ(entries(dir.dir()), std::vector<std::string>{"out.bin"});
  EXPECT_EQ(live_temporary_files(), 0);
}

TEST(AtomicFile, NewFileGetsTheUmaskAndAReplacedOneKeepsItsPermissions) {
  test::TempDir dir;
  const mode_t mask = ::umask(022);
  write_file_atomically(dir.path("new.bin"), std::vector<uint8_t>{1});
  EXPECT_EQ(fs::status(dir.path("new.bin")).permissions(), fs::perms(0644));
  fs::permissions(dir.path("new.bin"), fs::perms(0600));
  write_file_atomically(dir.path("new.bin"), std::vector<uint8_t>{2});
  EXPECT_EQ(fs::status(dir.path("new.bin")).permissions(), fs::perms(0600));
  ::umask(mask);
}

// Temporaries have unique names: leftovers of killed runs under the old
// numbered names (or any others) never block a write.
TEST(AtomicFile, StaleTemporariesNeverBlockAWrite) {
  test::TempDir dir;
  const std::string path = dir.path("out.bin");
  for (int i = 0; i < 150; ++i) test::write_bytes(path + ".tmp" + std::to_string(i), {9});
  write_file_atomically(path, std::vector<uint8_t>{7});
  EXPECT_EQ(test::read_text(path), "\x07");
  EXPECT_EQ(test::read_text(path + ".tmp0"), "\x09");
}

TEST(AtomicFile, CreatesMissingDirectoriesAndNamesTheOneItCannot) {
  test::TempDir dir;
  write_file_atomically(dir.path("a/b/c/out.bin"), std::vector<uint8_t>{5});
  EXPECT_EQ(test::read_text(dir.path("a/b/c/out.bin")), "\x05");
  test::write_bytes(dir.path("plain"), {1});
  EXPECT_EQ(write_error(dir.path("plain/sub/out.bin")),
            "cannot write " + dir.path("plain/sub/out.bin") + ": " + dir.path("plain") + " is not a directory");
}

// A directory the writer may not change: as root, the write runs in a child
// that has given up root, since root may create directories anywhere.
TEST(AtomicFile, AFailedMkdirNamesItsCause) {
  test::TempDir dir;
  fs::permissions(dir.dir(), fs::perms(0755));
  fs::create_directory(dir.path("locked"));
  fs::permissions(dir.path("locked"), fs::perms(0555));
  const std::string path = dir.path("locked/new/out.bin");
  const std::string expected = "cannot write " + path + ": cannot create directory " + dir.path("locked/new") +
                               ": Permission denied";
  if (::geteuid() != 0) {
    EXPECT_EQ(write_error(path), expected);
    return;
  }
  int pipe_ends[2];
  ASSERT_EQ(::pipe(pipe_ends), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(pipe_ends[0]);
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
    const std::string message = write_error(path);
    ssize_t ignored = ::write(pipe_ends[1], message.data(), message.size());
    (void)ignored;
    ::_exit(0);
  }
  ::close(pipe_ends[1]);
  std::string message;
  char buffer[512];
  for (ssize_t n; (n = ::read(pipe_ends[0], buffer, sizeof buffer)) > 0;) message.append(buffer, n);
  ::close(pipe_ends[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child could not drop root";
  EXPECT_EQ(message, expected);
  EXPECT_FALSE(fs::exists(dir.path("locked/new")));
}

TEST(AtomicFile, RefusesEverythingButARegularFileAndLeavesItAsItWas) {
  test::TempDir dir;
  fs::create_directory(dir.path("a_directory"));
  ASSERT_EQ(::mkfifo(dir.path("a_fifo").c_str(), 0644), 0);
  const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socket_path = dir.path("a_socket");
  ASSERT_LT(socket_path.size(), sizeof address.sun_path);
  std::strcpy(address.sun_path, socket_path.c_str());
  ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  std::vector<std::pair<std::string, std::string>> refused = {
      {"a_directory", "a directory, not a regular file"},
      {"a_fifo", "a FIFO that no process reads"},
      {"a_socket", "a socket, not a regular file"}};
  // A device node like /dev/null, where this machine lets a test make one.
  if (::mknod(dir.path("a_device").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0)
    refused.push_back({"a_device", "a character device, not a regular file"});
  for (const auto& [name, kind] : refused)
    EXPECT_EQ(write_error(dir.path(name)), "cannot write " + dir.path(name) + ": it is " + kind + "; nothing written");
  ::close(sock);
  EXPECT_TRUE(fs::is_fifo(dir.path("a_fifo")));
  EXPECT_TRUE(fs::is_socket(dir.path("a_socket")));
  EXPECT_EQ(entries(dir.dir()).size(), refused.size());
}

// The longest legal names: the temporary's name must not be longer.
TEST(AtomicFile, NamesOfUpTo255CharactersAreWritten) {
  test::TempDir dir;
  for (const size_t length : {245, 255}) {
    const std::string path = dir.path(std::string(length, 'x'));
    write_file_atomically(path, std::vector<uint8_t>{6});
    AtomicFileStream stream(path);
    stream.write("ab", 2);
    stream.commit();
    EXPECT_EQ(test::read_text(path), "ab");
  }
  EXPECT_EQ(entries(dir.dir()).size(), 2u);
}

TEST(AtomicFile, EmptyNamesAndTrailingSlashesNameTheRealCause) {
  test::TempDir dir;
  EXPECT_EQ(write_error(""), "cannot write a file with an empty name");
  EXPECT_EQ(write_error(dir.path("newdir/")),
            "cannot write " + dir.path("newdir/") + ": the name ends in '/', so it names a directory, not a file");
  EXPECT_FALSE(fs::exists(dir.path("newdir")));
}

TEST(AtomicFile, WritesThroughASymlinkToItsTarget) {
  test::TempDir dir;
  fs::create_directory(dir.path("real"));
  fs::create_directory(dir.path("links"));
  test::write_bytes(dir.path("real/image.elf"), {1});
  fs::create_symlink("../real/image.elf", dir.path("links/image.elf"));  // relative to the link
  fs::create_symlink(dir.path("real/later.elf"), dir.path("links/dangling.elf"));
  fs::create_symlink(dir.path("links/image.elf"), dir.path("links/chain.elf"));
  write_file_atomically(dir.path("links/image.elf"), std::vector<uint8_t>{2});
  EXPECT_EQ(test::read_text(dir.path("real/image.elf")), "\x02");
  write_file_atomically(dir.path("links/chain.elf"), std::vector<uint8_t>{3});
  EXPECT_EQ(test::read_text(dir.path("real/image.elf")), "\x03");
  write_file_atomically(dir.path("links/dangling.elf"), std::vector<uint8_t>{4});
  EXPECT_EQ(test::read_text(dir.path("real/later.elf")), "\x04");
  EXPECT_TRUE(fs::is_symlink(dir.path("links/image.elf")));
  EXPECT_EQ(entries(dir.path("links")), (std::vector<std::string>{"chain.elf", "dangling.elf", "image.elf"}));
  EXPECT_EQ(entries(dir.path("real")), (std::vector<std::string>{"image.elf", "later.elf"}));
  // A link to something that is not a regular file is refused like the thing itself.
  fs::create_symlink(dir.path("real"), dir.path("links/to_directory"));
  EXPECT_NE(write_error(dir.path("links/to_directory")).find("it is a directory"), std::string::npos);
}

// Runs `work` in a child, ends it with `signal_number` after `delay`, and
// returns how the child ended.
int terminated_child(const std::function<void()>& work, std::chrono::milliseconds delay,
                     int signal_number = SIGTERM) {
  const pid_t child = ::fork();
  if (child == 0) {
    work();
    ::_exit(0);
  }
  std::this_thread::sleep_for(delay);
  ::kill(child, signal_number);
  int status = 0;
  ::waitpid(child, &status, 0);
  return status;
}

TEST(AtomicFile, SigtermRemovesTheLiveTemporary) {
  test::TempDir dir;
  // The signal arrives while a temporary surely exists.
  const int status = terminated_child(
      [&] {
        TemporaryFile temporary(dir.path("out.bin"));
        ::raise(SIGTERM);
        ::_exit(1);  // not reached: the signal ends the child
      },
      std::chrono::milliseconds(0));
  ASSERT_TRUE(WIFSIGNALED(status)) << status;
  EXPECT_EQ(WTERMSIG(status), SIGTERM);
  EXPECT_TRUE(entries(dir.dir()).empty());
}

TEST(AtomicFile, AWriterKilledMidWriteLeavesOnlyWholeFiles) {
  test::TempDir dir;
  const std::string path = dir.path("big.bin");
  const std::vector<uint8_t> big(16 << 20, 0xA5);
  // SIGKILL runs no handler: only an unnamed temporary leaves nothing then.
  for (const int signal_number : {SIGTERM, SIGKILL})
  for (const int delay : {5, 40, 150}) {
    const int status = terminated_child(
        [&] {
          for (;;) write_file_atomically(path, big);
        },
        std::chrono::milliseconds(delay), signal_number);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number) << status;
    const std::vector<std::string> left = entries(dir.dir());
    EXPECT_TRUE(left.empty() || left == std::vector<std::string>{"big.bin"}) << left.size() << " " << left[0];
    if (!left.empty()) {
      EXPECT_EQ(fs::file_size(path), big.size());
    }
  }
}

}  // namespace
}  // namespace r3k
