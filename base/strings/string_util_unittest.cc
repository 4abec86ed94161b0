#include "base/strings/string_util.h"

#include <string.h>

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

TEST(StringUtilTest, TrimWhitespaceASCII) {
  std::string out;
  EXPECT_EQ(TRIM_ALL, TrimWhitespaceASCII("  x ", TRIM_ALL, &out));
  EXPECT_EQ("x", out);
  // All white space: emptied, and the requested positions come back.
  out = "stale";
  EXPECT_EQ(TRIM_ALL, TrimWhitespaceASCII("   ", TRIM_ALL, &out));
  EXPECT_EQ("", out);
  EXPECT_EQ(TRIM_LEADING, TrimWhitespaceASCII(" \t", TRIM_LEADING, &out));
  EXPECT_EQ("", out);
  out = "stale";
  EXPECT_EQ(TRIM_NONE, TrimWhitespaceASCII("", TRIM_ALL, &out));
  EXPECT_EQ("", out);

  EXPECT_EQ(TRIM_NONE, TrimWhitespaceASCII("x  ", TRIM_LEADING, &out));
  EXPECT_EQ("x  ", out);
  EXPECT_EQ(TRIM_TRAILING, TrimWhitespaceASCII(" x  ", TRIM_TRAILING, &out));
  EXPECT_EQ(" x", out);
  EXPECT_EQ(TRIM_LEADING, TrimWhitespaceASCII("\r\nx y", TRIM_ALL, &out));
  EXPECT_EQ("x y", out);
  EXPECT_EQ(TRIM_NONE, TrimWhitespaceASCII(" x ", TRIM_NONE, &out));
  EXPECT_EQ(" x ", out);
  EXPECT_EQ(TRIM_NONE, TrimWhitespaceASCII("x", TRIM_ALL, &out));
  EXPECT_EQ("x", out);

  // Every one of the six characters, and nothing else: 0xA0 and NUL stay.
  EXPECT_EQ(TRIM_ALL,
            TrimWhitespaceASCII("\t\n\v\f\r x\t\n\v\f\r ", TRIM_ALL, &out));
  EXPECT_EQ("x", out);
  EXPECT_EQ(TRIM_NONE, TrimWhitespaceASCII("\xA0x\xA0", TRIM_ALL, &out));
  EXPECT_EQ("\xA0x\xA0", out);
  const std::string nul_edges("\0x\0", 3);
  EXPECT_EQ(TRIM_NONE, TrimWhitespaceASCII(nul_edges, TRIM_ALL, &out));
  EXPECT_EQ(nul_edges, out);

  // The output may be the input.
  std::string in_place("  both  ");
  EXPECT_EQ(TRIM_ALL, TrimWhitespaceASCII(in_place, TRIM_ALL, &in_place));
  EXPECT_EQ("both", in_place);
  in_place = "    ";
  EXPECT_EQ(TRIM_ALL, TrimWhitespaceASCII(in_place, TRIM_ALL, &in_place));
  EXPECT_EQ("", in_place);
}

TEST(StringUtilTest, TrimWhitespaceWide) {
  const char16 kExpectedWhitespace[] = {
      0x0009, 0x000A, 0x000B, 0x000C, 0x000D, 0x0020, 0x0085, 0x00A0, 0x1680,
      0x2000, 0x2001, 0x2002, 0x2003, 0x2004, 0x2005, 0x2006, 0x2007, 0x2008,
      0x2009, 0x200A, 0x2028, 0x2029, 0x202F, 0x205F, 0x3000};
  EXPECT_EQ(25u, string16(kWhitespaceWide).size());
  string16 out;
  for (char16 space : kExpectedWhitespace) {
    const string16 text = string16(1, space) + L"x" + string16(2, space);
    EXPECT_EQ(TRIM_ALL, TrimWhitespace(text, TRIM_ALL, &out))
        << std::hex << static_cast<int>(space);
    EXPECT_EQ(L"x", out);
  }

  // Look-alikes that are not white space here.
  const char16 kNotWhitespace[] = {0x200B, 0xFEFF, 0x180E, 0x0000, 0x2060,
                                   0x00A1, 0x3001, 0x0120, 0x2100};
  for (char16 other : kNotWhitespace) {
    const string16 text = string16(1, other) + L"x" + string16(1, other);
    EXPECT_EQ(TRIM_NONE, TrimWhitespace(text, TRIM_ALL, &out))
        << std::hex << static_cast<int>(other);
    EXPECT_EQ(text, out);
  }

  EXPECT_EQ(TRIM_ALL, TrimWhitespace(L"\x3000\x00A0", TRIM_ALL, &out));
  EXPECT_EQ(L"", out);
  EXPECT_EQ(TRIM_NONE, TrimWhitespace(L"", TRIM_ALL, &out));
  EXPECT_EQ(TRIM_TRAILING, TrimWhitespace(L" a \x2028", TRIM_TRAILING, &out));
  EXPECT_EQ(L" a", out);
}

