// Running outside tools (GNU binutils for mipsel) from tests.
#pragma once

#include <string>
#include <vector>

namespace r3k::test {

// Full path of a program on PATH, or "" if missing.
std::string find_program(const std::string& name);

struct CommandResult {
  int exit_code = -1;
  std::string out;  // standard output
  std::string err;  // standard error
};
// Runs a shell command line and captures both streams.
CommandResult run_command(const std::string& command_line);

// A fresh directory under the system temporary directory, removed on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  const std::string& dir() const { return dir_; }

 private:
  std::string dir_;
};

void write_bytes(const std::string& path, const std::vector<unsigned char>& bytes);
std::string read_text(const std::string& path);

}  // namespace r3k::test
