// Bytes from a file or the command line shown to the user on one line: a
// control character, DEL or a byte above 0x7F may not reach the terminal as
// it is (an escape sequence would act, a NUL would cut the message short).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace r3k {

// `text` with "\n", "\t", "\r" and "\xNN" for the bytes that may not be shown.
std::string escaped(std::string_view text);

// `text` with its control characters shown as escaped() shows them and every
// other byte as it is: a message that names a path in UTF-8 stays readable.
std::string one_line(std::string_view text);

// At most `most` bytes of `text`, escaped; a longer text ends in
// "... (N bytes)" so that a huge line is never printed whole.
std::string excerpt(std::string_view text, size_t most = 80);

}  // namespace r3k
