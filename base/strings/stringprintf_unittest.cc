#include "base/strings/stringprintf.h"

#include <stdarg.h>
#include <string.h>

#include <algorithm>
#include <string>

#include "base/logging.h"
#include "gtest/gtest.h"

namespace base {

namespace {

template <typename Char>
int CallVsnprintf(Char* buffer, size_t size, const Char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  int result = vsnprintf(buffer, size, format, arguments);
  va_end(arguments);
  return result;
}

// The log lines written while a capture lives, fatal ones included; they do
// not reach the log's destinations.
std::string g_log;
bool CaptureLine(int, const char*, int, size_t, const std::string& line) {
  g_log += line;
  return true;
}
struct ScopedLogCapture {
  ScopedLogCapture() { SetLogMessageHandler(&CaptureLine); }
  ~ScopedLogCapture() { SetLogMessageHandler(nullptr); }
};

}  // namespace

// The full length comes back; the text is cut to size - 1 characters and
// NUL-terminated; size 0 only measures.
TEST(StringPrintfTest, Vsnprintf) {
  for (size_t size : {0u, 1u, 5u, 8u, 9u}) {
    char buffer[16] = "xxxxxxxxxxxxxxx";
    EXPECT_EQ(8, CallVsnprintf(buffer, size, "%s", "abcdefgh")) << size;
    EXPECT_EQ(size ? std::string("abcdefgh", size - 1) : "xxxxxxxxxxxxxxx",
              buffer);
    wchar_t wide[16] = L"xxxxxxxxxxxxxxx";
    EXPECT_EQ(6, CallVsnprintf(wide, size, L"%ls%d", L"abcde", 7)) << size;
    EXPECT_EQ(size ? std::wstring(L"abcde7", std::min<size_t>(size - 1, 6))
                   : L"xxxxxxxxxxxxxxx",
              wide);
  }
}

// Results up to 1023 characters fit the stack buffer; longer ones are
// formatted again, from the start of the arguments, at their exact size.
TEST(StringPrintfTest, LengthsAroundTheStackBuffer) {
  for (size_t length : {1021u, 1022u, 1023u, 5000u}) {
    const std::string text(length, 'a');
    EXPECT_EQ(text + "-7", StringPrintf("%s-%d", text.c_str(), 7)) << length;
    const string16 wide(text.begin(), text.end());
    EXPECT_EQ(wide + L"-7", StringPrintfWide(L"%ls-%d", wide.c_str(), 7));
  }
  std::string dst = "head:";
  EXPECT_EQ(&dst, &StringPrintfTo(&dst, "%d/%d", 3, 4));
  EXPECT_EQ("3/4", dst);
}

// Text the runtime cannot format (a character the C locale has no byte
// for) is refused loudly; too large a result is refused quietly.
TEST(StringPrintfTest, RefusedResults) {
  ScopedLogCapture capture;
  g_log.clear();
  std::string dst = "kept";
  StringAppendF(&dst, "%d%ls", 1, L"\x0416");
  EXPECT_EQ("kept", dst);
  EXPECT_NE(std::string::npos, g_log.find("Cannot format \"%d%ls\"")) << g_log;
  EXPECT_EQ(DCHECK_IS_ON() != 0,
            g_log.find("Unformattable") != std::string::npos);
  EXPECT_EQ("", StringPrintfTo(&dst, "%ls", L"\x0416"));

  const int kLargest = static_cast<int>(kMaxFormattedLength) - 1;
  StringAppendF(&dst, "%*s", kLargest, "y");
  ASSERT_EQ(static_cast<size_t>(kLargest), dst.size());
  EXPECT_EQ('y', dst.back());
  g_log.clear();
  dst = "x";
  StringAppendF(&dst, "%*s", kLargest + 1, "y");
  EXPECT_EQ("x", dst);
  EXPECT_EQ(L"", StringPrintfWide(L"%*ls", kLargest + 1, L"y"));
  EXPECT_EQ("", g_log);
}

}  // namespace base