TEST(StringUtilTest, TrimStringWithOwnSets) {
  std::string out;
  EXPECT_EQ(TRIM_ALL, TrimString("--x-y--", "-", TRIM_ALL, &out));
  EXPECT_EQ("x-y", out);
  EXPECT_EQ(TRIM_LEADING, TrimString("ab-x-ba", "ab", TRIM_LEADING, &out));
  EXPECT_EQ("-x-ba", out);
  // An empty set trims nothing.
  EXPECT_EQ(TRIM_NONE, TrimString("  x  ", StringPiece(), TRIM_ALL, &out));
  EXPECT_EQ("  x  ", out);

  string16 wide_out;
  EXPECT_EQ(TRIM_TRAILING,
            TrimString16(L"\"quoted\"\"", L"\"", TRIM_TRAILING, &wide_out));
  EXPECT_EQ(L"\"quoted", wide_out);
  EXPECT_EQ(TRIM_ALL, TrimString16(L"\"\"", L"\"", TRIM_ALL, &wide_out));
  EXPECT_EQ(L"", wide_out);
}

TEST(StringUtilTest, TrimStringPiece) {
  const std::string text("  mid dle \t");
  StringPiece trimmed = TrimStringPiece(text, kWhitespaceASCII, TRIM_ALL);
  EXPECT_EQ("mid dle", trimmed.as_string());
  EXPECT_EQ(text.data() + 2, trimmed.data());  // A view into the input.
  EXPECT_EQ("mid dle \t",
            TrimStringPiece(text, kWhitespaceASCII, TRIM_LEADING).as_string());
  EXPECT_EQ("  mid dle",
            TrimStringPiece(text, kWhitespaceASCII, TRIM_TRAILING).as_string());
  EXPECT_EQ(text, TrimStringPiece(text, kWhitespaceASCII, TRIM_NONE));

  // Text made only of trim characters gives an empty piece at every setting
  // that trims.
  EXPECT_TRUE(TrimStringPiece(" \t ", kWhitespaceASCII, TRIM_ALL).empty());
  EXPECT_TRUE(TrimStringPiece(" \t ", kWhitespaceASCII, TRIM_LEADING).empty());
  EXPECT_TRUE(TrimStringPiece(" \t ", kWhitespaceASCII, TRIM_TRAILING).empty());
  EXPECT_TRUE(TrimStringPiece("", kWhitespaceASCII, TRIM_ALL).empty());
  EXPECT_EQ("x", TrimStringPiece("x", kWhitespaceASCII, TRIM_ALL).as_string());

  EXPECT_EQ(L"x y",
            TrimStringPiece16(L"\x3000x y\x00A0", kWhitespaceWide, TRIM_ALL)
                .as_string());
  EXPECT_TRUE(TrimStringPiece16(L"\x3000", kWhitespaceWide, TRIM_ALL).empty());
  EXPECT_EQ(L"//a",
            TrimStringPiece16(L"//a//", L"/", TRIM_TRAILING).as_string());
}

