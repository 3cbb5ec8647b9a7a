// Running outside tools (GNU binutils for mipsel) from tests.
#pragma once

#include <cstdint>
#include <map>
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

// Disassembly text in a form where ours and GNU objdump's compare equal:
// numbers become decimal values ("0x10" and "16", "-0x4" and "-4"), register
// names lose their "$", spacing is one blank after the mnemonic and none
// after commas, and objdump's "<symbol>" notes go.
std::string normalise_disassembly(const std::string& text);
// The same for a line of `objdump -M no-aliases`, which also calls register
// 30 s8 and gives the divides a $zero destination.
std::string normalise_objdump(const std::string& text);
// address -> instruction text, from the lines of `objdump -d`.
std::map<uint32_t, std::string> objdump_lines(const std::string& listing);

void write_bytes(const std::string& path, const std::vector<unsigned char>& bytes);
std::string read_text(const std::string& path);

}  // namespace r3k::test
