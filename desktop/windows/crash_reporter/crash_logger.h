#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_LOGGER_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_LOGGER_H_

#include <stddef.h>

#include <string>

namespace vexlo {
namespace crash_reporter {

// Collects the reporter's own log lines of the calling thread while it
// handles one crash, so that they end up in that crash's log rather than
// in the reporter's log file. Loggers nest; each restores the one before.
class CrashLogger {
 public:
  CrashLogger();
  CrashLogger(const CrashLogger&) = delete;
  CrashLogger& operator=(const CrashLogger&) = delete;
  ~CrashLogger();

  // The calling thread's current logger, or null.
  static CrashLogger* Current();

  // "<file base name>:<line>:<message>", the message ending with its line
  // feed.
  void Add(const char* file, int line, const std::string& message);

  const std::string& text() const { return text_; }
  void Clear() { text_.clear(); }

 private:
  CrashLogger* const previous_;
  std::string text_;
};

// Appends the logger's lines under a "Crash Logger:" heading to the crash
// log at |path| and empties the logger; false when the log cannot be
// opened or written. Nothing collected is not a failure.
bool AppendCrashLoggerOutput(CrashLogger* logger, const std::string& path);

// The reporter's log-message handler: hands a line to the calling thread's
// crash logger and keeps it from the log file; false (the line goes on)
// when the thread has none.
bool CaptureCrashLoggerMessage(int severity,
                               const char* file,
                               int line,
                               size_t message_start,
                               const std::string& str);

// Sends the reporter's log to "<product>_crashreporter.log" in the
// temporary folder, with every item of the line header, and hands the
// lines of a thread that handles a crash to its crash logger.
void InitializeReporterLogging();

}  // namespace crash_reporter
}  // namespace vexlo

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_LOGGER_H_
