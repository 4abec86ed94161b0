#include "desktop/windows/crash_reporter/crash_log_files.h"

#include <windows.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/files/file_util.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util.h"
#include "base/strings/stringprintf.h"
#include "base/test/unique_test_dir.h"
#include "desktop/common/product/product_configuration.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace crash_reporter {
namespace {

class ScopedCrashLogDir {
 public:
  explicit ScopedCrashLogDir(const std::wstring& value) {
    ::SetEnvironmentVariableW(L"VEXLO_CRASH_LOG_DIR", value.c_str());
  }
  ~ScopedCrashLogDir() {
    ::SetEnvironmentVariableW(L"VEXLO_CRASH_LOG_DIR", nullptr);
  }
};

TEST(CrashLogFilesTest, FileNamesCarryTheReporterAndTheSequence) {
  const std::string stem =
      base::ToLowerASCII(ProductConfiguration::GetProductName()) +
      "-crashlog-" + base::UintToString(::GetCurrentProcessId()) + "-";
  EXPECT_EQ(stem + "7.txt", GetCrashLogFileName(7));
  EXPECT_EQ(stem + "4294967295.dmp", GetCrashDumpFileName(4294967295u));
}

TEST(CrashLogFilesTest, SequenceNumbersAreUniqueAcrossThreads) {
  const uint32_t first = TakeCrashSequenceNumber();
  EXPECT_EQ(first + 1, TakeCrashSequenceNumber());
  std::vector<uint32_t> taken[4];
  std::vector<std::thread> threads;
  for (auto& list : taken) {
    threads.emplace_back([&list] {
      for (int i = 0; i < 500; ++i)
        list.push_back(TakeCrashSequenceNumber());
    });
  }
  for (auto& thread : threads)
    thread.join();
  std::set<uint32_t> all;
  for (const auto& list : taken)
    all.insert(list.begin(), list.end());
  EXPECT_EQ(2000u, all.size());
  EXPECT_EQ(first + 2, *all.begin());
  EXPECT_EQ(first + 2001, *all.rbegin());
}

TEST(CrashLogFilesTest, TheFolderComesFromTheEnvironmentWhenUsable) {
  base::UniqueTestDir root;
  base::FilePath temp;
  ASSERT_TRUE(base::GetTempDir(&temp));
  const base::FilePath blocker = root.path().Append(L"file");
  ASSERT_EQ(1, base::WriteFile(blocker, "x", 1));
  const base::FilePath created = root.path().Append(L"new").Append(L"logs");
  const std::wstring long_name =
      root.path().value() + L"\\" +
      std::wstring(259 - root.path().value().size() - 1, L'd');
  const std::wstring too_long = long_name + L"e";
  const struct {
    const char* name;
    std::wstring value;
    bool used;
  } kCases[] = {
      {"unset", L"", false},
      {"a folder to create", created.value(), true},
      {"259 units", long_name, true},
      {"260 units", too_long, false},
      {"under a file", blocker.Append(L"logs").value(), false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(c.name == std::string("259 units") ? 259u : c.value.size(),
              c.value.size());
    ScopedCrashLogDir variable(c.value);
    ASSERT_TRUE(InitializeCrashLogFolder());
    EXPECT_EQ(c.used, IsCrashLogFolderFromEnvironment());
    EXPECT_EQ(c.used ? base::FilePath(c.value) : temp, GetCrashLogFolder());
    EXPECT_EQ(c.used, base::DirectoryExists(base::FilePath(c.value)));
    // No provider answers for the reporter's other files here.
    EXPECT_TRUE(GetCrashCountFilePath().empty());
    EXPECT_TRUE(GetCrashIdRecordPath(3).empty());
  }
}

TEST(CrashLogFilesTest, CrashCountsStopAtNineHexDigits) {
  const struct {
    const char* text;
    uint64_t count;
  } kParsed[] = {
      {"", 0},
      {"zz", 0},
      {"ff", 0xFF},
      {"fffffffff", 0xFFFFFFFFF},
      {"123456789abc", 0x123456789},
  };
  for (const auto& c : kParsed)
    EXPECT_EQ(c.count, ParseCrashCount(c.text)) << c.text;
  const struct {
    uint64_t count;
    uint64_t added;
    uint64_t sum;
  } kAdded[] = {
      {0xFF, 1, 0x100},
      {kMaxCrashCount - 1, 1, kMaxCrashCount},
      {kMaxCrashCount - 1, 5, kMaxCrashCount},
      {kMaxCrashCount, 1, kMaxCrashCount},
      {UINT64_MAX, 0, kMaxCrashCount},
      {0, UINT64_MAX, kMaxCrashCount},
  };
  for (const auto& c : kAdded)
    EXPECT_EQ(c.sum, AddToCrashCount(c.count, c.added)) << c.count;
  // What is written reads back the same.
  const std::string written = base::StringPrintf(
      "%llx",
      static_cast<unsigned long long>(AddToCrashCount(kMaxCrashCount, 1)));
  EXPECT_EQ(kMaxCrashCount, ParseCrashCount(written));
}

}  // namespace
}  // namespace crash_reporter
}  // namespace vexlo