TEST(StringUtilTest, CollapseWhitespaceASCII) {
  EXPECT_EQ("a b", CollapseWhitespaceASCII("  a\t b  ", false));
  EXPECT_EQ("ab", CollapseWhitespaceASCII("a\r\nb", true));
  EXPECT_EQ("a b", CollapseWhitespaceASCII("a\r\nb", false));
  EXPECT_EQ("a b", CollapseWhitespaceASCII("a b", true));
  EXPECT_EQ("ab", CollapseWhitespaceASCII("a \n b", true));
  EXPECT_EQ("a b c", CollapseWhitespaceASCII("a\v\fb\t\t c", true));
  EXPECT_EQ("", CollapseWhitespaceASCII("", true));
  EXPECT_EQ("", CollapseWhitespaceASCII(" \r\n\t ", false));
  EXPECT_EQ("", CollapseWhitespaceASCII(" \r\n\t ", true));
  // Leading and trailing runs with line breaks vanish without eating text.
  EXPECT_EQ("x", CollapseWhitespaceASCII("\n x \r", true));
  EXPECT_EQ("x y", CollapseWhitespaceASCII("\n x  y \r", true));
  // Bytes of 0x80 and above are never white space.
  EXPECT_EQ("\xA0x\x85", CollapseWhitespaceASCII("\xA0x\x85", true));
  EXPECT_EQ(std::string("a\0b", 3),
            CollapseWhitespaceASCII(std::string(" a\0b ", 5), false));
}

TEST(StringUtilTest, IsStringASCIIAtEveryAlignment) {
  // A single non-ASCII character at each position of texts of every length
  // and start alignment, so that the leading, whole-word and tail parts of
  // the scan each see one.
  alignas(16) char narrow[64];
  alignas(16) char16 wide[64];
  for (size_t start = 0; start < 16; ++start) {
    for (size_t length = 0; length + start <= 40; ++length) {
      memset(narrow, 'a', sizeof(narrow));
      for (char16& unit : wide)
        unit = L'a';
      EXPECT_TRUE(IsStringASCII(StringPiece(narrow + start, length)));
      EXPECT_TRUE(IsStringASCII16(StringPiece16(wide + start, length)));
      for (size_t bad = 0; bad < length; ++bad) {
        SCOPED_TRACE(::testing::Message() << "start " << start << " length "
                                          << length << " bad " << bad);
        narrow[start + bad] = '\x80';
        EXPECT_FALSE(IsStringASCII(StringPiece(narrow + start, length)));
        narrow[start + bad] = '\xFF';
        EXPECT_FALSE(IsStringASCII(StringPiece(narrow + start, length)));
        narrow[start + bad] = 'a';
        // Units whose only non-ASCII bits are in the high byte, or only the
        // 0x80 bit.
        wide[start + bad] = 0x0100;
        EXPECT_FALSE(IsStringASCII16(StringPiece16(wide + start, length)));
        wide[start + bad] = 0x0080;
        EXPECT_FALSE(IsStringASCII16(StringPiece16(wide + start, length)));
        wide[start + bad] = L'a';
      }
      // Non-ASCII just outside the piece does not count.
      narrow[start + length] = '\x80';
      wide[start + length] = 0xFFFF;
      EXPECT_TRUE(IsStringASCII(StringPiece(narrow + start, length)));
      EXPECT_TRUE(IsStringASCII16(StringPiece16(wide + start, length)));
    }
  }
  EXPECT_TRUE(IsStringASCII(std::string("\0\x7F", 2)));
  EXPECT_TRUE(IsStringASCII16(string16(L"\0\x7F", 2)));
}

TEST(StringUtilTest, CaseMappingTouchesOnlyLatinLetters) {
  std::string all_bytes;
  for (int b = 0; b < 256; ++b)
    all_bytes.push_back(static_cast<char>(b));
  const std::string lower = ToLowerASCII(all_bytes);
  const std::string upper = ToUpperASCII(all_bytes);
  ASSERT_EQ(256u, lower.size());
  ASSERT_EQ(256u, upper.size());
  for (int b = 0; b < 256; ++b) {
    const int expected_lower = (b >= 'A' && b <= 'Z') ? b + 32 : b;
    const int expected_upper = (b >= 'a' && b <= 'z') ? b - 32 : b;
    EXPECT_EQ(expected_lower, static_cast<unsigned char>(lower[b])) << b;
    EXPECT_EQ(expected_upper, static_cast<unsigned char>(upper[b])) << b;
  }
  EXPECT_EQ("", ToLowerASCII(StringPiece()));
}

