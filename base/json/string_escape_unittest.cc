#include "base/json/string_escape.h"

#include <string>

#include "gtest/gtest.h"

namespace base {
namespace {

std::string Escaped(StringPiece text, bool* valid = nullptr) {
  std::string out;
  const bool result = EscapeJSONString(text, false, &out);
  if (valid)
    *valid = result;
  return out;
}

TEST(StringEscapeTest, FixedEscapesAndControlCharacters) {
  EXPECT_EQ("\\b\\t\\n\\f\\r\\\"\\\\", Escaped("\b\t\n\f\r\"\\"));
  // Control characters without a short form use upper-case hex.
  EXPECT_EQ("\\u0000\\u0001\\u000B\\u001F",
            Escaped(StringPiece("\0\1\v\x1F", 4)));
  EXPECT_EQ("a\\u003Cb", Escaped("a<b"));
  EXPECT_EQ("\\u2028\\u2029", Escaped("\xE2\x80\xA8\xE2\x80\xA9"));
  // Neither '/', '>' nor DEL is escaped, and U+2027 is an ordinary character.
  EXPECT_EQ("/>\x7F\xE2\x80\xA7", Escaped("/>\x7F\xE2\x80\xA7"));
}

TEST(StringEscapeTest, NonAsciiIsWrittenAsUtf8) {
  bool valid = false;
  EXPECT_EQ("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80",
            Escaped("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", &valid));
  EXPECT_TRUE(valid);
  // Noncharacters are valid UTF-8 and pass through.
  EXPECT_EQ("\xEF\xBF\xBE", Escaped("\xEF\xBF\xBE", &valid));
  EXPECT_TRUE(valid);
}

TEST(StringEscapeTest, InvalidUtf8BecomesReplacementCharacter) {
  const std::string kReplacement = "\xEF\xBF\xBD";
  bool valid = true;
  EXPECT_EQ("a" + kReplacement + "b", Escaped("a\xFF"
                                              "b",
                                              &valid));
  EXPECT_FALSE(valid);

  // One replacement per malformed sequence, continuation bytes included.
  EXPECT_EQ(kReplacement + "b", Escaped("\xE2\x82"
                                        "b",
                                        &valid));
  EXPECT_FALSE(valid);
  // Overlong form of '/', an encoded surrogate, and a code point above
  // U+10FFFF.
  EXPECT_EQ(kReplacement, Escaped("\xC0\xAF", &valid));
  EXPECT_FALSE(valid);
  EXPECT_EQ(kReplacement, Escaped("\xED\xA0\x80", &valid));
  EXPECT_FALSE(valid);
  EXPECT_EQ(kReplacement, Escaped("\xF4\x90\x80\x80", &valid));
  EXPECT_FALSE(valid);
  // A stray continuation byte, then valid text that is still escaped.
  EXPECT_EQ(kReplacement + "\\n", Escaped("\x80\n", &valid));
  EXPECT_FALSE(valid);
}

TEST(StringEscapeTest, QuotesAndAppends) {
  std::string out = "x:";
  EXPECT_TRUE(EscapeJSONString("say \"hi\"", true, &out));
  EXPECT_EQ("x:\"say \\\"hi\\\"\"", out);

  out.clear();
  EXPECT_TRUE(EscapeJSONString("", true, &out));
  EXPECT_EQ("\"\"", out);

  // The closing quote is written after invalid input too.
  out.clear();
  EXPECT_FALSE(EscapeJSONString("\xFF", true, &out));
  EXPECT_EQ("\"\xEF\xBF\xBD\"", out);
}

}  // namespace
}  // namespace base
