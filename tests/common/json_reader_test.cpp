#include "common/json_reader.h"

#include <gtest/gtest.h>

#include "common/error.h"

namespace r3k::json {
namespace {

TEST(JsonReader, ReadsTheValuesOfARunReport) {
  const Value v = parse(R"( {"stop": "finished", "words": ["0x01000001", 2], "ok": true, "e": null,
                            "n": -1.5e2, "s": "a\"\\\/\n\u00e9\ud83d\ude00"} )");
  EXPECT_EQ(v.find("stop")->text, "finished");
  EXPECT_EQ(v.find("words")->items.size(), 2u);
  EXPECT_EQ(v.find("words")->items[1].number, 2);
  EXPECT_TRUE(v.find("ok")->boolean);
  EXPECT_TRUE(v.find("e")->is_null());
  EXPECT_EQ(v.find("n")->number, -150);
  EXPECT_EQ(v.find("s")->text, "a\"\\/\n\xC3\xA9\xF0\x9F\x98\x80");
  EXPECT_EQ(v.find("missing"), nullptr);
}

TEST(JsonReader, RefusesWhatIsNotStrictJsonWithItsPlace) {
  const char* const bad[] = {"",        "{",          "[1,]",        "{\"a\":1,}", "01",      "1.",     "+1",
                             "'a'",     "{a:1}",      "[1] [2]",     "\"\t\"",     "\"\\x\"", "tru",    "nul",
                             "\"\\ud800\"", "[1 2]", "{\"a\" 1}", "-", "1e", "\"abc"};
  for (const char* text : bad) EXPECT_THROW(parse(text), Error) << text;
  try {
    parse("{\n  \"a\": [1,\n  ]}");
    FAIL();
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "JSON: expected a value at line 3, column 3");
  }
  std::string deep(300, '[');
  EXPECT_THROW(parse(deep), Error);
}

}  // namespace
}  // namespace r3k::json