TEST(StringUtilTest, LowerCaseEqualsASCII) {
  EXPECT_TRUE(LowerCaseEqualsASCII(L"HeLLo", "hello"));
  EXPECT_TRUE(LowerCaseEqualsASCII(L"", ""));
  EXPECT_FALSE(LowerCaseEqualsASCII(L"hello", "hell"));
  EXPECT_FALSE(LowerCaseEqualsASCII(L"hell", "hello"));
  // The expected text is not lowered.
  EXPECT_FALSE(LowerCaseEqualsASCII(L"hello", "HELLO"));
  // Only A-Z are lowered: U+00C9 does not become U+00E9.
  EXPECT_FALSE(LowerCaseEqualsASCII(L"\x00C9", "\xE9"));
  // A narrow byte of 0x80 or above never matches, whatever the unit.
  EXPECT_FALSE(LowerCaseEqualsASCII(L"\x00E9", "\xE9"));
  EXPECT_FALSE(LowerCaseEqualsASCII(L"\xFFE9", "\xE9"));
  // A unit matches only by its whole value, not its low byte.
  EXPECT_FALSE(LowerCaseEqualsASCII(L"\x0161", "a"));
  EXPECT_TRUE(
      LowerCaseEqualsASCII(string16(L"A\0B", 3), std::string("a\0b", 3)));
}

TEST(StringUtilTest, StartsWithAndEndsWith) {
  EXPECT_TRUE(StartsWith("Hello", "HE", CompareCase::INSENSITIVE_ASCII));
  EXPECT_FALSE(StartsWith("Hello", "HE", CompareCase::SENSITIVE));
  EXPECT_TRUE(StartsWith("Hello", "He", CompareCase::SENSITIVE));
  EXPECT_FALSE(StartsWith("Hello", "He", static_cast<CompareCase>(2)));
  EXPECT_FALSE(StartsWith("He", "Hello", CompareCase::INSENSITIVE_ASCII));
  EXPECT_TRUE(StartsWith("Hello", "", CompareCase::SENSITIVE));
  EXPECT_TRUE(StartsWith("", "", CompareCase::INSENSITIVE_ASCII));
  EXPECT_FALSE(StartsWith("", "a", CompareCase::INSENSITIVE_ASCII));
  EXPECT_FALSE(StartsWith("\xC9t\xE9", "\xE9", CompareCase::INSENSITIVE_ASCII));
  EXPECT_TRUE(StartsWith(std::string("a\0b", 3), std::string("A\0", 2),
                         CompareCase::INSENSITIVE_ASCII));
  EXPECT_FALSE(StartsWith(std::string("a\0b", 3), std::string("a\0c", 3),
                          CompareCase::SENSITIVE));

  EXPECT_TRUE(StartsWith16(L"Hello", L"hE", CompareCase::INSENSITIVE_ASCII));
  EXPECT_FALSE(StartsWith16(L"Hello", L"hE", CompareCase::SENSITIVE));
  EXPECT_FALSE(
      StartsWith16(L"\x00C9", L"\x00E9", CompareCase::INSENSITIVE_ASCII));
  EXPECT_FALSE(StartsWith16(L"He", L"Hello", CompareCase::SENSITIVE));
  EXPECT_FALSE(StartsWith16(L"Hello", L"He", static_cast<CompareCase>(5)));

  EXPECT_TRUE(
      EndsWith16(L"setup.EXE", L".exe", CompareCase::INSENSITIVE_ASCII));
  EXPECT_FALSE(EndsWith16(L"setup.EXE", L".exe", CompareCase::SENSITIVE));
  EXPECT_TRUE(EndsWith16(L"setup.exe", L".exe", CompareCase::SENSITIVE));
  EXPECT_FALSE(EndsWith16(L"exe", L".exe", CompareCase::INSENSITIVE_ASCII));
  EXPECT_TRUE(EndsWith16(L"abc", L"", CompareCase::SENSITIVE));
  EXPECT_FALSE(EndsWith16(L"setup.exe", L"setup", CompareCase::SENSITIVE));
  EXPECT_FALSE(EndsWith16(L"x.exe", L".exe", static_cast<CompareCase>(2)));
}

