// Writing JSON text: a string as a quoted JSON string, and a compact object
// built member by member.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace r3k::json {

// "\"text\"" with quotes, backslashes and control characters escaped, and
// bytes that are not UTF-8 replaced by U+FFFD (JSON text is UTF-8).
std::string quote(std::string_view text);
// "\"0x0000abcd\"": the way words go into JSON (numbers would lose the width).
std::string hex_word(uint32_t value);

// {"a":1,"b":"x"}: members in the order added; each value is already JSON.
class Object {
 public:
  Object& add(std::string_view key, const std::string& json_value);
  std::string text() const { return text_ + "}"; }

 private:
  std::string text_ = "{";
};

}  // namespace r3k::json
