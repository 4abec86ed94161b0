#include "base/strings/string_util.h"

#include <string.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

// The string and the piece forms trim alike; the string form also reports
// which ends lost characters, or the requested ends when all is trimmed.
// Only the six ASCII white-space characters count: 0xA0 and NUL stay.
TEST(StringUtilTest, TrimWhitespaceASCII) {
  const TrimPositions kNone = TRIM_NONE, kLead = TRIM_LEADING,
                      kTrail = TRIM_TRAILING, kAll = TRIM_ALL;
  const std::tuple<std::string, TrimPositions, TrimPositions, std::string>
      kCases[] = {
          {"  x ", kAll, kAll, "x"},
          {" \t", kLead, kLead, ""},
          {"\n\n", kTrail, kTrail, ""},
          {"", kAll, kNone, ""},
          {"x  ", kLead, kNone, "x  "},
          {" x  ", kTrail, kTrail, " x"},
          {"\r\nx y", kAll, kLead, "x y"},
          {" x ", kNone, kNone, " x "},
          {"\t\v\f x\240", kAll, kLead, "x\240"},
          {std::string("\0x\0", 3), kAll, kNone, std::string("\0x\0", 3)}};
  for (const auto& [input, positions, result, output] : kCases) {
    std::string out = input;  // The output may be the input.
    EXPECT_EQ(result, TrimWhitespaceASCII(out, positions, &out)) << input;
    EXPECT_EQ(output, out);
    const StringPiece piece =
        TrimStringPiece(input, kWhitespaceASCII, positions);
    EXPECT_EQ(output, piece.as_string());
    if (!output.empty()) {
      EXPECT_EQ(input.data() + input.find(output), piece.data());
    }
  }
  std::string out;
  EXPECT_EQ(TRIM_LEADING, TrimString("ab-x-ba", "ab", TRIM_LEADING, &out));
  EXPECT_EQ("-x-ba", out);
  EXPECT_EQ(TRIM_NONE, TrimString("  x  ", StringPiece(), TRIM_ALL, &out));
}

// Every character of the wide table goes, and look-alikes stay.
TEST(StringUtilTest, TrimWhitespaceWide) {
  const string16 text =
      string16(kWhitespaceWide) + L"\u200B\uFEFF\u2060x" + kWhitespaceWide;
  string16 out;
  EXPECT_EQ(TRIM_ALL, TrimWhitespace(text, TRIM_ALL, &out));
  EXPECT_EQ(L"\u200B\uFEFF\u2060x", out);
  EXPECT_EQ(TRIM_TRAILING,
            TrimString16(L"\"\"q\"", L"\"", TRIM_TRAILING, &out));
  EXPECT_EQ(L"//a",
            TrimStringPiece16(L"//a//", L"/", TRIM_TRAILING).as_string());
}

// Inner runs become one space, and with the flag a run holding a line
// break, even a lone CR, vanishes; leading and trailing runs always go.
TEST(StringUtilTest, CollapseWhitespaceASCII) {
  const std::tuple<std::string, std::string, std::string> kCases[] = {
      {"  a\t b  ", "a b", "a b"},
      {"a\r\nb", "a b", "ab"},
      {"a\rb \r c", "a b c", "abc"},
      {"a\v\fb\t\t c", "a b c", "a b c"},
      {" \r\n\t ", "", ""},
      {"\n x  y \r", "x y", "x y"},
      {std::string("\xA0x\x85 \0", 5), std::string("\xA0x\x85 \0", 5),
       std::string("\xA0x\x85 \0", 5)},
  };
  for (const auto& [input, without_flag, with_flag] : kCases) {
    EXPECT_EQ(without_flag, CollapseWhitespaceASCII(input, false)) << input;
    EXPECT_EQ(with_flag, CollapseWhitespaceASCII(input, true)) << input;
  }
}

// One non-ASCII unit at each place of texts of every length and start
// alignment, so that the leading, whole-word and tail parts of the scan each
// see one; non-ASCII just outside the text does not count.
TEST(StringUtilTest, IsStringASCIIAtEveryAlignment) {
  alignas(16) char16 wide[32] = {};
  for (size_t start = 0; start < 8; ++start) {
    for (size_t length = 0; start + length < 24; ++length) {
      wide[start + length] = 0xFFFF;
      EXPECT_TRUE(IsStringASCII16(StringPiece16(wide + start, length)));
      wide[start + length] = 0;
      for (size_t bad = start; bad < start + length; ++bad) {
        wide[bad] = bad % 2 ? 0x0080 : 0x0100;
        EXPECT_FALSE(IsStringASCII16(StringPiece16(wide + start, length)))
            << start << " " << length << " " << bad;
        wide[bad] = 0;
      }
    }
  }
  EXPECT_TRUE(IsStringASCII(std::string("0123456\0\x7F", 9)));
  EXPECT_FALSE(IsStringASCII("01234567\x80"));
  EXPECT_FALSE(IsStringASCII("\37701234567"));
}

