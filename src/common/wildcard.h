// Shell-style wildcards (* any run of characters, ? any one character) for
// names the user picks from a list.
#pragma once

#include <string_view>

namespace r3k {

// True when `pattern` matches all of `text`. Linear in their lengths times
// the number of stars at worst: a star is never retried past the next one.
bool wildcard_match(std::string_view pattern, std::string_view text);

}  // namespace r3k
