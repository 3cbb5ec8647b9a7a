#include "common/json_reader.h"

#include <cstdlib>

#include "common/error.h"

namespace r3k::json {

const Value* Value::find(std::string_view name) const {
  for (const auto& [key, value] : members)
    if (key == name) return &value;
  return nullptr;
}

namespace {

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  Value document() {
    Value value = parse_value(0);
    skip_space();
    if (at_ < text_.size()) fail("unexpected text after the value");
    return value;
  }

 private:
  static constexpr int kMaxDepth = 256;

  [[noreturn]] void fail(const std::string& what) const {
    size_t line = 1, column = 1;
    for (size_t i = 0; i < at_ && i < text_.size(); ++i) {
      if (text_[i] == '\n') ++line, column = 1;
      else ++column;
    }
    throw Error("JSON: " + what + " at line " + std::to_string(line) + ", column " + std::to_string(column));
  }
  void skip_space() {
    while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r'))
      ++at_;
  }
  char peek() const { return at_ < text_.size() ? text_[at_] : '\0'; }
  void expect(char c) {
    if (peek() != c) fail(std::string("expected '") + c + "'");
    ++at_;
  }
  void literal(std::string_view word) {
    if (text_.substr(at_, word.size()) != word) fail("unknown word");
    at_ += word.size();
  }

  Value parse_value(int depth) {
    if (depth > kMaxDepth) fail("nesting too deep");
    skip_space();
    Value value;
    switch (peek()) {
      case '{': parse_object(value, depth); break;
      case '[': parse_array(value, depth); break;
      case '"': value.kind = Value::Kind::string, value.text = parse_string(); break;
      case 't': literal("true"), value.kind = Value::Kind::boolean, value.boolean = true; break;
      case 'f': literal("false"), value.kind = Value::Kind::boolean; break;
      case 'n': literal("null"); break;
      case '\0': fail("unexpected end of text");
      default: parse_number(value); break;
    }
    return value;
  }

  void parse_object(Value& value, int depth) {
    value.kind = Value::Kind::object;
    expect('{');
    skip_space();
    if (peek() == '}') return void(++at_);
    for (;;) {
      skip_space();
      if (peek() != '"') fail("expected a member name");
      std::string name = parse_string();
      skip_space();
      expect(':');
      value.members.push_back(Member{std::move(name), parse_value(depth + 1)});
      skip_space();
      if (peek() == ',') {
        ++at_;
        continue;
      }
      expect('}');
      return;
    }
  }

  void parse_array(Value& value, int depth) {
    value.kind = Value::Kind::array;
    expect('[');
    skip_space();
    if (peek() == ']') return void(++at_);
    for (;;) {
      value.items.push_back(parse_value(depth + 1));
      skip_space();
      if (peek() == ',') {
        ++at_;
        continue;
      }
      expect(']');
      return;
    }
  }

  unsigned hex4() {
    unsigned code = 0;
    for (int i = 0; i < 4; ++i, ++at_) {
      const char c = peek();
      code <<= 4;
      if (c >= '0' && c <= '9') code |= unsigned(c - '0');
      else if (c >= 'a' && c <= 'f') code |= unsigned(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F') code |= unsigned(c - 'A' + 10);
      else fail("bad \\u escape");
    }
    return code;
  }
  static void append_utf8(std::string& out, unsigned code) {
    if (code < 0x80) {
      out += char(code);
    } else if (code < 0x800) {
      out += char(0xC0 | code >> 6), out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += char(0xE0 | code >> 12), out += char(0x80 | (code >> 6 & 0x3F)), out += char(0x80 | (code & 0x3F));
    } else {
      out += char(0xF0 | code >> 18), out += char(0x80 | (code >> 12 & 0x3F));
      out += char(0x80 | (code >> 6 & 0x3F)), out += char(0x80 | (code & 0x3F));
    }
  }

  std::string parse_string() {
    expect('"');
    std::string out;
    for (;;) {
      if (at_ >= text_.size()) fail("unterminated string");
      const char c = text_[at_];
      if (static_cast<unsigned char>(c) < 0x20) fail("control character in a string");
      ++at_;
      if (c == '"') return out;
      if (c != '\\') {
        out += c;
        continue;
      }
      const char e = peek();
      ++at_;
      switch (e) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          unsigned code = hex4();
          if (code >= 0xD800 && code < 0xDC00) {
            if (peek() != '\\') fail("lone surrogate in \\u escape");
            ++at_;
            expect('u');
            const unsigned low = hex4();
            if (low < 0xDC00 || low >= 0xE000) fail("bad surrogate pair");
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
          } else if (code >= 0xDC00 && code < 0xE000) {
            fail("lone surrogate in \\u escape");
          }
          append_utf8(out, code);
          break;
        }
        default: --at_, fail("bad escape");
      }
    }
  }

  // -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
  void parse_number(Value& value) {
    const size_t start = at_;
    const auto digits = [&] {
      const size_t first = at_;
      while (peek() >= '0' && peek() <= '9') ++at_;
      return at_ - first;
    };
    if (peek() == '-') ++at_;
    if (peek() == '0') ++at_;
    else if (digits() == 0) fail("expected a value");
    if (peek() == '.') {
      ++at_;
      if (digits() == 0) fail("expected digits after '.'");
    }
    if (peek() == 'e' || peek() == 'E') {
      ++at_;
      if (peek() == '+' || peek() == '-') ++at_;
      if (digits() == 0) fail("expected digits in the exponent");
    }
    value.kind = Value::Kind::number;
    value.number = std::strtod(std::string(text_.substr(start, at_ - start)).c_str(), nullptr);
  }

  std::string_view text_;
  size_t at_ = 0;
};

}  // namespace

Value parse(std::string_view text) { return Parser(text).document(); }

}  // namespace r3k::json
