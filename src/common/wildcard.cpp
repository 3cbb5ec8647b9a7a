#include "common/wildcard.h"

namespace r3k {

bool wildcard_match(std::string_view pattern, std::string_view text) {
  size_t p = 0, t = 0;
  // Where the last star was and where its run of text now ends: on a
  // mismatch only that star takes one more character. An earlier star never
  // needs to, since the last one can absorb whatever it would have.
  size_t star = std::string_view::npos, star_text = 0;
  while (t < text.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == text[t])) {
      ++p, ++t;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++, star_text = t;
    } else if (star != std::string_view::npos) {
      p = star + 1, t = ++star_text;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace r3k
