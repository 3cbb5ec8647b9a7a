// libFuzzer target: the strict JSON reader that diagnose --json reads run
// reports with. Any text is either a value or one r3k::Error.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/error.h"
#include "common/json_reader.h"

namespace {

// Touches every value, as a reader of the report would.
size_t walk(const r3k::json::Value& value) {
  size_t count = 1 + value.text.size();
  for (const r3k::json::Value& item : value.items) count += walk(item);
  for (const r3k::json::Member& member : value.members) count += member.key.size() + walk(member.value);
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  try {
    const r3k::json::Value value = r3k::json::parse(std::string_view(reinterpret_cast<const char*>(data), size));
    (void)walk(value);
    (void)value.find("display_words");
  } catch (const r3k::Error&) {
  }
  return 0;
}
