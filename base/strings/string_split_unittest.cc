#include "base/strings/string_split.h"

#include <string>
#include <tuple>
#include <vector>

#include "gtest/gtest.h"

namespace base {

// Each separator character splits on its own, an empty set never; n
// separators give n + 1 parts before empty ones are dropped, which comes
// after trimming. Trimming keeps inner white space and never touches 0xA0.
TEST(StringSplitTest, SplitString) {
  const auto kKeep = KEEP_WHITESPACE;
  const auto kTrim = TRIM_WHITESPACE;
  const auto kAll = SPLIT_WANT_ALL;
  const auto kNonEmpty = SPLIT_WANT_NONEMPTY;
  const std::tuple<StringPiece, StringPiece, WhitespaceHandling, SplitResult,
                   std::vector<std::string>>
      kCases[] = {
          {"a,b,,c", ",", kKeep, kAll, {"a", "b", "", "c"}},
          {",a,", ",", kKeep, kAll, {"", "a", ""}},
          {",,", ",", kKeep, kNonEmpty, {}},
          {"", ",", kKeep, kAll, {}},
          {"a;b,c", ",;", kKeep, kAll, {"a", "b", "c"}},
          {"a,b", "", kKeep, kAll, {"a,b"}},
          {StringPiece("a\0b", 3),
           StringPiece("\0", 1),
           kKeep,
           kAll,
           {"a", "b"}},
          {" a , , b ", ",", kTrim, kNonEmpty, {"a", "b"}},
          {" a , b ", ",", kKeep, kNonEmpty, {" a ", " b "}},
          {"\t\n\v\f\r a b \r\n|\240", "|", kTrim, kAll, {"a b", "\240"}},
      };
  for (const auto& [input, separators, whitespace, result_type, parts] :
       kCases) {
    EXPECT_EQ(parts, SplitString(input, separators, whitespace, result_type))
        << input;
    // The pieces are the same parts, viewed in the input.
    const std::vector<StringPiece> pieces =
        SplitStringPiece(input, separators, whitespace, result_type);
    ASSERT_EQ(parts.size(), pieces.size());
    for (size_t i = 0; i < pieces.size(); ++i) {
      EXPECT_EQ(parts[i], pieces[i].as_string());
      EXPECT_TRUE(pieces[i].begin() >= input.begin() &&
                  pieces[i].end() <= input.end());
    }
  }
  // Wide trimming knows the Unicode white space, but not U+200B.
  EXPECT_EQ(
      (std::vector<string16>{L"\u200Ba", L"b"}),
      SplitString16(L"\u200Ba\u3000;\u00A0\u2028;b.", L".;", kTrim, kNonEmpty));
}

// A pair without a delimiter stays wholly empty and one without a value
// keeps its key; neither stops the pairs after it. Further delimiters
// belong to the value.
TEST(StringSplitTest, KeyValuePairs) {
  StringPairs pairs = {{"stale", "pair"}};
  EXPECT_FALSE(
      SplitStringIntoKeyValuePairs("a=1, b==2,c,k=,x=y=z", '=', ',', &pairs));
  EXPECT_EQ(
      (StringPairs{{"a", "1"}, {"b", "2"}, {"", ""}, {"k", ""}, {"x", "y=z"}}),
      pairs);
  EXPECT_TRUE(SplitStringIntoKeyValuePairs(" k = v ;;=v", '=', ';', &pairs));
  EXPECT_EQ((StringPairs{{"k ", " v"}, {"", "v"}}), pairs);
  EXPECT_TRUE(SplitStringIntoKeyValuePairs("", '=', ',', &pairs));
  EXPECT_TRUE(pairs.empty());
  EXPECT_FALSE(AppendStringKeyValue("c", '=', &pairs));
  EXPECT_FALSE(AppendStringKeyValue("k===", '=', &pairs));
}

}  // namespace base