TEST(StringUtilTest, CaseMappingTouchesOnlyLatinLetters) {
  std::string all_bytes;
  for (int b = 0; b < 256; ++b)
    all_bytes.push_back(static_cast<char>(b));
  const std::string lower = ToLowerASCII(all_bytes);
  const std::string upper = ToUpperASCII(all_bytes);
  for (int b = 0; b < 256; ++b) {
    EXPECT_EQ(b >= 'A' && b <= 'Z' ? b + 32 : b, lower[b] & 0xFF);
    EXPECT_EQ(b >= 'a' && b <= 'z' ? b - 32 : b, upper[b] & 0xFF);
  }
  // Lengths must agree; the expected text is not lowered; only A-Z are; a
  // narrow byte of 0x80 or above never matches; a unit must match whole.
  EXPECT_TRUE(LowerCaseEqualsASCII(L"HeLLo", "hello"));
  const std::pair<const wchar_t*, const char*> kUnequal[] = {
      {L"hello", "hell"},  {L"hell", "hello"},  {L"hello", "HELLO"},
      {L"\x00C9", "\xE9"}, {L"\x00E9", "\xE9"}, {L"\x0161", "a"},
  };
  for (const auto& c : kUnequal)
    EXPECT_FALSE(LowerCaseEqualsASCII(c.first, c.second)) << c.first;
}

// An affix longer than the text never matches; one as long must match all
// of it. Any case value but the two compares false.
TEST(StringUtilTest, StartsWithAndEndsWith) {
  const CompareCase kSensitive = CompareCase::SENSITIVE;
  const CompareCase kInsensitive = CompareCase::INSENSITIVE_ASCII;
  const std::tuple<const wchar_t*, const wchar_t*, CompareCase, bool, bool>
      kCases[] = {
          {L"Hello", L"hE", kInsensitive, true, false},
          {L"Hello", L"hE", kSensitive, false, false},
          {L"Hello", L"", static_cast<CompareCase>(2), false, false},
          {L"Hello", L"", kSensitive, true, true},
          {L"He", L"Hello", kInsensitive, false, false},
          {L"setup.EXE", L".exe", kInsensitive, false, true},
          {L"\x00C9t\x00E9", L"\x00E9", kInsensitive, false, true},
          {L"\x00C9", L"\x00E9", kInsensitive, false, false},
          {L"Abc", L"abc", kInsensitive, true, true},
          {L"abc", L"xbc", kSensitive, false, false},
      };
  for (const auto& [text, affix, case_sensitivity, starts, ends] : kCases) {
    EXPECT_EQ(starts, StartsWith16(text, affix, case_sensitivity))
        << text << " " << affix;
    EXPECT_EQ(ends, EndsWith16(text, affix, case_sensitivity))
        << text << " " << affix;
  }
  EXPECT_TRUE(StartsWith("Hello", "HE", kInsensitive));
  EXPECT_FALSE(StartsWith("He", "He!", kInsensitive));
}

TEST(StringUtilTest, JoinString) {
  EXPECT_EQ("", JoinString({}, ", "));
  EXPECT_EQ("a, b, c", JoinString({"a", "b", "c"}, ", "));
  EXPECT_EQ(string16(L"x\0y", 3),
            JoinString16({L"x", L"y"}, StringPiece16(L"\0", 1)));
}

TEST(StringUtilTest, ReplaceCharsAndFirstSubstring) {
  // {input, set, replacement, output}; inserted text holding set characters
  // is not searched again; the copy is made even when nothing changes.
  const char* kChars[][4] = {
      {"a.b.c", ".", "..", "a..b..c"}, {"abc", ".", "-", "abc"},
      {"a/b\\c", "/\\", "_", "a_b_c"}, {"abc", "", "-", "abc"},
      {"ab", "ab", "ba", "baba"},
  };
  for (const auto& c : kChars) {
    std::string out = "stale";
    EXPECT_EQ(strcmp(c[0], c[3]) != 0, ReplaceChars(c[0], c[1], c[2], &out));
    EXPECT_EQ(c[3], out);
  }
  // In "abc-abc": an empty pattern matches at the offset itself; an offset
  // beyond the end changes nothing.
  const std::tuple<size_t, const char*, const char*> kFirst[] = {
      {0, "b", "aXc-abc"},
      {2, "b", "abc-aXc"},
      {0, "z", "abc-abc"},
      {7, "", "abc-abcX"},
      {8, "", "abc-abc"}};
  for (const auto& [offset, find, output] : kFirst) {
    std::string text = "abc-abc";
    ReplaceFirstSubstringAfterOffset(&text, offset, find, "X");
    EXPECT_EQ(output, text) << offset << " '" << find << "'";
  }
}

