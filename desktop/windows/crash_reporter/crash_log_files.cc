#include "desktop/windows/crash_reporter/crash_log_files.h"

#include <windows.h>

#include <algorithm>
#include <atomic>

#include "base/command_line.h"
#include "base/files/file_util.h"
#include "base/path_service.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util.h"
#include "base/strings/stringprintf.h"
#include "desktop/common/product/product_configuration.h"

namespace vexlo {
namespace crash_reporter {

namespace {

constexpr char kUserDataDirSwitch[] = "user-data-dir";
constexpr wchar_t kCrashLogDirVariable[] = L"VEXLO_CRASH_LOG_DIR";
constexpr DWORD kCrashLogDirBufferLength = MAX_PATH;
constexpr size_t kCrashCountDigits = 9;

std::atomic<uint32_t> g_crash_sequence{0};

// Written once at reporter start-up, before any crash is handled.
struct CrashLogPaths {
  base::FilePath folder;
  base::FilePath crash_count_file;
  base::FilePath crash_id_record_file;
  base::FilePath browser_preferences_file;
  bool folder_from_environment = false;
};

CrashLogPaths& Paths() {
  static CrashLogPaths* paths = new CrashLogPaths();
  return *paths;
}

std::string CrashFileName(uint32_t sequence, const char* extension) {
  return base::StringPrintf(
      "%s-crashlog-%lu-%u%s",
      base::ToLowerASCII(ProductConfiguration::GetProductName()).c_str(),
      ::GetCurrentProcessId(), sequence, extension);
}

base::FilePath PathOf(int key) {
  base::FilePath path;
  return base::PathService::Get(key, &path) ? path : base::FilePath();
}

// The folder named by VEXLO_CRASH_LOG_DIR, created when missing; empty when
// the variable is unset, too long, or names no usable folder.
base::FilePath GetEnvironmentFolder() {
  wchar_t value[kCrashLogDirBufferLength];
  const DWORD length = ::GetEnvironmentVariableW(kCrashLogDirVariable, value,
                                                 kCrashLogDirBufferLength);
  if (length == 0 || length >= kCrashLogDirBufferLength)
    return base::FilePath();
  const base::FilePath folder(base::string16(value, length));
  if (!base::DirectoryExists(folder) && !base::CreateDirectory(folder))
    return base::FilePath();
  return folder;
}

}  // namespace

uint32_t TakeCrashSequenceNumber() {
  return ++g_crash_sequence;
}

std::string GetCrashLogFileName(uint32_t sequence) {
  return CrashFileName(sequence, ".txt");
}

std::string GetCrashDumpFileName(uint32_t sequence) {
  return CrashFileName(sequence, ".dmp");
}

bool InitializeCrashLogFolder() {
  CrashLogPaths& paths = Paths();
  paths = CrashLogPaths();
  const base::FilePath user_data =
      base::CommandLine::InitializedForCurrentProcess()
          ? base::CommandLine::ForCurrentProcess()->GetSwitchValuePath(
                kUserDataDirSwitch)
          : base::FilePath();
  if (!user_data.empty()) {
    base::PathService::OverrideAndCreateIfNeeded(kUserDataDirKey, user_data,
                                                 false, true);
  }
  paths.crash_count_file = PathOf(kCrashCountFileKey);
  paths.crash_id_record_file = PathOf(kCrashIdRecordFileKey);
  paths.browser_preferences_file = PathOf(kBrowserPreferencesFileKey);
  const base::FilePath environment_folder = GetEnvironmentFolder();
  if (!environment_folder.empty()) {
    paths.folder = environment_folder;
    if (!paths.crash_id_record_file.empty()) {
      paths.crash_id_record_file =
          environment_folder.Append(paths.crash_id_record_file.BaseName());
    }
    paths.folder_from_environment = true;
  }
  if (paths.folder.empty())
    base::GetTempDir(&paths.folder);
  return !paths.folder.empty();
}

const base::FilePath& GetCrashLogFolder() {
  return Paths().folder;
}

bool IsCrashLogFolderFromEnvironment() {
  return Paths().folder_from_environment;
}

const base::FilePath& GetCrashCountFilePath() {
  return Paths().crash_count_file;
}

const base::FilePath& GetCrashIdRecordFilePath() {
  return Paths().crash_id_record_file;
}

const base::FilePath& GetBrowserPreferencesFilePath() {
  return Paths().browser_preferences_file;
}

base::FilePath GetCrashIdRecordPath(uint32_t sequence) {
  const base::FilePath& record = Paths().crash_id_record_file;
  if (!Paths().folder_from_environment || record.empty())
    return record;
  return record.InsertBeforeExtensionASCII(
      base::StringPrintf("-%lu-%u", ::GetCurrentProcessId(), sequence));
}

uint64_t ParseCrashCount(const std::string& text) {
  uint64_t count = 0;
  const std::string digits = text.substr(0, kCrashCountDigits);
  if (digits.empty() || !base::HexStringToUint64(digits, &count))
    return 0;
  return std::min(count, kMaxCrashCount);
}

uint64_t AddToCrashCount(uint64_t count, uint64_t added) {
  count = std::min(count, kMaxCrashCount);
  return added > kMaxCrashCount - count ? kMaxCrashCount : count + added;
}

}  // namespace crash_reporter
}  // namespace vexlo
