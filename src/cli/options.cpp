#include "cli/options.h"

#include <algorithm>
#include <cstdio>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <stdexcept>

#include "common/error.h"

namespace r3k::cli {
namespace {

// The names an option answers to: "-o, --output" -> {"-o", "--output"}.
std::vector<std::string_view> names_of(const OptionSpec& option) {
  std::vector<std::string_view> names;
  std::string_view rest = option.names;
  while (!rest.empty()) {
    const size_t comma = rest.find(',');
    std::string_view name = rest.substr(0, comma);
    while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
    names.push_back(name);
    rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma + 1);
  }
  return names;
}

std::string_view key_of(const OptionSpec& option) { return names_of(option).back(); }

const OptionSpec* find_option(const CommandSpec& command, std::string_view name) {
  for (const OptionSpec& option : command.options)
    for (std::string_view alias : names_of(option))
      if (alias == name) return &option;
  return nullptr;
}

bool is_option(const std::string& argument) { return argument.size() > 1 && argument[0] == '-'; }

std::string see_help(const CommandSpec& command) { return " (see r3kcheck " + std::string(command.name) + " --help)"; }

// The value as given, once it passed the checks of its kind.
std::string checked_value(const CommandSpec& command, const OptionSpec& option, const std::string& given,
                          const std::string& value) {
  const std::string prefix = std::string(command.name) + ": ";
  switch (option.kind) {
    case ValueKind::path:
      if (value.empty()) throw Error(prefix + given + " needs a file name, not an empty one");
      break;
    case ValueKind::number32:
    case ValueKind::number64: {
      const uint64_t largest = option.max ? option.max : option.kind == ValueKind::number32 ? UINT32_MAX : UINT64_MAX;
      if (!parse_number(value, largest)) {
        const std::string range = option.kind == ValueKind::number64 && !option.max
                                      ? "a non-negative integer"
                                      : "0 to " + std::to_string(largest) + ", decimal or 0x hex";
        throw Error(prefix + "bad number for " + given + ": '" + value + "' (expected " + range + ")");
      }
      break;
    }
    case ValueKind::choice: {
      std::string_view rest = option.choices;
      while (true) {
        const size_t bar = rest.find('|');
        if (rest.substr(0, bar) == value) break;
        if (bar == std::string_view::npos) {
          std::string listed(option.choices);
          std::replace(listed.begin(), listed.end(), '|', ' ');
          throw Error(prefix + given + " takes one of " + listed + ", not '" + value + "'");
        }
        rest.remove_prefix(bar + 1);
      }
      break;
    }
    case ValueKind::none:
    case ValueKind::text: break;
  }
  return value;
}

// Appends `words` to the usage line, starting a new indented line before 100 columns.
void append_wrapped(std::string& text, size_t& column, size_t indent, const std::string& words) {
  if (column + 1 + words.size() > 100) {
    text += "\n" + std::string(indent, ' ');
    column = indent;
  } else {
    text += " ";
    ++column;
  }
  text += words;
  column += words.size();
}

}  // namespace

const OptionSpec& ParsedOptions::spec(std::string_view name) const {
  for (const OptionSpec& option : command_->options)
    if (key_of(option) == name) return option;
  throw std::logic_error("option " + std::string(name) + " is not declared for " + std::string(command_->name));
}

bool ParsedOptions::has(std::string_view name) const { return values_.count(key_of(spec(name))) != 0; }

std::optional<std::string> ParsedOptions::text(std::string_view name) const {
  const OptionSpec& option = spec(name);
  if (option.kind == ValueKind::none || option.kind == ValueKind::number32 || option.kind == ValueKind::number64)
    throw std::logic_error("option " + std::string(name) + " has no text value");
  const auto found = values_.find(key_of(option));
  if (found == values_.end()) return std::nullopt;
  return found->second;
}

std::optional<uint64_t> ParsedOptions::number(std::string_view name) const {
  const OptionSpec& option = spec(name);
  if (option.kind != ValueKind::number32 && option.kind != ValueKind::number64)
    throw std::logic_error("option " + std::string(name) + " is no number");
  const auto found = values_.find(key_of(option));
  if (found == values_.end()) return std::nullopt;
  return parse_number(found->second, UINT64_MAX);
}

std::optional<ParsedOptions> parse_options(const CommandSpec& command, const Arguments& arguments) {
  ParsedOptions parsed;
  parsed.command_ = &command;
  const std::string prefix = std::string(command.name) + ": ";
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--help" || argument == "-h") return std::nullopt;
    const OptionSpec* option = is_option(argument) ? find_option(command, argument) : nullptr;
    if (!option) {
      if (is_option(argument)) throw Error(prefix + "unknown option " + argument + see_help(command));
      if (parsed.operands_.size() >= command.max_operands)
        throw Error(prefix + "unexpected argument '" + argument + "'" + see_help(command));
      parsed.operands_.push_back(argument);
      continue;
    }
    std::string value;
    if (option->kind != ValueKind::none) {
      if (i + 1 >= arguments.size()) throw Error(prefix + "option " + argument + " needs a value");
      value = checked_value(command, *option, argument, arguments[++i]);
    }
    parsed.values_[key_of(*option)] = value;
  }
  return parsed;
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

std::string help_text(const CommandSpec& command) {
  const std::string head = "usage: r3kcheck " + std::string(command.name);
  std::string text = head;
  size_t column = head.size();
  if (!command.operands.empty()) append_wrapped(text, column, head.size() + 1, std::string(command.operands));
  for (const OptionSpec& option : command.options) {
    const std::string value = option.value_name.empty() ? "" : " " + std::string(option.value_name);
    append_wrapped(text, column, head.size() + 1, "[" + std::string(key_of(option)) + value + "]");
  }
  text += "\n";
  if (!command.description.empty()) text += "\n" + std::string(command.description);

  size_t width = 0;
  for (const OptionSpec& option : command.options)
    width = std::max(width, option.names.size() + (option.value_name.empty() ? 0 : option.value_name.size() + 1));
  text += "\n";
  for (const OptionSpec& option : command.options) {
    std::string left = "  " + std::string(option.names);
    if (!option.value_name.empty()) left += " " + std::string(option.value_name);
    left.resize(width + 4, ' ');
    std::string_view help = option.help;
    bool first = true;
    while (true) {
      const size_t newline = help.find('\n');
      text += (first ? left : std::string(width + 4, ' ')) + std::string(help.substr(0, newline)) + "\n";
      first = false;
      if (newline == std::string_view::npos) break;
      help.remove_prefix(newline + 1);
    }
  }
  if (!command.epilogue.empty()) text += "\n" + std::string(command.epilogue);
  return text;
}

std::optional<ParsedOptions> options_or_help(const CommandSpec& command, const Arguments& arguments) {
  std::optional<ParsedOptions> parsed = parse_options(command, arguments);
  if (!parsed) std::fputs(help_text(command).c_str(), stdout);
  return parsed;
}

}  // namespace r3k::cli
