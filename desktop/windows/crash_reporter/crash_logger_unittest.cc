#include "desktop/windows/crash_reporter/crash_logger.h"

#include <windows.h>

#include <string>
#include <thread>

#include "base/command_line.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/strings/string_util.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/unique_test_dir.h"
#include "desktop/common/product/product_info.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace crash_reporter {
namespace {

class ScopedCaptureHandler {
 public:
  ScopedCaptureHandler() {
    base::SetLogMessageHandler(&CaptureCrashLoggerMessage);
  }
  ~ScopedCaptureHandler() { base::SetLogMessageHandler(nullptr); }
};

TEST(CrashLoggerTest, NestedLoggersTakeTheirThreadsLines) {
  ScopedCaptureHandler handler;
  EXPECT_FALSE(CrashLogger::Current());
  CrashLogger outer;
  LOG(WARNING) << "first";
  const int first_line = __LINE__ - 1;
  {
    CrashLogger inner;
    EXPECT_EQ(&inner, CrashLogger::Current());
    LOG(ERROR) << "inner";
    const int inner_line = __LINE__ - 1;
    // Another thread's lines are not this crash's.
    std::thread([] { LOG(ERROR) << "elsewhere"; }).join();
    EXPECT_EQ(
        "crash_logger_unittest.cc:" + std::to_string(inner_line) + ":inner\n",
        inner.text());
  }
  EXPECT_EQ(&outer, CrashLogger::Current());
  LOG(INFO) << "last";
  EXPECT_EQ("crash_logger_unittest.cc:" + std::to_string(first_line) +
                ":first\ncrash_logger_unittest.cc:" +
                std::to_string(__LINE__ - 3) + ":last\n",
            outer.text());
}

TEST(CrashLoggerTest, AppendsItsLinesToTheLogOnce) {
  base::UniqueTestDir folder;
  const base::FilePath path = folder.path().Append(L"crash.txt");
  const std::string narrow = base::WideToUTF8(path.value());
  ASSERT_EQ(4, base::WriteFile(path, "log\n", 4));
  CrashLogger logger;
  EXPECT_TRUE(AppendCrashLoggerOutput(&logger, narrow));
  logger.Add("C:\\src\\a.cc", 12, "one\n");
  logger.Add("b.cc", 3, "two\n");
  EXPECT_TRUE(AppendCrashLoggerOutput(&logger, narrow));
  EXPECT_EQ("", logger.text());
  EXPECT_TRUE(AppendCrashLoggerOutput(&logger, narrow));
  std::string text;
  ASSERT_TRUE(base::ReadFileToString(path, &text));
  EXPECT_EQ("log\n\r\nCrash Logger:\r\na.cc:12:one\r\nb.cc:3:two\r\n", text);

  logger.Add("c.cc", 1, "three\n");
  EXPECT_FALSE(AppendCrashLoggerOutput(
      &logger,
      base::WideToUTF8(folder.path().Append(L"no\\crash.txt").value())));
}

// The reporter's own log starts afresh in the temporary folder with every
// header item, and leaves a crash's lines to that crash.
TEST(CrashLoggerTest, TheReporterLogsToItsOwnFileExceptDuringACrash) {
  base::UniqueTestDir temp;
  ::SetEnvironmentVariableW(L"TMP", temp.path().value().c_str());
  ::SetEnvironmentVariableW(L"TEMP", temp.path().value().c_str());
  const base::FilePath file = temp.path().Append(
      base::UTF8ToUTF16(base::ToLowerASCII(ProductInfo::GetProductName()) +
                        "_crashreporter.log"));
  ASSERT_EQ(3, base::WriteFile(file, "old", 3));
  if (!base::CommandLine::InitializedForCurrentProcess())
    base::CommandLine::Init();
  InitializeReporterLogging();
  EXPECT_FALSE(CaptureCrashLoggerMessage(0, "a.cc", 1, 0, "x\n"));
  LOG(INFO) << "for the file";
  {
    CrashLogger logger;
    EXPECT_TRUE(CaptureCrashLoggerMessage(0, "a.cc", 1, 0, "x\n"));
    LOG(INFO) << "for the crash";
    EXPECT_NE(std::string::npos, logger.text().find(":for the crash\n"));
  }
  base::SetLogMessageHandler(nullptr);
  // Let go of the file, so that its folder can be deleted.
  base::LoggingSettings null_device;
  null_device.log_file = L"NUL";
  base::InitLogging(null_device);
  std::string text;
  ASSERT_TRUE(base::ReadFileToString(file, &text));
  EXPECT_EQ(0u,
            text.find(base::StringPrintf("[%lu:%lu:", ::GetCurrentProcessId(),
                                         ::GetCurrentThreadId())));
  EXPECT_NE(std::string::npos, text.find(":INFO:crash_logger_unittest.cc("));
  EXPECT_NE(std::string::npos, text.find("] for the file"));
  EXPECT_EQ(std::string::npos, text.find("for the crash"));
  EXPECT_EQ(std::string::npos, text.find("old"));
}

}  // namespace
}  // namespace crash_reporter
}  // namespace vexlo
