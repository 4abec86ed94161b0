#include "base/json/string_escape.h"

#include <string>

#include "gtest/gtest.h"

namespace base {
namespace {

TEST(StringEscapeTest, EscapesWhatJsonAndScriptsNeed) {
  const std::string kReplacement = "\xEF\xBF\xBD";
  const struct {
    std::string text;
    std::string escaped;
    bool valid;
  } kCases[] = {
      {"\b\t\n\f\r\"\\", "\\b\\t\\n\\f\\r\\\"\\\\", true},
      // Other controls in upper-case hex; a zero byte as the reader keeps it.
      {std::string("\0\1\v\x1F", 4), "\\x00\\u0001\\u000B\\u001F", true},
      {"a<b\xE2\x80\xA8\xE2\x80\xA9", "a\\u003Cb\\u2028\\u2029", true},
      {"/ >\x7F\xE2\x80\xA7", "/ >\x7F\xE2\x80\xA7", true},
      // Non-ASCII as UTF-8, noncharacters included.
      {"\xC3\xA9\xF0\x9F\x98\x80\xEF\xBF\xBE",
       "\xC3\xA9\xF0\x9F\x98\x80\xEF\xBF\xBE", true},
      // One U+FFFD per malformed sequence; what follows is still escaped.
      {"a\xFF"
       "b",
       "a" + kReplacement + "b", false},
      {"\xE2\x82"
       "b",
       kReplacement + "b", false},
      {"\xC0\xAF", kReplacement, false},
      {"\xED\xA0\x80", kReplacement, false},
      {"\xF4\x90\x80\x80", kReplacement, false},
      {"\x80\n", kReplacement + "\\n", false},
  };
  for (const auto& c : kCases) {
    std::string out = "x:";
    EXPECT_EQ(c.valid, EscapeJSONString(c.text, false, &out)) << c.text;
    EXPECT_EQ("x:" + c.escaped, out);
    out.clear();
    EXPECT_EQ(c.valid, EscapeJSONString(c.text, true, &out)) << c.text;
    EXPECT_EQ("\"" + c.escaped + "\"", out);
  }
}

}  // namespace
}  // namespace base
