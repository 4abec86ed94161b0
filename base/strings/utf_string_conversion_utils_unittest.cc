#include "base/strings/utf_string_conversion_utils.h"

#include <string>

#include "gtest/gtest.h"

namespace base {
namespace {

const uint32_t kError = 0xFFFFFFFF;

struct Utf8Read {
  bool valid;
  uint32_t code_point;
  int32_t last_index;  // Index of the last byte consumed.
};

Utf8Read ReadAt(const std::string& bytes, int32_t index) {
  Utf8Read read;
  read.last_index = index;
  read.code_point = 0x12345;  // Must be overwritten.
  read.valid =
      ReadUnicodeCharacter(bytes.data(), static_cast<int32_t>(bytes.size()),
                           &read.last_index, &read.code_point);
  return read;
}

TEST(UTFConversionUtilsTest, ReadUTF8LeavesIndexOnLastByteConsumed) {
  struct Case {
    std::string bytes;
    bool valid;
    uint32_t code_point;
    int32_t last_index;
  } const cases[] = {
      {"A", true, 0x41, 0},
      {std::string(1, '\0'), true, 0, 0},
      {"\x7F", true, 0x7F, 0},
      {"\xC2\x80", true, 0x80, 1},
      {"\xDF\xBF", true, 0x7FF, 1},
      {"\xE0\xA0\x80", true, 0x800, 2},
      {"\xEF\xBF\xBD", true, 0xFFFD, 2},
      {"\xEF\xBF\xBE", true, 0xFFFE, 2},  // Noncharacters are accepted.
      {"\xEF\xB7\x90", true, 0xFDD0, 2},
      {"\xED\x9F\xBF", true, 0xD7FF, 2},
      {"\xEE\x80\x80", true, 0xE000, 2},
      {"\xF0\x90\x80\x80", true, 0x10000, 3},
      {"\xF4\x8F\xBF\xBF", true, 0x10FFFF, 3},
      // Overlong forms, each swallowing its continuation bytes.
      {"\xC0\x80", false, kError, 1},
      {"\xC1\xBF", false, kError, 1},
      {"\xE0\x9F\xBF", false, kError, 2},
      {"\xF0\x8F\xBF\xBF", false, kError, 3},
      // Encoded surrogates and code points above U+10FFFF.
      {"\xED\xA0\x80", false, kError, 2},
      {"\xED\xBF\xBF", false, kError, 2},
      {"\xF4\x90\x80\x80", false, kError, 3},
      {"\xF7\xBF\xBF\xBF", false, kError, 3},
      // Five- and six-byte forms are always illegal but consume their
      // continuation bytes.
      {"\xF8\x88\x80\x80\x80", false, kError, 4},
      {"\xFC\x84\x80\x80\x80\x80", false, kError, 5},
      // A bad continuation byte stops the sequence right after the lead.
      {"\xE2\x28\xA1", false, kError, 0},
      {"\xE2\x82\x28", false, kError, 1},
      {"\xF0\x90\x28\x80", false, kError, 1},
      {"\xF4\x90\x28", false, kError, 1},
      // Illegal leads consume only themselves.
      {"\x80\x80", false, kError, 0},
      {"\xBF", false, kError, 0},
      {"\xFE\x80", false, kError, 0},
      {"\xFF", false, kError, 0},
      // Truncated at the end: every continuation byte left is consumed.
      {"\xE2\x82", false, kError, 1},
      {"\xF0\x9F\x98", false, kError, 2},
      {"\xC2", false, kError, 0},
      {"\xF8\x80\x80", false, kError, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << "case at byte0 " << std::hex << (c.bytes[0] & 0xFF)
                 << " size " << c.bytes.size());
    const Utf8Read read = ReadAt(c.bytes, 0);
    EXPECT_EQ(c.valid, read.valid);
    EXPECT_EQ(c.code_point, read.code_point);
    EXPECT_EQ(c.last_index, read.last_index);
  }

  // Reading from the middle of a text, and a sequence cut short by the text
  // that follows it.
  const std::string text(
      "a\xC3\xA9\xE2\x82"
      "b");
  EXPECT_EQ(2, ReadAt(text, 1).last_index);
  EXPECT_EQ(0xE9u, ReadAt(text, 1).code_point);
  const Utf8Read truncated = ReadAt(text, 3);
  EXPECT_FALSE(truncated.valid);
  EXPECT_EQ(4, truncated.last_index);
}

TEST(UTFConversionUtilsTest, NextCharSafeBodyAsCalledByItself) {
  // The caller has consumed the lead byte; the index starts after it.
  const uint8_t euro[] = {0xE2, 0x82, 0xAC, 'x'};
  int32_t index = 1;
  EXPECT_EQ(0x20AC, UTF8NextCharSafeBody(euro, &index, 4, euro[0], -1));
  EXPECT_EQ(3, index);

  const uint8_t overlong[] = {0xC0, 0xAF, 'x'};
  index = 1;
  EXPECT_EQ(-1, UTF8NextCharSafeBody(overlong, &index, 3, overlong[0], -1));
  EXPECT_EQ(2, index);

  const uint8_t bad_trail[] = {0xE2, 'x', 0x80};
  index = 1;
  EXPECT_EQ(-1, UTF8NextCharSafeBody(bad_trail, &index, 3, bad_trail[0], -1));
  EXPECT_EQ(1, index);

  // A lead without continuation bytes leaves the index after the lead.
  const uint8_t lone[] = {0xFE, 0x80};
  index = 1;
  EXPECT_EQ(-1, UTF8NextCharSafeBody(lone, &index, 2, lone[0], -1));
  EXPECT_EQ(1, index);

  // Too few bytes left: swallows the continuation bytes up to the length,
  // not beyond it.
  const uint8_t cut[] = {0xF0, 0x9F, 0x98, 0x80};
  index = 1;
  EXPECT_EQ(-1, UTF8NextCharSafeBody(cut, &index, 3, cut[0], -1));
  EXPECT_EQ(3, index);

  const uint8_t max[] = {0xF4, 0x8F, 0xBF, 0xBF};
  index = 1;
  EXPECT_EQ(0x10FFFF, UTF8NextCharSafeBody(max, &index, 4, max[0], -1));
  EXPECT_EQ(4, index);
}

TEST(UTFConversionUtilsTest, ReadUTF16) {
  uint32_t code_point = 0;
  int32_t index = 0;

  const char16 pair[] = {0xD83D, 0xDE00, 'a'};
  EXPECT_TRUE(ReadUnicodeCharacter(pair, 3, &index, &code_point));
  EXPECT_EQ(0x1F600u, code_point);
  EXPECT_EQ(1, index);  // On the trail.

  const char16 extremes[] = {0xD800, 0xDC00, 0xDBFF, 0xDFFF};
  index = 0;
  EXPECT_TRUE(ReadUnicodeCharacter(extremes, 4, &index, &code_point));
  EXPECT_EQ(0x10000u, code_point);
  index = 2;
  EXPECT_TRUE(ReadUnicodeCharacter(extremes, 4, &index, &code_point));
  EXPECT_EQ(0x10FFFFu, code_point);
  EXPECT_EQ(3, index);

  const char16 plain[] = {0xFFFF, 0xD7FF, 0xE000, 0};
  for (int32_t i = 0; i < 4; ++i) {
    index = i;
    EXPECT_TRUE(ReadUnicodeCharacter(plain, 4, &index, &code_point));
    EXPECT_EQ(plain[i], code_point);
    EXPECT_EQ(i, index);
  }

  // Unpaired surrogates: false, index and output untouched.
  const char16 lone_lead_at_end[] = {'a', 0xD800};
  const char16 lone_trail[] = {0xDC00, 'a'};
  const char16 lead_then_letter[] = {0xD800, 'A'};
  const char16 lead_then_lead[] = {0xD800, 0xD800, 0xDC00};
  const char16 trail_then_lead[] = {0xDFFF, 0xDBFF};
  struct BadCase {
    const char16* units;
    int32_t length;
    int32_t index;
  } const bad_cases[] = {
      {lone_lead_at_end, 2, 1}, {lone_trail, 2, 0},
      {lead_then_letter, 2, 0}, {lead_then_lead, 3, 0},
      {trail_then_lead, 2, 0},  {trail_then_lead, 2, 1},
  };
  for (const BadCase& c : bad_cases) {
    index = c.index;
    code_point = 0x1234;
    EXPECT_FALSE(ReadUnicodeCharacter(c.units, c.length, &index, &code_point));
    EXPECT_EQ(c.index, index);
    EXPECT_EQ(0x1234u, code_point);
  }
  // The lead is the last unit of the given length even if memory goes on.
  index = 0;
  EXPECT_FALSE(ReadUnicodeCharacter(pair, 1, &index, &code_point));
  EXPECT_EQ(0, index);
}

TEST(UTFConversionUtilsTest, WriteUnicodeCharacter) {
  struct Case {
    uint32_t code_point;
    std::string utf8;
    string16 utf16;
  } const cases[] = {
      {0x00, std::string(1, '\0'), string16(1, L'\0')},
      {0x7F, "\x7F", L"\x007F"},
      {0x80, "\xC2\x80", L"\x0080"},
      {0x7FF, "\xDF\xBF", L"\x07FF"},
      {0x800, "\xE0\xA0\x80", L"\x0800"},
      {0xFFFD, "\xEF\xBF\xBD", L"\xFFFD"},
      {0xFFFF, "\xEF\xBF\xBF", L"\xFFFF"},
      {0x10000, "\xF0\x90\x80\x80", L"\xD800\xDC00"},
      {0x1F600, "\xF0\x9F\x98\x80", L"\xD83D\xDE00"},
      {0x10FFFF, "\xF4\x8F\xBF\xBF", L"\xDBFF\xDFFF"},
  };
  for (const Case& c : cases) {
    std::string narrow("pre");
    EXPECT_EQ(c.utf8.size(), WriteUnicodeCharacter(c.code_point, &narrow));
    EXPECT_EQ("pre" + c.utf8, narrow) << std::hex << c.code_point;
    string16 wide(L"pre");
    EXPECT_EQ(c.utf16.size(), WriteUnicodeCharacter(c.code_point, &wide));
    EXPECT_EQ(L"pre" + c.utf16, wide) << std::hex << c.code_point;
  }
}

// Every valid code point survives writing and reading back, in both
// encodings, and reading reports the length that writing produced.
TEST(UTFConversionUtilsTest, EveryCodePointRoundTrips) {
  std::string narrow;
  string16 wide;
  for (uint32_t cp = 0; cp <= 0x10FFFF; ++cp) {
    if (cp == 0xD800)
      cp = 0xE000;
    narrow.clear();
    const int32_t bytes =
        static_cast<int32_t>(WriteUnicodeCharacter(cp, &narrow));
    int32_t index = 0;
    uint32_t read = 0;
    if (!ReadUnicodeCharacter(narrow.data(), bytes, &index, &read) ||
        read != cp || index != bytes - 1) {
      ADD_FAILURE() << "UTF-8 round trip of " << std::hex << cp;
      return;
    }
    wide.clear();
    const int32_t units =
        static_cast<int32_t>(WriteUnicodeCharacter(cp, &wide));
    index = 0;
    if (!ReadUnicodeCharacter(wide.data(), units, &index, &read) ||
        read != cp || index != units - 1) {
      ADD_FAILURE() << "UTF-16 round trip of " << std::hex << cp;
      return;
    }
  }
}

TEST(UTFConversionUtilsTest, PrepareOutputEmptiesAndReserves) {
  std::string narrow("old text");
  const char16 ascii_first[] = {'a', 0x00E9, 'b', 'c'};
  PrepareForUTF8Output(ascii_first, 4, &narrow);
  EXPECT_TRUE(narrow.empty());
  EXPECT_GE(narrow.capacity(), 4u);
  const char16 wide_first[] = {0x4E2D, 'a', 'b', 'c', 'd', 'e'};
  PrepareForUTF8Output(wide_first, 6, &narrow);
  EXPECT_TRUE(narrow.empty());
  EXPECT_GE(narrow.capacity(), 18u);
  PrepareForUTF8Output(wide_first, 0, &narrow);
  EXPECT_TRUE(narrow.empty());

  string16 wide(L"old text");
  PrepareForUTF16Or32Output("abcdefghij", 10, &wide);
  EXPECT_TRUE(wide.empty());
  EXPECT_GE(wide.capacity(), 10u);
  PrepareForUTF16Or32Output(
      "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"
      "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9",
      20, &wide);
  EXPECT_TRUE(wide.empty());
  EXPECT_GE(wide.capacity(), 10u);
}

}  // namespace
}  // namespace base
