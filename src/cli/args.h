// Command-line parsing shared by the subcommands.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace r3k::cli {

// Exit codes every subcommand keeps.
inline constexpr int kExitOk = 0;       // success; for run: the lamps show pass
inline constexpr int kExitFailed = 1;   // run: the lamps show fail
inline constexpr int kExitError = 2;    // bad input, or the run reached no verdict

// Reads "--name value" options and positional arguments in order. Every
// problem throws r3k::Error naming the option.
class Args {
 public:
  Args(std::string command, std::vector<std::string> arguments);

  bool next();  // advances; false at the end
  const std::string& current() const { return arguments_[index_]; }
  bool is_option() const;
  std::string value();  // the argument after the current option
  std::string value_path();  // the same, a file name: an empty one is refused
  uint32_t value_u32();
  uint64_t value_u64();
  [[noreturn]] void unknown() const;

 private:
  std::string command_;
  std::vector<std::string> arguments_;
  size_t index_ = static_cast<size_t>(-1);
};

// "123", "0x7B": the whole text must be a number that fits `max`.
std::optional<uint64_t> parse_number(const std::string& text, uint64_t max);

}  // namespace r3k::cli
