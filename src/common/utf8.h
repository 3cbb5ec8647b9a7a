// Text that came from outside the tool (the symbol names of an ELF file from
// elsewhere) made fit for the reports that must be valid UTF-8: JSON, XML.
#pragma once

#include <string>
#include <string_view>

namespace r3k {

// The replacement character U+FFFD, encoded.
inline constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

// `text` with every byte that does not belong to a well-formed UTF-8 sequence
// (a stray continuation byte, a cut sequence, an overlong form, a surrogate,
// a code point above U+10FFFF) replaced by U+FFFD, one for each such byte.
std::string valid_utf8(std::string_view text);

}  // namespace r3k
