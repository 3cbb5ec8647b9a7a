// A strict JSON reader (RFC 8259) for the reports the tool itself writes:
// no comments, no trailing commas, one value per text. Errors name the line
// and column.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace r3k::json {

struct Member;

class Value {
 public:
  enum class Kind { null, boolean, number, string, array, object };

  Kind kind = Kind::null;
  bool boolean = false;
  double number = 0;
  std::string text;  // a string's contents
  std::vector<Value> items;
  std::vector<Member> members;  // in the order written

  bool is_null() const { return kind == Kind::null; }
  // The member named `name`, or nullptr (also when this is no object).
  const Value* find(std::string_view name) const;
};

struct Member {
  std::string key;
  Value value;
};

// Throws r3k::Error "JSON: <what> at line L, column C".
Value parse(std::string_view text);

}  // namespace r3k::json
