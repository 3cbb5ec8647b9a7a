#include "cli/args.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>

#include "common/error.h"

namespace r3k::cli {

Args::Args(std::string command, std::vector<std::string> arguments)
    : command_(std::move(command)), arguments_(std::move(arguments)) {}

bool Args::next() { return ++index_ < arguments_.size(); }

bool Args::is_option() const { return current().size() > 1 && current()[0] == '-'; }

std::string Args::value() {
  const std::string option = current();
  if (index_ + 1 >= arguments_.size()) throw Error(command_ + ": option " + option + " needs a value");
  return arguments_[++index_];
}

std::string Args::value_path() {
  const std::string option = current();
  std::string path = value();
  if (path.empty()) throw Error(command_ + ": " + option + " needs a file name, not an empty one");
  return path;
}

uint32_t Args::value_u32() {
  const std::string option = current();
  const std::string text = value();
  const auto number = parse_number(text, UINT32_MAX);
  if (!number) throw Error(command_ + ": bad number for " + option + ": '" + text + "' (expected 0 to 4294967295, decimal or 0x hex)");
  return static_cast<uint32_t>(*number);
}

uint64_t Args::value_u64() {
  const std::string option = current();
  const std::string text = value();
  const auto number = parse_number(text, UINT64_MAX);
  if (!number) throw Error(command_ + ": bad number for " + option + ": '" + text + "' (expected a non-negative integer)");
  return *number;
}

void Args::unknown() const {
  if (is_option()) throw Error(command_ + ": unknown option " + current() + " (see r3kcheck " + command_ + " --help)");
  throw Error(command_ + ": unexpected argument '" + current() + "' (see r3kcheck " + command_ + " --help)");
}

std::optional<uint64_t> parse_number(const std::string& text, uint64_t max) {
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const std::string digits = hex ? text.substr(2) : text;
  // strtoull would accept leading blanks and a sign: only digits may follow.
  const auto is_digit = [hex](char c) {
    return hex ? std::isxdigit(static_cast<unsigned char>(c)) != 0 : c >= '0' && c <= '9';
  };
  if (digits.empty() || !std::all_of(digits.begin(), digits.end(), is_digit)) return std::nullopt;
  errno = 0;
  char* end = nullptr;
  const unsigned long long value = std::strtoull(digits.c_str(), &end, hex ? 16 : 10);
  if (errno != 0 || *end != '\0' || value > max) return std::nullopt;
  return value;
}

}  // namespace r3k::cli