TEST(StringUtilTest, JoinString) {
  EXPECT_EQ("", JoinString({}, ", "));
  EXPECT_EQ("a", JoinString({"a"}, ", "));
  EXPECT_EQ("a, b, c", JoinString({"a", "b", "c"}, ", "));
  EXPECT_EQ("abc", JoinString({"a", "b", "c"}, ""));
  EXPECT_EQ(",,", JoinString({"", "", ""}, ","));
  EXPECT_EQ(L"", JoinString16({}, L";"));
  EXPECT_EQ(L"x;y", JoinString16({L"x", L"y"}, L";"));
  EXPECT_EQ(string16(L"x\0y", 3),
            JoinString16({L"x", L"y"}, StringPiece16(L"\0", 1)));
}

TEST(StringUtilTest, ReplaceChars) {
  std::string out;
  EXPECT_TRUE(ReplaceChars("a.b.c", ".", "..", &out));
  EXPECT_EQ("a..b..c", out);

  out = "stale";
  EXPECT_FALSE(ReplaceChars("abc", ".", "-", &out));
  EXPECT_EQ("abc", out);  // The copy is made even when nothing changes.

  EXPECT_TRUE(ReplaceChars("a/b\\c", "/\\", "_", &out));
  EXPECT_EQ("a_b_c", out);
  EXPECT_TRUE(ReplaceChars("x\"y\"", "\"", "", &out));
  EXPECT_EQ("xy", out);
  // Inserted text holding set characters is not searched again.
  EXPECT_TRUE(ReplaceChars("ab", "ab", "ba", &out));
  EXPECT_EQ("baba", out);
  EXPECT_FALSE(ReplaceChars("abc", StringPiece(), "-", &out));
  EXPECT_EQ("abc", out);

  std::string in_place("1.2.3");
  EXPECT_TRUE(ReplaceChars(in_place, ".", ",", &in_place));
  EXPECT_EQ("1,2,3", in_place);
}

TEST(StringUtilTest, ReplaceFirstSubstringAfterOffset) {
  std::string text("one two one two");
  ReplaceFirstSubstringAfterOffset(&text, 0, "two", "2");
  EXPECT_EQ("one 2 one two", text);
  ReplaceFirstSubstringAfterOffset(&text, 1, "one", "1");
  EXPECT_EQ("one 2 1 two", text);
  ReplaceFirstSubstringAfterOffset(&text, 0, "three", "3");
  EXPECT_EQ("one 2 1 two", text);

  // An empty pattern matches at the start offset itself.
  text = "abc";
  ReplaceFirstSubstringAfterOffset(&text, 1, StringPiece(), "X");
  EXPECT_EQ("aXbc", text);
  text = "abc";
  ReplaceFirstSubstringAfterOffset(&text, 3, StringPiece(), "X");
  EXPECT_EQ("abcX", text);

  // A start offset beyond the end changes nothing.
  text = "abc";
  ReplaceFirstSubstringAfterOffset(&text, 4, StringPiece(), "X");
  ReplaceFirstSubstringAfterOffset(&text, 10, "c", "X");
  EXPECT_EQ("abc", text);
  ReplaceFirstSubstringAfterOffset(&text, 0, "b", StringPiece());
  EXPECT_EQ("ac", text);
}

// Builds a new string scanning forward for non-overlapping matches: the
// meaning that the in-place algorithm must reproduce.
std::string ReplaceAllByCopy(const std::string& text,
                             size_t start_offset,
                             const std::string& find_this,
                             const std::string& replace_with) {
  if (find_this.empty() || start_offset > text.size())
    return text;
  std::string result = text.substr(0, start_offset);
  size_t pos = start_offset;
  for (;;) {
    const size_t match = text.find(find_this, pos);
    if (match == std::string::npos)
      break;
    result += text.substr(pos, match - pos) + replace_with;
    pos = match + find_this.size();
  }
  return result + text.substr(pos);
}