// Every small text over a two-letter alphabet, against patterns that overlap
// themselves and replacements shorter, equal and longer, from every offset:
// the matches are the ones a forward scan finds, and inserted text is never
// searched.
TEST(StringUtilTest, ReplaceSubstringsAfterOffsetMatchesForwardScan) {
  for (int length = 0; length <= 8; ++length) {
    for (int bits = 0; bits < (1 << length); ++bits) {
      std::string text;
      for (int i = 0; i < length; ++i)
        text.push_back((bits >> i) & 1 ? 'b' : 'a');
      for (const std::string find : {"a", "aa", "ab", "aba", "bab"}) {
        for (const char* replace : {"", "x", "yy", "zzz", "aaaa", "ba"}) {
          for (size_t offset = 0; offset <= text.size() + 1; ++offset) {
            std::string expected = text;
            for (size_t match = text.find(find, offset), shift = 0;
                 match != std::string::npos;
                 match = text.find(find, match + find.size())) {
              expected.replace(match + shift, find.size(), replace);
              shift += strlen(replace) - find.size();
            }
            std::string actual = text;
            ReplaceSubstringsAfterOffset(&actual, offset, find, replace);
            ASSERT_EQ(expected, actual)
                << "'" << text << "' from " << offset << ": '" << find
                << "' by '" << replace << "'";
          }
        }
      }
    }
  }
  std::string text("x\0y", 3);
  ReplaceSubstringsAfterOffset(&text, 0, StringPiece("\0", 1), "<nul>");
  ReplaceSubstringsAfterOffset(&text, 0, "", "X");
  EXPECT_EQ("x<nul>y", text);
}

TEST(StringUtilTest, ReplaceStringPlaceholders) {
  std::vector<std::string> twelve;
  for (int i = 1; i <= 12; ++i)
    twelve.push_back("s" + std::to_string(i));
  // Offsets are appended (here after a 99), ordered by placeholder number,
  // the later first for the same number. "$" without digits, "$0" and
  // placeholders without a substitution give no text but an offset. In a
  // run of dollars only the first is dropped, and a lone '$' at the end. A
  // number too long for 64 bits must not wrap round to a small one.
  const std::tuple<const char*, const char*, std::vector<size_t>> kCases[] = {
      {"$2-$1", "s2-s1", {99, 3, 0}},
      {"$1.$1", "s1.s1", {99, 3, 0}},
      {"$$$1", "$$1", {99}},
      {"x$", "x", {99}},
      {"$x.", "x.", {99, 0}},
      {"a$13b$0", "ab", {99, 1, 2}},
      {"[$12]", "[s12]", {99, 1}},
      {"<$18446744073709551617>", "<>", {99, 1}},
  };
  for (const auto& [format, output, expected_offsets] : kCases) {
    EXPECT_EQ(output, ReplaceStringPlaceholders(format, twelve, nullptr));
    std::vector<size_t> offsets = {99};
    EXPECT_EQ(output, ReplaceStringPlaceholders(format, twelve, &offsets));
    EXPECT_EQ(expected_offsets, offsets) << format;
  }
  twelve.pop_back();
  EXPECT_EQ("[]", ReplaceStringPlaceholders("[$12]", twelve));
}

// The source's length comes back; the copy is cut and NUL-terminated to fit
// the size, and nothing is written beyond it.
TEST(StringUtilTest, Strlcpy) {
  for (size_t size : {0u, 1u, 4u, 5u, 6u}) {
    char buffer[8] = "XXXXXXX";
    EXPECT_EQ(5u, strlcpy(buffer, "hello", size));
    std::string expected(7, 'X');
    if (size != 0)
      expected.replace(0, size, std::string("hello", size - 1) + '\0');
    EXPECT_EQ(expected, std::string(buffer, 7)) << size;
  }
}

}  // namespace
}  // namespace base
