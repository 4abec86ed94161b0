#include "base/strings/utf_string_conversions.h"

#include <string>
#include <tuple>

#include "base/strings/sys_string_conversions.h"
#include "base/strings/utf_string_conversion_utils.h"
#include "gtest/gtest.h"

namespace base {
namespace {

const uint32_t kError = 0xFFFFFFFF;
const char16 kFFFD = 0xFFFD;

// The index ends on the last byte taken: a bad sequence takes the
// continuation bytes its lead announced, up to the first that is not one.
TEST(UTFConversionUtilsTest, ReadUTF8) {
  const std::tuple<std::string, int32_t, uint32_t, int32_t> kCases[] = {
      {std::string(1, '\0'), 0, 0, 0},
      {"\x7F", 0, 0x7F, 0},
      {"\xC2\x80", 0, 0x80, 1},
      {"\xE0\xA0\x80", 0, 0x800, 2},
      {"\xEF\xBF\xBE", 0, 0xFFFE, 2},
      {"\xF4\x8F\xBF\xBF", 0, 0x10FFFF, 3},
      {"a\xC3\xA9\xE2\x82", 1, 0xE9, 2},
      {"\xF0\x8F\xBF\xBF", 0, kError, 3},
      {"\xED\xA0\x80", 0, kError, 2},
      {"\xF4\x90\x80\x80", 0, kError, 3},
      {"\xFC\x84\x80\x80\x80\x80", 0, kError, 5},
      {"\xE2\x28\xA1", 0, kError, 0},
      {"\xF4\x90\x28", 0, kError, 1},
      {"\xF8\x80\x80", 0, kError, 2},
      {"a\xC3\xA9\xE2\x82", 3, kError, 4}};
  for (const auto& [bytes, start, expected, last_index] : kCases) {
    int32_t index = start;
    uint32_t code_point = 0x12345;
    EXPECT_EQ(
        expected != kError,
        ReadUnicodeCharacter(bytes.data(), static_cast<int32_t>(bytes.size()),
                             &index, &code_point))
        << bytes;
    EXPECT_EQ(expected, code_point) << bytes;
    EXPECT_EQ(last_index, index) << bytes;
  }
  // The decoder stops at the given length, not at the end of the memory.
  const uint8_t cut[] = {0xF0, 0x9F, 0x98, 0x80};
  int32_t index = 1;
  EXPECT_EQ(-1, UTF8NextCharSafeBody(cut, &index, 3, cut[0], -1));
  EXPECT_EQ(3, index);
}

TEST(UTFConversionUtilsTest, ReadUTF16) {
  const char16 text[] = {0xD83D, 0xDE00, 'a',    0xDBFF, 0xDFFF, 0xD800,
                         'A',    0xDC00, 0xD800, 0xD800, 0xDC00};
  // {length, start, code point or -1, index after}.
  const int32_t kCases[][4] = {
      {11, 0, 0x1F600, 1}, {11, 3, 0x10FFFF, 4}, {11, 9, 0x10000, 10},
      {11, 2, 'a', 2},     {11, 1, -1, 1},       {11, 5, -1, 5},
      {11, 7, -1, 7},      {11, 8, -1, 8},       {1, 0, -1, 0},
  };
  for (const auto& c : kCases) {
    int32_t index = c[1];
    uint32_t code_point = kError;
    EXPECT_EQ(c[2] != -1,
              ReadUnicodeCharacter(text, c[0], &index, &code_point));
    EXPECT_EQ(static_cast<uint32_t>(c[2]), code_point) << c[1];
    EXPECT_EQ(c[3], index) << c[1];
  }
}

// Every valid code point survives writing and reading back.
TEST(UTFConversionUtilsTest, EveryCodePointRoundTrips) {
  for (uint32_t cp = 0; cp <= 0x10FFFF; cp = cp == 0xD7FF ? 0xE000 : cp + 1) {
    std::string narrow = "x";
    string16 wide = L"x";
    const int32_t bytes =
        static_cast<int32_t>(WriteUnicodeCharacter(cp, &narrow));
    const int32_t units =
        static_cast<int32_t>(WriteUnicodeCharacter(cp, &wide));
    int32_t narrow_index = 1;
    int32_t wide_index = 1;
    uint32_t from_narrow = 0;
    uint32_t from_wide = 0;
    ASSERT_TRUE(
        bytes == 1 + (cp >= 0x80) + (cp >= 0x800) + (cp >= 0x10000) &&
        units == 1 + (cp >= 0x10000) && narrow.size() == 1u + bytes &&
        ReadUnicodeCharacter(narrow.data(), bytes + 1, &narrow_index,
                             &from_narrow) &&
        ReadUnicodeCharacter(wide.data(), units + 1, &wide_index, &from_wide) &&
        from_narrow == cp && from_wide == cp && narrow_index == bytes &&
        wide_index == units)
        << std::hex << cp;
  }
}

// Output is emptied; room is reserved as the first character suggests.
TEST(UTFConversionUtilsTest, PrepareOutputEmptiesAndReserves) {
  string16 wide(L"old text");
  PrepareForUTF16Or32Output("abcdefghijklmnopqrstuvwxyz", 26, &wide);
  EXPECT_EQ(L"", wide);
  EXPECT_GE(wide.capacity(), 26u);
  std::string narrow("old text");
  const char16 wide_first[] = {0x4E2D, 'a', 'b', 'c', 'd', 'e', 'f'};
  PrepareForUTF8Output(wide_first, 7, &narrow);
  EXPECT_EQ("", narrow);
  EXPECT_GE(narrow.capacity(), 21u);
}

// Each malformed sequence and each unpaired surrogate becomes one U+FFFD;
// decoding goes on after it.
TEST(UTFStringConversionsTest, MalformedInputGivesOneReplacementEach) {
  const std::pair<std::string, string16> kUTF8[] = {
      {"\xC0\x80", {kFFFD}},
      {"\x80\x80", {kFFFD, kFFFD}},
      {"\xE2\x28\xA1", {kFFFD, '(', kFFFD}},
      {"ab\xE2\x82", {'a', 'b', kFFFD}},
      {"\xF8\x88\x80\x80\x80", {kFFFD}},
      {"\xE2\x82\xE2\x82\xAC", {kFFFD, 0x20AC}},
      {"\xF0\x9F\x98x\xF0\x9F\x98\x80", {kFFFD, 'x', 0xD83D, 0xDE00}},
      {std::string("\xC3\xA9\0", 3), {0xE9, 0}},
  };
  for (const auto& c : kUTF8) {
    EXPECT_EQ(c.second, UTF8ToWide(c.first)) << c.first;
    EXPECT_EQ(c.second, UTF8ToUTF16(c.first)) << c.first;
  }
  const std::pair<string16, std::string> kUTF16[] = {
      {{0xD800, 'A'},
       "\xEF\xBF\xBD"
       "A"},
      {{0xDC00, 0xD800}, "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {{0xD800, 0xD800, 0xDC00}, "\xEF\xBF\xBD\xF0\x90\x80\x80"},
      {{0x00E9, 0, 0x07FF, 0x0800},
       std::string("\xC3\xA9\0\xDF\xBF\xE0\xA0\x80", 8)},
  };
  for (const auto& c : kUTF16) {
    EXPECT_EQ(c.second, UTF16ToUTF8(c.first));
    EXPECT_EQ(c.second, WideToUTF8(c.first));
  }
  // The ASCII conversions widen signed bytes and keep low bytes, unchecked.
  EXPECT_EQ(string16({'a', 0, 0xFF80, 0xFFE9}),
            ASCIIToUTF16(std::string("a\0\x80\xE9", 4)));
  EXPECT_EQ(std::string("A\0\xE9", 3),
            UTF16ToASCII(string16({0x0141, 0, 0xFFE9})));
}

TEST(SysStringConversionsTest, ConvertsThroughTheSystem) {
  // Lengths are passed: NULs come through, and only the viewed bytes count.
  const std::string utf8("\xE2\x82\xAC\0\xF0\x9F\x98\x80", 8);
  const string16 wide(L"\x20AC\0\xD83D\xDE00", 4);
  EXPECT_EQ(wide, SysUTF8ToWide(utf8));
  EXPECT_EQ(utf8, SysWideToUTF8(wide));
  EXPECT_EQ(L"ab", SysUTF8ToWide(StringPiece("abc", 2)));
  EXPECT_EQ(L"\x20AC\x00E9", SysMultiByteToWide("\x80\xE9", 1252));
  EXPECT_EQ("\x80\xE9", SysWideToMultiByte(L"\x20AC\x00E9", 1252));
  // Empty input, and a code page the system does not know, give nothing.
  EXPECT_EQ(L"", SysMultiByteToWide(StringPiece(), 1252));
  EXPECT_EQ("", SysWideToMultiByte(L"", 1252));
  EXPECT_EQ(L"", SysMultiByteToWide("abc", 54321));
  EXPECT_EQ("", SysWideToMultiByte(L"abc", 54321));
}

}  // namespace
}  // namespace base