TEST(StringUtilTest, ReplaceSubstringsAfterOffsetCases) {
  std::string text("aaaa");
  ReplaceSubstringsAfterOffset(&text, 0, "aa", "bbb");
  EXPECT_EQ("bbbbbb", text);

  text = "abcabc";
  ReplaceSubstringsAfterOffset(&text, 1, "abc", "x");
  EXPECT_EQ("abcx", text);

  // Growth with a pattern that overlaps itself: the matches are the ones a
  // forward scan finds (0 and 4), not the ones a backward scan would (1).
  text = "aaaXaa";
  ReplaceSubstringsAfterOffset(&text, 0, "aa", "bbb");
  EXPECT_EQ("bbbaXbbb", text);

  text = "abcabc";
  ReplaceSubstringsAfterOffset(&text, 0, "b", "B");  // Same length.
  EXPECT_EQ("aBcaBc", text);
  ReplaceSubstringsAfterOffset(&text, 0, "aBc", "");  // Shrinks to nothing.
  EXPECT_EQ("", text);

  text = "abc";
  ReplaceSubstringsAfterOffset(&text, 0, StringPiece(), "X");
  EXPECT_EQ("abc", text);
  ReplaceSubstringsAfterOffset(&text, 4, "a", "X");
  EXPECT_EQ("abc", text);
  ReplaceSubstringsAfterOffset(&text, 3, "c", "X");
  EXPECT_EQ("abc", text);

  // Replacement text holding the pattern is not searched again.
  text = "a-b";
  ReplaceSubstringsAfterOffset(&text, 0, "-", "--");
  EXPECT_EQ("a--b", text);

  text = std::string("x\0y\0z", 5);
  ReplaceSubstringsAfterOffset(&text, 0, StringPiece("\0", 1), "<nul>");
  EXPECT_EQ("x<nul>y<nul>z", text);
}

// Every small text over a two-letter alphabet, against patterns that overlap
// themselves and replacements shorter, equal and longer, from every offset.
TEST(StringUtilTest, ReplaceSubstringsAfterOffsetMatchesForwardScan) {
  const std::vector<std::string> patterns = {"a", "aa", "ab", "aba", "bab"};
  const std::vector<std::string> replacements = {"",    "x",    "yy",
                                                 "zzz", "aaaa", "ba"};
  for (int length = 0; length <= 8; ++length) {
    for (int bits = 0; bits < (1 << length); ++bits) {
      std::string text;
      for (int i = 0; i < length; ++i)
        text.push_back((bits >> i) & 1 ? 'b' : 'a');
      for (const std::string& find_this : patterns) {
        for (const std::string& replace_with : replacements) {
          for (size_t offset = 0; offset <= text.size() + 1; ++offset) {
            std::string actual = text;
            ReplaceSubstringsAfterOffset(&actual, offset, find_this,
                                         replace_with);
            ASSERT_EQ(ReplaceAllByCopy(text, offset, find_this, replace_with),
                      actual)
                << "text '" << text << "' offset " << offset << " find '"
                << find_this << "' replace '" << replace_with << "'";
          }
        }
      }
    }
  }
}

TEST(StringUtilTest, ReplaceStringPlaceholders) {
  const std::vector<std::string> xy = {"x", "y"};
  EXPECT_EQ("x and y", ReplaceStringPlaceholders("$1 and $2", xy, nullptr));
  EXPECT_EQ("y then x", ReplaceStringPlaceholders("$2 then $1", xy));
  EXPECT_EQ("$1", ReplaceStringPlaceholders("$$1", xy));
  EXPECT_EQ("$", ReplaceStringPlaceholders("$$", xy));
  // In a run of dollars only the first is dropped; digits after the run are
  // plain text.
  EXPECT_EQ("$$", ReplaceStringPlaceholders("$$$", xy));
  EXPECT_EQ("$$$1", ReplaceStringPlaceholders("$$$$1", xy));
  EXPECT_EQ("$ x", ReplaceStringPlaceholders("$$ $1", xy));
  EXPECT_EQ("cost: ", ReplaceStringPlaceholders("cost: $", xy));
  EXPECT_EQ("x", ReplaceStringPlaceholders("x$", xy));
  EXPECT_EQ("x.", ReplaceStringPlaceholders("$x.", xy));    // No digits.
  EXPECT_EQ("<>", ReplaceStringPlaceholders("<$20>", xy));  // Not "$2" "0".
  EXPECT_EQ("", ReplaceStringPlaceholders("$0$3", xy));
  EXPECT_EQ("", ReplaceStringPlaceholders("", xy));
  EXPECT_EQ("x y", ReplaceStringPlaceholders("x y", {}));

  std::vector<std::string> twelve;
  for (int i = 1; i <= 12; ++i)
    twelve.push_back("s" + std::to_string(i));
  EXPECT_EQ("[s12]", ReplaceStringPlaceholders("[$12]", twelve));
  EXPECT_EQ("[s1]", ReplaceStringPlaceholders("[$01]", twelve));
  // $12 with only eleven substitutions is not $1 followed by "2".
  twelve.pop_back();
  EXPECT_EQ("[]", ReplaceStringPlaceholders("[$12]", twelve));

  // A number too long for 64 bits saturates instead of wrapping round to a
  // small placeholder (2^64 + 1 would wrap to $1).
  EXPECT_EQ("<>", ReplaceStringPlaceholders("<$18446744073709551617>", xy));
  EXPECT_EQ("<>", ReplaceStringPlaceholders("<$99999999999999999999999>", xy));
}

