#include "base/strings/sys_string_conversions.h"

#include <string>

#include "gtest/gtest.h"

namespace base {
namespace {

const uint32_t kWesternCodePage = 1252;

TEST(SysStringConversionsTest, UTF8) {
  EXPECT_EQ(L"\x20AC x \x4E2D", SysUTF8ToWide("\xE2\x82\xAC x \xE4\xB8\xAD"));
  EXPECT_EQ("\xE2\x82\xAC x \xE4\xB8\xAD", SysWideToUTF8(L"\x20AC x \x4E2D"));
  EXPECT_EQ("\xF0\x9F\x98\x80", SysWideToUTF8(L"\xD83D\xDE00"));
  EXPECT_EQ(L"\xD83D\xDE00", SysUTF8ToWide("\xF0\x9F\x98\x80"));

  // The length is passed explicitly, so embedded NULs come through.
  EXPECT_EQ(string16(L"a\0b", 3), SysUTF8ToWide(std::string("a\0b", 3)));
  EXPECT_EQ(std::string("a\0b", 3), SysWideToUTF8(string16(L"a\0b", 3)));
  // Only the viewed bytes are converted.
  EXPECT_EQ(L"ab", SysUTF8ToWide(StringPiece("abc", 2)));
}

TEST(SysStringConversionsTest, CodePages) {
  EXPECT_EQ(L"\x20AC\x00E9", SysMultiByteToWide("\x80\xE9", kWesternCodePage));
  EXPECT_EQ("\x80\xE9", SysWideToMultiByte(L"\x20AC\x00E9", kWesternCodePage));
  EXPECT_EQ(L"plain", SysMultiByteToWide("plain", kWesternCodePage));
}

TEST(SysStringConversionsTest, EmptyAndRejectedInputsGiveEmptyOutput) {
  EXPECT_EQ(string16(), SysMultiByteToWide(StringPiece(), kWesternCodePage));
  EXPECT_EQ(std::string(), SysWideToMultiByte(string16(), kWesternCodePage));
  EXPECT_EQ(string16(), SysUTF8ToWide(""));
  EXPECT_EQ(std::string(), SysWideToUTF8(L""));
  // A code page the system does not know makes the measuring call fail.
  const uint32_t kNoSuchCodePage = 54321;
  EXPECT_EQ(string16(), SysMultiByteToWide("abc", kNoSuchCodePage));
  EXPECT_EQ(std::string(), SysWideToMultiByte(L"abc", kNoSuchCodePage));
}

}  // namespace
}  // namespace base
