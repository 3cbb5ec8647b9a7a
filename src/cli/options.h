// Each command declares its options once: names, the kind of value, one help
// text. Parsing, the checks of every value, the error messages and `--help`
// all come from that declaration.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli/commands.h"

namespace r3k::cli {

enum class ValueKind : uint8_t {
  none,         // a flag
  text,         // any text, the empty one included
  path,         // a file or directory name: never empty
  number32,     // decimal or 0x hex, 0 to `max` (default 2^32 - 1)
  number64,     // decimal or 0x hex, 0 to `max` (default 2^64 - 1)
  choice,       // one of `choices`, "main|supplement|both"
};

struct OptionSpec {
  std::string_view names;       // "-o, --output" or "--full": the last is the one parse results are read by
  ValueKind kind = ValueKind::none;
  std::string_view value_name;  // "FILE", "N"; for the usage line and the help
  std::string_view help;        // lines without indentation, '\n' between them
  std::string_view choices = {};
  uint64_t max = 0;             // numbers: the largest accepted (0: the kind's largest)
};

struct CommandSpec {
  std::string_view name;         // "run"
  std::string_view operands;     // "IMAGE.elf", "[ADDRESS ...]", or "" for none
  size_t max_operands = 0;       // how many positional arguments at most
  std::string_view description;  // the paragraphs between the usage and the options
  std::span<const OptionSpec> options;
  std::string_view epilogue = {};  // after the options: formats, exit codes
};

// What the command line said, by option name ("--output" for "-o, --output").
class ParsedOptions {
 public:
  bool has(std::string_view name) const;
  std::optional<std::string> text(std::string_view name) const;  // text, path and choice options
  std::optional<uint64_t> number(std::string_view name) const;
  const std::vector<std::string>& operands() const { return operands_; }

 private:
  friend std::optional<ParsedOptions> parse_options(const CommandSpec&, const Arguments&);
  const OptionSpec& spec(std::string_view name) const;
  const CommandSpec* command_ = nullptr;
  std::map<std::string_view, std::string> values_;
  std::vector<std::string> operands_;
};

// Nothing when --help or -h was given (the caller prints help_text());
// otherwise the options, or an r3k::Error naming the option and what is wrong
// with it. A later option of the same name replaces an earlier one.
std::optional<ParsedOptions> parse_options(const CommandSpec& command, const Arguments& arguments);

// parse_options(), having printed help_text() to standard output when it
// gives nothing: the command then ends with success.
std::optional<ParsedOptions> options_or_help(const CommandSpec& command, const Arguments& arguments);
// "123", "0x7B": the whole text must be a number that fits `max`.
std::optional<uint64_t> parse_number(const std::string& text, uint64_t max);

// "usage: r3kcheck NAME OPERANDS [options]", the description, the options
// with their help in one column, the epilogue.
std::string help_text(const CommandSpec& command);

}  // namespace r3k::cli
