#include "base/strings/utf_string_conversions.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

const char16 kFFFD = 0xFFFD;

string16 Units(std::initializer_list<char16> units) {
  return string16(units);
}

TEST(UTFStringConversionsTest, MalformedUTF8GivesOneReplacementEach) {
  struct Case {
    std::string utf8;
    string16 expected;
  } const cases[] = {
      {"\xC0\x80", Units({kFFFD})},          // Overlong NUL.
      {"\xED\xA0\x80", Units({kFFFD})},      // Encoded surrogate.
      {"\xF4\x90\x80\x80", Units({kFFFD})},  // Above U+10FFFF.
      {"\xE2\x28\xA1", Units({kFFFD, '(', kFFFD})},
      {"ab\xE2\x82", Units({'a', 'b', kFFFD})},  // Truncated at the end.
      {"\xFF", Units({kFFFD})},
      {"\xF8\x88\x80\x80\x80", Units({kFFFD})},  // Five-byte form.
      {"\xFC\x84\x80\x80\x80\x80z", Units({kFFFD, 'z'})},
      {"\x80\x80", Units({kFFFD, kFFFD})},  // Stray continuations.
      {"\xC3\xA9\x80", Units({0xE9, kFFFD})},
      {"\xC3"
       "a",
       Units({kFFFD, 'a'})},
      {"\xE2\x82\xE2\x82\xAC", Units({kFFFD, 0x20AC})},
      {"\xF0\x9F\x98", Units({kFFFD})},
      {"\xF0\x9F\x98"
       "x\xF0\x9F\x98\x80",
       Units({kFFFD, 'x', 0xD83D, 0xDE00})},
      {"\xEF\xBF\xBE", Units({0xFFFE})},  // Noncharacter kept.
      {"\xEF\xB7\x90", Units({0xFDD0})},
      {"\xF4\x8F\xBF\xBF", Units({0xDBFF, 0xDFFF})},
      {std::string("\xC3\xA9\0\xC3\xA9", 5), Units({0xE9, 0, 0xE9})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << "input of " << c.utf8.size() << " bytes starting "
                 << std::hex << (c.utf8[0] & 0xFF));
    EXPECT_EQ(c.expected, UTF8ToWide(c.utf8));
    EXPECT_EQ(c.expected, UTF8ToUTF16(c.utf8));
  }
}

TEST(UTFStringConversionsTest, UnpairedSurrogatesGiveOneReplacementEach) {
  struct Case {
    string16 utf16;
    std::string expected;
  } const cases[] = {
      {Units({0xD800}), "\xEF\xBF\xBD"},
      {Units({0xDC00}), "\xEF\xBF\xBD"},
      {Units({0xD800, 'A'}),
       "\xEF\xBF\xBD"
       "A"},
      {Units({'a', 0xDBFF}), "a\xEF\xBF\xBD"},
      {Units({0xDC00, 0xD800}), "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {Units({0xD800, 0xD800, 0xDC00}), "\xEF\xBF\xBD\xF0\x90\x80\x80"},
      {Units({0xD83D, 0xDE00}), "\xF0\x9F\x98\x80"},
      {Units({0x00E9, 0, 'x'}), std::string("\xC3\xA9\0x", 4)},
      {Units({0x07FF, 0x0800, 0xFFFF}), "\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, UTF16ToUTF8(c.utf16));
    EXPECT_EQ(c.expected, WideToUTF8(c.utf16));
  }
}

TEST(UTFStringConversionsTest, ValidTextRoundTrips) {
  const std::vector<std::string> texts = {
      "",
      "plain ASCII with\ttabs",
      std::string("ASCII with \0 NUL", 16),
      "Gr\xC3\xBC\xC3\x9F"
      "e",
      "\xE4\xB8\xAD\xE6\x96\x87",
      "mixed \xF0\x9F\x98\x80 and \xE2\x82\xAC and \xC2\xA0.",
  };
  for (const std::string& text : texts) {
    const string16 wide = UTF8ToUTF16(text);
    EXPECT_EQ(text, UTF16ToUTF8(wide));
    EXPECT_EQ(text, WideToUTF8(UTF8ToWide(text)));
  }
  EXPECT_EQ(
      L"Gr\x00FC\x00DF"
      L"e",
      UTF8ToWide("Gr\xC3\xBC\xC3\x9F"
                 "e"));
  EXPECT_EQ(L"\x4E2D\x6587", UTF8ToWide("\xE4\xB8\xAD\xE6\x96\x87"));
}

// The ASCII shortcut and the decoding loop must agree wherever the one
// non-ASCII character sits relative to the 8-byte words of the scan.
TEST(UTFStringConversionsTest, SingleNonASCIICharacterAtEveryPlace) {
  for (size_t length = 1; length <= 24; ++length) {
    for (size_t place = 0; place < length; ++place) {
      std::string narrow(length, 'a');
      narrow.replace(place, 1, "\xC3\xA9");
      string16 wide(length, L'a');
      wide[place] = 0x00E9;
      EXPECT_EQ(wide, UTF8ToWide(narrow)) << length << " " << place;
      EXPECT_EQ(narrow, UTF16ToUTF8(wide)) << length << " " << place;

      std::string bad(length, 'a');
      bad[place] = '\xFF';
      string16 expected(length, L'a');
      expected[place] = kFFFD;
      EXPECT_EQ(expected, UTF8ToWide(bad)) << length << " " << place;
    }
  }
}

TEST(UTFStringConversionsTest, ASCIIConversionsDoNotCheck) {
  EXPECT_EQ(Units({0xFFE9}), ASCIIToUTF16("\xE9"));
  EXPECT_EQ(Units({'a', 0xFF80, 0xFFFF, 0x7F}), ASCIIToUTF16("a\x80\xFF\x7F"));
  EXPECT_EQ(string16(L"a\0b", 3), ASCIIToUTF16(std::string("a\0b", 3)));
  EXPECT_EQ("\x41", UTF16ToASCII(Units({0x0141})));
  EXPECT_EQ("\xE9z", UTF16ToASCII(Units({0xFFE9, 'z'})));
  EXPECT_EQ(std::string("x\0y", 3), UTF16ToASCII(string16(L"x\0y", 3)));
  EXPECT_EQ("setup.exe", UTF16ToASCII(L"setup.exe"));
}

TEST(UTFStringConversionsTest, EmptyInputs) {
  EXPECT_EQ(string16(), UTF8ToWide(StringPiece()));
  EXPECT_EQ(string16(), UTF8ToUTF16(""));
  EXPECT_EQ(std::string(), UTF16ToUTF8(StringPiece16()));
  EXPECT_EQ(std::string(), WideToUTF8(string16()));
  EXPECT_EQ(string16(), ASCIIToUTF16(StringPiece()));
  EXPECT_EQ(std::string(), UTF16ToASCII(StringPiece16()));
}

}  // namespace
}  // namespace base
