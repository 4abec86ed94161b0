#include "base/strings/string_split.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace base {

namespace {

using Parts = std::vector<std::string>;

Parts Split(StringPiece input,
            StringPiece separators,
            WhitespaceHandling whitespace,
            SplitResult result_type) {
  return SplitString(input, separators, whitespace, result_type);
}

}  // namespace

TEST(StringSplitTest, EmptyPartsAndSeparators) {
  EXPECT_EQ((Parts{"a", "b", "", "c"}),
            Split("a,b,,c", ",", KEEP_WHITESPACE, SPLIT_WANT_ALL));
  EXPECT_EQ((Parts{"a", "b", "c"}),
            Split("a,b,,c", ",", KEEP_WHITESPACE, SPLIT_WANT_NONEMPTY));
  EXPECT_EQ((Parts{"a", ""}),
            Split("a,", ",", KEEP_WHITESPACE, SPLIT_WANT_ALL));
  EXPECT_EQ((Parts{"", "a"}),
            Split(",a", ",", KEEP_WHITESPACE, SPLIT_WANT_ALL));
  EXPECT_EQ((Parts{"", ""}), Split(",", ",", KEEP_WHITESPACE, SPLIT_WANT_ALL));
  EXPECT_EQ(Parts(), Split(",,", ",", KEEP_WHITESPACE, SPLIT_WANT_NONEMPTY));
  EXPECT_EQ(Parts(), Split("", ",", KEEP_WHITESPACE, SPLIT_WANT_ALL));
  EXPECT_EQ((Parts{"abc"}), Split("abc", ",", KEEP_WHITESPACE, SPLIT_WANT_ALL));

  // Every character of the set separates on its own.
  EXPECT_EQ((Parts{"a", "b", "c"}),
            Split("a;b,c", ",;", KEEP_WHITESPACE, SPLIT_WANT_ALL));
  EXPECT_EQ((Parts{"a", "", "b"}),
            Split("a;,b", ",;", KEEP_WHITESPACE, SPLIT_WANT_ALL));
  EXPECT_EQ((Parts{"a,b"}), Split("a,b", "", KEEP_WHITESPACE, SPLIT_WANT_ALL));
  // A NUL is an ordinary separator character.
  EXPECT_EQ((Parts{"a", "b"}),
            Split(StringPiece("a\0b", 3), StringPiece("\0", 1), KEEP_WHITESPACE,
                  SPLIT_WANT_ALL));
}

TEST(StringSplitTest, Trimming) {
  EXPECT_EQ((Parts{"a", "b"}),
            Split(" a , , b ", ",", TRIM_WHITESPACE, SPLIT_WANT_NONEMPTY));
  EXPECT_EQ((Parts{"a", "", "b"}),
            Split(" a , , b ", ",", TRIM_WHITESPACE, SPLIT_WANT_ALL));
  EXPECT_EQ((Parts{" a ", " ", " b "}),
            Split(" a , , b ", ",", KEEP_WHITESPACE, SPLIT_WANT_ALL));
  // Inner white space stays; all six ASCII white-space characters go.
  EXPECT_EQ((Parts{"a b", "c"}), Split("\t\n\v\f\r a b \r\n|c", "|",
                                       TRIM_WHITESPACE, SPLIT_WANT_ALL));
  // White space as the separator still splits before trimming.
  EXPECT_EQ((Parts{"a", "b"}),
            Split("a  b", " ", TRIM_WHITESPACE, SPLIT_WANT_NONEMPTY));
  // Narrow trimming never touches the byte 0xA0 (part of UTF-8 text).
  EXPECT_EQ((Parts{"\xA0"
                   "a"
                   "\xA0"}),
            Split(" \xA0"
                  "a"
                  "\xA0 ",
                  ",", TRIM_WHITESPACE, SPLIT_WANT_ALL));

  // Wide trimming knows the Unicode white space.
  EXPECT_EQ((std::vector<string16>{L"a", L"b"}),
            SplitString16(L"\x00A0"
                          L"a\x3000,\x2028,b",
                          L",", TRIM_WHITESPACE, SPLIT_WANT_NONEMPTY));
  EXPECT_EQ((std::vector<string16>{L"\x200B"
                                   L"a",
                                   L"b", L""}),
            SplitString16(L"\x200B"
                          L"a;b;",
                          L";", TRIM_WHITESPACE, SPLIT_WANT_ALL));
  EXPECT_EQ((std::vector<string16>{L"a", L"b", L"c"}),
            SplitString16(L"a;b.c", L".;", KEEP_WHITESPACE, SPLIT_WANT_ALL));
  EXPECT_EQ(std::vector<string16>(),
            SplitString16(L"", L";", KEEP_WHITESPACE, SPLIT_WANT_ALL));
}

TEST(StringSplitTest, PiecesPointIntoTheInput) {
  const std::string input = " one ,two,, three";
  std::vector<StringPiece> parts =
      SplitStringPiece(input, ",", TRIM_WHITESPACE, SPLIT_WANT_NONEMPTY);
  ASSERT_EQ(3u, parts.size());
  EXPECT_EQ(input.data() + 1, parts[0].data());
  EXPECT_EQ(StringPiece("one"), parts[0]);
  EXPECT_EQ(input.data() + 6, parts[1].data());
  EXPECT_EQ(StringPiece("two"), parts[1]);
  EXPECT_EQ(input.data() + 12, parts[2].data());
  EXPECT_EQ(StringPiece("three"), parts[2]);
}

TEST(StringSplitTest, KeyValuePairs) {
  StringPairs pairs = {{"stale", "pair"}};
  EXPECT_FALSE(SplitStringIntoKeyValuePairs("a=1, b==2,c", '=', ',', &pairs));
  EXPECT_EQ((StringPairs{{"a", "1"}, {"b", "2"}, {"", ""}}), pairs);

  EXPECT_TRUE(
      SplitStringIntoKeyValuePairs(" k = v ;x=y=z;;", '=', ';', &pairs));
  EXPECT_EQ((StringPairs{{"k ", " v"}, {"x", "y=z"}}), pairs);

  // A bad pair does not stop the ones after it.
  EXPECT_FALSE(SplitStringIntoKeyValuePairs("k=,a=b", '=', ',', &pairs));
  EXPECT_EQ((StringPairs{{"k", ""}, {"a", "b"}}), pairs);

  EXPECT_TRUE(SplitStringIntoKeyValuePairs("", '=', ',', &pairs));
  EXPECT_TRUE(pairs.empty());
}

TEST(StringSplitTest, AppendStringKeyValue) {
  StringPairs pairs;
  EXPECT_TRUE(AppendStringKeyValue("k=v=w", '=', &pairs));
  EXPECT_TRUE(AppendStringKeyValue("=v", '=', &pairs));
  EXPECT_FALSE(AppendStringKeyValue("k=", '=', &pairs));
  EXPECT_FALSE(AppendStringKeyValue("k===", '=', &pairs));
  EXPECT_FALSE(AppendStringKeyValue("novalue", '=', &pairs));
  EXPECT_FALSE(AppendStringKeyValue("", '=', &pairs));
  EXPECT_EQ(
      (StringPairs{
          {"k", "v=w"}, {"", "v"}, {"k", ""}, {"k", ""}, {"", ""}, {"", ""}}),
      pairs);
}

}  // namespace base
