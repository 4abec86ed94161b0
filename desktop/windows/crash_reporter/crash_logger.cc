#include "desktop/windows/crash_reporter/crash_logger.h"

#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "base/logging.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/common/product/product_info.h"

namespace vexlo {
namespace crash_reporter {

namespace {

constexpr DWORD kTempPathLength = MAX_PATH + 1;

thread_local CrashLogger* g_current_logger = nullptr;

}  // namespace

CrashLogger::CrashLogger() : previous_(g_current_logger) {
  g_current_logger = this;
}

CrashLogger::~CrashLogger() {
  g_current_logger = previous_;
}

// static
CrashLogger* CrashLogger::Current() {
  return g_current_logger;
}

void CrashLogger::Add(const char* file, int line, const std::string& message) {
  // Sources built elsewhere than on Windows carry forward slashes.
  const char* base_name = file ? file : "";
  for (const char* c = base_name; *c; ++c) {
    if (*c == '\\' || *c == '/')
      base_name = c + 1;
  }
  text_ += std::string(base_name) + ":" + std::to_string(line) + ":" + message;
}

bool CaptureCrashLoggerMessage(int,
                               const char* file,
                               int line,
                               size_t message_start,
                               const std::string& str) {
  CrashLogger* logger = CrashLogger::Current();
  if (!logger)
    return false;
  logger->Add(file, line, str.substr(std::min(message_start, str.size())));
  return true;
}

bool AppendCrashLoggerOutput(CrashLogger* logger, const std::string& path) {
  if (logger->text().empty())
    return true;
  FILE* file = fopen(path.c_str(), "at");
  if (!file)
    return false;
  const std::string heading = "\nCrash Logger:\n";
  bool written =
      fwrite(heading.data(), 1, heading.size(), file) == heading.size() &&
      fwrite(logger->text().data(), 1, logger->text().size(), file) ==
          logger->text().size();
  written = fclose(file) == 0 && written;
  logger->Clear();
  return written;
}

void InitializeReporterLogging() {
  static base::string16* log_file = new base::string16();
  wchar_t temp[kTempPathLength];
  const DWORD length = ::GetTempPathW(kTempPathLength, temp);
  const base::string16 name = base::UTF8ToUTF16(
      base::ToLowerASCII(ProductInfo::GetProductName()) + "_crashreporter.log");
  log_file->clear();
  if (length > 0 && length < kTempPathLength &&
      length + name.size() <= kTempPathLength) {
    *log_file = base::string16(temp, length) + name;
  }
  base::LoggingSettings settings;
  settings.logging_dest =
      log_file->empty() ? base::LOG_TO_SYSTEM_DEBUG_LOG : base::LOG_TO_FILE;
  settings.log_file = log_file->empty() ? nullptr : log_file->c_str();
  settings.delete_old = base::DELETE_OLD_LOG_FILE;
  base::InitLogging(settings);
  base::SetLogItems(true, true, true, true);
  base::SetMinLogLevel(base::LOG_INFO);
  base::SetLogMessageHandler(&CaptureCrashLoggerMessage);
}

}  // namespace crash_reporter
}  // namespace vexlo