TEST(StringUtilTest, ReplaceStringPlaceholdersOffsets) {
  const std::vector<std::string> xy = {"xx", "y"};
  std::vector<size_t> offsets;
  EXPECT_EQ("xx and y", ReplaceStringPlaceholders("$1 and $2", xy, &offsets));
  EXPECT_EQ((std::vector<size_t>{0, 7}), offsets);

  // Ordered by placeholder number, not by place in the output.
  offsets.clear();
  EXPECT_EQ("y-xx", ReplaceStringPlaceholders("$2-$1", xy, &offsets));
  EXPECT_EQ((std::vector<size_t>{2, 0}), offsets);

  // With the same number, the later placeholder comes first.
  offsets.clear();
  EXPECT_EQ("xx.xx", ReplaceStringPlaceholders("$1.$1", xy, &offsets));
  EXPECT_EQ((std::vector<size_t>{3, 0}), offsets);

  // Placeholders without substitution still give an offset; "$" and "$0"
  // sort last.
  offsets.clear();
  EXPECT_EQ("ab", ReplaceStringPlaceholders("a$3b$0", xy, &offsets));
  EXPECT_EQ((std::vector<size_t>{1, 2}), offsets);

  // The vector is appended to, not cleared.
  offsets = {99};
  EXPECT_EQ("$ xx", ReplaceStringPlaceholders("$$ $1", xy, &offsets));
  EXPECT_EQ((std::vector<size_t>{99, 2}), offsets);
  EXPECT_EQ("$$1", ReplaceStringPlaceholders("$$$1", xy, &offsets));
  EXPECT_EQ((std::vector<size_t>{99, 2}), offsets);

  std::vector<size_t> wide_offsets;
  EXPECT_EQ(L"<y|\x00E9>", ReplaceStringPlaceholders16(
                               L"<$2|$1>", {L"\x00E9", L"y"}, &wide_offsets));
  EXPECT_EQ((std::vector<size_t>{3, 1}), wide_offsets);
  EXPECT_EQ(L"$1", ReplaceStringPlaceholders16(L"$$1", {L"z"}));
  EXPECT_EQ(L"z", ReplaceStringPlaceholders16(L"$1$", {L"z"}));
}

TEST(StringUtilTest, Strlcpy) {
  char buffer[8];
  memset(buffer, 'X', sizeof(buffer));
  EXPECT_EQ(5u, strlcpy(buffer, "hello", 4));
  EXPECT_STREQ("hel", buffer);
  EXPECT_EQ('X', buffer[4]);

  memset(buffer, 'X', sizeof(buffer));
  EXPECT_EQ(5u, strlcpy(buffer, "hello", 0));
  EXPECT_EQ('X', buffer[0]);

  EXPECT_EQ(5u, strlcpy(buffer, "hello", 6));
  EXPECT_STREQ("hello", buffer);
  EXPECT_EQ(5u, strlcpy(buffer, "hello", 5));
  EXPECT_STREQ("hell", buffer);
  EXPECT_EQ(5u, strlcpy(buffer, "hello", 1));
  EXPECT_STREQ("", buffer);
  EXPECT_EQ(0u, strlcpy(buffer, "", sizeof(buffer)));
  EXPECT_STREQ("", buffer);
}

}  // namespace
}  // namespace base
