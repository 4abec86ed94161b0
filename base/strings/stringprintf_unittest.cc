#include "base/strings/stringprintf.h"

#include <stdarg.h>
#include <stddef.h>
#include <string.h>
#include <wchar.h>

#include <string>

#include "gtest/gtest.h"

namespace base {

namespace {

int CallVsnprintf(char* buffer, size_t size, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  int result = vsnprintf(buffer, size, format, arguments);
  va_end(arguments);
  return result;
}

int CallVsnprintfWide(wchar_t* buffer,
                      size_t size,
                      const wchar_t* format,
                      ...) {
  va_list arguments;
  va_start(arguments, format);
  int result = vsnprintf(buffer, size, format, arguments);
  va_end(arguments);
  return result;
}

// Text of |length| characters that is not one repeated character, so that a
// lost or doubled piece shows.
template <typename String>
String PatternText(size_t length) {
  String text;
  for (size_t i = 0; i < length; ++i)
    text.push_back(static_cast<typename String::value_type>('a' + i % 26));
  return text;
}

// Wide text with a character no narrow code page of the C locale can hold,
// which the narrow formatter reports as an error.
const wchar_t kUnconvertible[] = L"\x0416";

}  // namespace

TEST(StringPrintfTest, UsesTheWindowsRuntimeConversions) {
  EXPECT_EQ("42 ab cd -7", StringPrintf("%d %s %ls %lld", 42, "ab", L"cd",
                                        static_cast<long long>(-7)));
  // The Windows runtime writes three exponent digits.
  EXPECT_EQ("1.000000e+000", StringPrintf("%e", 1.0));
  // In wide formats its "%s" takes wide text and "%hs" narrow text.
  EXPECT_EQ(L"w|x|n|5", StringPrintfWide(L"%s|%ls|%hs|%d", L"w", L"x", "n", 5));
  EXPECT_EQ(L"", StringPrintfWide(L""));
  EXPECT_EQ("", StringPrintf("%s", ""));
}

TEST(StringPrintfTest, Vsnprintf) {
  char buffer[16];
  memset(buffer, 'x', sizeof(buffer));
  EXPECT_EQ(8, CallVsnprintf(buffer, 5, "%s", "abcdefgh"));
  EXPECT_STREQ("abcd", buffer);
  // Exactly size - 1 characters: the runtime leaves out the NUL.
  memset(buffer, 'x', sizeof(buffer));
  EXPECT_EQ(8, CallVsnprintf(buffer, 9, "%s", "abcdefgh"));
  EXPECT_STREQ("abcdefgh", buffer);
  memset(buffer, 'x', sizeof(buffer));
  EXPECT_EQ(8, CallVsnprintf(buffer, 8, "%s", "abcdefgh"));
  EXPECT_STREQ("abcdefg", buffer);
  memset(buffer, 'x', sizeof(buffer));
  EXPECT_EQ(8, CallVsnprintf(buffer, 1, "%s", "abcdefgh"));
  EXPECT_STREQ("", buffer);
  // Size 0 only measures.
  memset(buffer, 'x', sizeof(buffer));
  EXPECT_EQ(8, CallVsnprintf(buffer, 0, "%s", "abcdefgh"));
  EXPECT_EQ('x', buffer[0]);
  EXPECT_LT(CallVsnprintf(buffer, sizeof(buffer), "%ls", kUnconvertible), 0);

  wchar_t wide[16];
  wmemset(wide, L'x', 16);
  EXPECT_EQ(6, CallVsnprintfWide(wide, 6, L"%ls%d", L"abcde", 7));
  EXPECT_STREQ(L"abcde", wide);
  wmemset(wide, L'x', 16);
  EXPECT_EQ(6, CallVsnprintfWide(wide, 4, L"%ls%d", L"abcde", 7));
  EXPECT_STREQ(L"abc", wide);
  EXPECT_EQ(6, CallVsnprintfWide(wide, 0, L"%ls%d", L"abcde", 7));
}

TEST(StringPrintfTest, LengthsAroundTheStackBuffer) {
  for (size_t length : {1022u, 1023u, 1024u, 1025u, 5000u}) {
    std::string text = PatternText<std::string>(length);
    EXPECT_EQ(text, StringPrintf("%s", text.c_str())) << length;
    string16 wide = PatternText<string16>(length);
    EXPECT_EQ(wide, StringPrintfWide(L"%ls", wide.c_str())) << length;
  }
  // The longer path formats again from the start of the arguments.
  std::string head = PatternText<std::string>(1500);
  EXPECT_EQ(head + "-7-tail",
            StringPrintf("%s-%d-%s", head.c_str(), 7, "tail"));
  string16 wide_head = PatternText<string16>(1500);
  EXPECT_EQ(wide_head + L"-7-tail",
            StringPrintfWide(L"%ls-%d-%ls", wide_head.c_str(), 7, L"tail"));
}

TEST(StringPrintfTest, AppendAndReplace) {
  std::string dst = "head:";
  StringAppendF(&dst, "%d", 1);
  StringAppendF(&dst, "%s", PatternText<std::string>(1100).c_str());
  EXPECT_EQ("head:1" + PatternText<std::string>(1100), dst);

  std::string target = "old contents";
  const std::string& result = StringPrintfTo(&target, "%d/%d", 3, 4);
  EXPECT_EQ(&target, &result);
  EXPECT_EQ("3/4", target);
}

TEST(StringPrintfTest, FailuresAppendNothing) {
  std::string dst = "kept";
  StringAppendF(&dst, "%ls", kUnconvertible);
  EXPECT_EQ("kept", dst);
  // The error shows only on the heap attempt.
  std::string long_text = PatternText<std::string>(2000);
  StringAppendF(&dst, "%s%ls", long_text.c_str(), kUnconvertible);
  EXPECT_EQ("kept", dst);

  std::string target = "old";
  EXPECT_EQ("", StringPrintfTo(&target, "%ls", kUnconvertible));
  EXPECT_EQ("", target);
}

TEST(StringPrintfTest, LargestResult) {
  const int kLargest = static_cast<int>(kMaxFormattedLength) - 1;
  std::string dst = "x";
  StringAppendF(&dst, "%*s", kLargest, "y");
  ASSERT_EQ(static_cast<size_t>(kLargest) + 1, dst.size());
  EXPECT_EQ("x ", dst.substr(0, 2));
  EXPECT_EQ('y', dst.back());

  // One more character is refused, leaving the destination alone.
  dst = "x";
  StringAppendF(&dst, "%*s", kLargest + 1, "y");
  EXPECT_EQ("x", dst);
  EXPECT_EQ(L"", StringPrintfWide(L"%*ls", kLargest + 1, L"y"));
}

}  // namespace base
