#include "common/json_writer.h"

#include <cstdio>

#include "common/utf8.h"

namespace r3k::json {

std::string quote(std::string_view text) {
  std::string out = "\"";
  for (const char c : valid_utf8(text)) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

std::string hex_word(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "\"0x%08x\"", value);
  return text;
}

Object& Object::add(std::string_view key, const std::string& json_value) {
  if (text_.size() > 1) text_ += ",";
  text_ += quote(key) + ":" + json_value;
  return *this;
}

}  // namespace r3k::json
