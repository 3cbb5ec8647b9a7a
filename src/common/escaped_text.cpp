#include "common/escaped_text.h"

#include <cstdio>

namespace r3k {

namespace {

std::string shown(std::string_view text, bool escape_high_bytes) {
  std::string shown;
  shown.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\n') shown += "\\n";
    else if (c == '\t') shown += "\\t";
    else if (c == '\r') shown += "\\r";
    else if (byte < 0x20 || byte == 0x7F || (escape_high_bytes && byte > 0x7F)) {
      char code[8];
      std::snprintf(code, sizeof code, "\\x%02x", byte);
      shown += code;
    } else {
      shown += c;
    }
  }
  return shown;
}

}  // namespace

std::string escaped(std::string_view text) { return shown(text, true); }

std::string one_line(std::string_view text) { return shown(text, false); }

std::string excerpt(std::string_view text, size_t most) {
  if (text.size() <= most) return escaped(text);
  return escaped(text.substr(0, most)) + "... (" + std::to_string(text.size()) + " bytes)";
}

}  // namespace r3k
