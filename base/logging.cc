#include "base/logging.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "base/debug/debugger.h"

namespace base {

namespace {

const char* const kLogSeverityNames[LOG_NUM_SEVERITIES] = {"INFO", "WARNING",
                                                           "ERROR", "FATAL"};

// The file name of a source path: the part after its last separator.
const char* FileNameOf(const char* path) {
  const char* name = path;
  for (const char* p = path; *p; ++p) {
    if (*p == '\\' || *p == '/')
      name = p + 1;
  }
  return name;
}

}  // namespace

bool ShouldCreateLogMessage(LogSeverity severity) {
  return severity >= LOG_INFO;
}

LogMessage::LogMessage(const char* file, int line, LogSeverity severity)
    : severity_(severity),
      message_start_(0),
      file_(file),
      line_(line),
      last_error_(::GetLastError()) {
  Init(file, line);
}

LogMessage::LogMessage(const char* file, int line, std::string* result)
    : LogMessage(file, line, LOG_FATAL) {
  std::unique_ptr<std::string> owned_result(result);
  stream_ << "Check failed: " << *owned_result;
}

LogMessage::~LogMessage() {
  stream_ << '\n';
  const std::string text = stream_.str();
  fwrite(text.data(), 1, text.size(), stderr);
  fflush(stderr);
  if (severity_ == LOG_FATAL)
    BreakDebugger();
  ::SetLastError(last_error_);
}

void LogMessage::Init(const char* file, int line) {
  stream_ << '[';
  if (severity_ >= LOG_NUM_SEVERITIES)
    stream_ << "UNKNOWN";
  else if (severity_ >= 0)
    stream_ << kLogSeverityNames[severity_];
  else
    stream_ << "VERBOSE" << -severity_;
  stream_ << ':' << FileNameOf(file) << '(' << line << ")] ";
  message_start_ = stream_.str().size();
}

}  // namespace base
