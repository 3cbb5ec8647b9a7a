// Text from outside made valid UTF-8: every ill-formed byte becomes U+FFFD,
// every well-formed sequence stays, and JSON quoting keeps to that.
#include <gtest/gtest.h>

#include "common/json_writer.h"
#include "common/utf8.h"

namespace r3k {
namespace {

TEST(Utf8, IllFormedBytesAreReplacedAndWellFormedKept) {
  const std::string r(kReplacementCharacter);
  const std::pair<std::string, std::string> cases[] = {
      {"plain ascii", "plain ascii"},
      {"\xC3\xA9t\xC3\xA9", "\xC3\xA9t\xC3\xA9"},              // two-byte
      {"\xE2\x82\xAC \xF0\x9F\x98\x80", "\xE2\x82\xAC \xF0\x9F\x98\x80"},  // three and four bytes
      {"a\xFF" "b", "a" + r + "b"},                                // never a lead byte
      {"\x80", r},                                             // a stray continuation
      {"\xC3", r},                                             // cut at the end
      {"\xE2\x82", r + r},                                     // cut, each byte replaced
      {"\xC0\xAF", r + r},                                     // overlong '/'
      {"\xE0\x80\xAF", r + r + r},                             // overlong, three bytes
      {"\xED\xA0\x80", r + r + r},                             // a surrogate
      {"\xF4\x90\x80\x80", r + r + r + r},                     // above U+10FFFF
      {"\xF0\x8F\xBF\xBF", r + r + r + r},                     // overlong, four bytes
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(valid_utf8(in), out) << testing::PrintToString(in);
  EXPECT_EQ(json::quote("n2_\x01\xFE_test"), "\"n2_\\u0001" + r + "_test\"");
}

}  // namespace
}  // namespace r3k
