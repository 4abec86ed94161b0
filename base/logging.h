#ifndef BASE_LOGGING_H_
#define BASE_LOGGING_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <ostream>
#include <sstream>
#include <string>
#include <type_traits>
#include <utility>

#include "base/strings/string16.h"

// One diagnostic line at a time: LOG(INFO) << "text" << value;
// Severities: INFO, WARNING, ERROR and FATAL; a FATAL line stops the process
// through base::BreakDebugger once it is written. A line goes to the message
// handler if one is installed, else to the destinations chosen by InitLogging
// (the log file, and the debugger output with the standard error stream);
// ERROR and FATAL lines reach the standard error stream in any case. A line
// reads "[MMDD/HHMMSS:SEVERITY:file.cc(line)] text", optionally with the
// process id, the thread id and the tick count (SetLogItems).
//
//   LOG_IF(WARNING, condition) << "...";   only when |condition| holds
//   PLOG(ERROR) << "...";   adds ": " and the text of GetLastError
//   VPLOG(1) << "...";   the same for a verbose line
//   VLOG(2) << "...";   a verbose line of level 2, written only when the
//                       switches "v" or "vmodule" (or SetMinLogLevel(-2))
//                       switch level 2 on for this source file
//   if (VLOG_IS_ON(2)) { ... }
//
// Checks of programming errors:
//   CHECK(condition) << "more text";   always evaluated
//   CHECK_EQ(a, b), CHECK_NE, CHECK_LT, CHECK_LE, CHECK_GT, CHECK_GE
//   DCHECK(condition), DCHECK_EQ(a, b), ...   evaluated when DCHECK_IS_ON()
//   NOTREACHED()   marks code that no valid state reaches
// A failed check writes a FATAL line ("Check failed: ...") and so stops the
// process. The text streamed after a check is built only when it fails.
// Integer comparisons of the _EQ family compare values, not bit patterns, so
// CHECK_LT(-1, 1u) holds.

namespace base {

typedef int LogSeverity;
// Negative severities are verbose lines: -n is a line of verbose level n.
constexpr LogSeverity LOG_INFO = 0;
constexpr LogSeverity LOG_WARNING = 1;
constexpr LogSeverity LOG_ERROR = 2;
constexpr LogSeverity LOG_FATAL = 3;
constexpr LogSeverity LOG_NUM_SEVERITIES = 4;

// Where lines go, a bit set.
typedef uint32_t LoggingDestination;
constexpr LoggingDestination LOG_NONE = 0;
constexpr LoggingDestination LOG_TO_FILE = 1;
// The debugger output and the standard error stream.
constexpr LoggingDestination LOG_TO_SYSTEM_DEBUG_LOG = 2;

// What InitLogging does with a log file that is already there.
typedef uint32_t OldFileDeletionState;
constexpr OldFileDeletionState DELETE_OLD_LOG_FILE = 0;
constexpr OldFileDeletionState APPEND_TO_OLD_LOG_FILE = 1;

struct LoggingSettings {
  // The file destination, no path (the default file) and appending.
  LoggingSettings();

  LoggingDestination logging_dest;
  // The file of LOG_TO_FILE; null means the default file.
  const wchar_t* log_file;
  OldFileDeletionState delete_old;
};

// Sets where lines go. The process-wide command line must exist already: its
// switches "v" and "vmodule" set the verbose levels (which may be done at
// most twice in a process). With LOG_TO_FILE, closes the open log file and
// opens |settings.log_file|, falling back to "debug.log" in the current
// directory; false when neither opens. Call at start-up, before other threads
// log.
bool InitLogging(const LoggingSettings& settings);

// Which optional items the line header holds; only the time stamp is on by
// default.
void SetLogItems(bool enable_process_id,
                 bool enable_thread_id,
                 bool enable_timestamp,
                 bool enable_tickcount);

// Receives each line before its destinations do. |message_start| is where the
// caller's text starts in |str| (after the header). Returning true keeps the
// line from the destinations, and a FATAL line from stopping the process.
typedef bool (*LogMessageHandlerFunction)(int severity,
                                          const char* file,
                                          int line,
                                          size_t message_start,
                                          const std::string& str);
// Null removes the handler.
void SetLogMessageHandler(LogMessageHandlerFunction handler);

// Lines below |level| are not created. Levels above FATAL count as FATAL;
// a negative level -n switches verbose levels up to n on.
void SetMinLogLevel(int level);

// "debug.log" in the folder of the host executable.
string16 GetDefaultLogFile();

// Opens the log file for appending, unless it is open already or the file
// destination is off. On failure every later line to the file tries again.
bool InitializeLogFileHandle();

// Whether a line of |severity| would be written anywhere. LOG() tests this
// before building a message, so a line that goes nowhere costs nothing.
bool ShouldCreateLogMessage(LogSeverity severity);

// The verbose level in force for the source file |file|, whose size
// |file_size| counts its terminating NUL. A verbose line of level n is written
// only when n is at most this level.
int GetVlogLevel(const char* file, size_t file_size);

// One line of the log, written when the message is destroyed. The thread's
// Windows last-error value is the same after the line as before it.
class LogMessage {
 public:
  LogMessage(const char* file, int line, LogSeverity severity);
  // A failed comparison check: a FATAL line reading "Check failed: " and
  // |result|, which the message takes and frees.
  LogMessage(const char* file, int line, std::string* result);
  LogMessage(const LogMessage&) = delete;
  LogMessage& operator=(const LogMessage&) = delete;
  ~LogMessage();

  std::ostream& stream() { return stream_; }

 private:
  // Writes the line header.
  void Init(const char* file, int line);

  LogSeverity severity_;
  std::ostringstream stream_;
  // Length of the header, where the caller's text starts.
  size_t message_start_;
  const char* file_;
  const int line_;
  // The last-error value at creation, restored at destruction.
  uint32_t last_error_;
};

typedef uint32_t SystemErrorCode;

// GetLastError, taken before a PLOG line is built.
SystemErrorCode GetLastSystemErrorCode();

// The system's text for |error_code| followed by the code in hexadecimal:
// "The system cannot find the file specified. (0x2)".
std::string SystemErrorCodeToString(SystemErrorCode error_code);

// A line that ends in ": " and the text of a Windows error code.
class Win32ErrorLogMessage {
 public:
  Win32ErrorLogMessage(const char* file,
                       int line,
                       LogSeverity severity,
                       SystemErrorCode error_code);
  Win32ErrorLogMessage(const Win32ErrorLogMessage&) = delete;
  Win32ErrorLogMessage& operator=(const Win32ErrorLogMessage&) = delete;
  ~Win32ErrorLogMessage();

  std::ostream& stream() { return log_message_.stream(); }

 private:
  SystemErrorCode error_code_;
  LogMessage log_message_;
};

// Streams a wide C string as UTF-8; a null pointer streams nothing.
std::ostream& operator<<(std::ostream& out, const wchar_t* wide_text);

// Turns the stream expression of the macros below into a void expression, so
// that both arms of their conditional operator have the same type.
class LogMessageVoidify {
 public:
  LogMessageVoidify() = default;
  // Binds more loosely than << and more tightly than ?:.
  void operator&(std::ostream&) {}
};

// The outcome of a comparison check: passed, or the text describing the
// failure.
class CheckOpResult {
 public:
  // Null |message| means the check passed.
  CheckOpResult(std::string* message) : message_(message) {}  // NOLINT
  // True when the check passed.
  explicit operator bool() const { return message_ == nullptr; }
  std::string* message() { return message_; }

 private:
  std::string* message_;
};

namespace internal {

template <typename T, typename = void>
struct IsStreamable : std::false_type {};
template <typename T>
struct IsStreamable<T,
                    std::void_t<decltype(std::declval<std::ostream&>()
                                         << std::declval<const T&>())>>
    : std::true_type {};

template <typename T>
void StreamCheckValue(std::ostream& os, const T& value) {
  if constexpr (IsStreamable<T>::value) {
    os << value;
  } else if constexpr (std::is_enum_v<T>) {
    os << static_cast<std::underlying_type_t<T>>(value);
  } else {
    os << "(unprintable)";
  }
}

template <typename A, typename B>
std::string* MakeCheckOpString(const A& a, const B& b, const char* names) {
  std::ostringstream os;
  os << names << " (";
  StreamCheckValue(os, a);
  os << " vs. ";
  StreamCheckValue(os, b);
  os << ")";
  return new std::string(os.str());
}

template <typename A, typename B>
constexpr bool kIsMixedSignComparison =
    std::is_integral_v<A>&& std::is_integral_v<B>&& std::is_signed_v<A> !=
    std::is_signed_v<B>;

// Applies |op| to the values of |a| and |b|. Integers of different
// signedness are compared by value: a negative number is less than every
// unsigned one, which the language's own conversions would not give.
template <typename A, typename B, typename Op>
constexpr bool CompareValues(const A& a, const B& b, Op op) {
  if constexpr (kIsMixedSignComparison<A, B>) {
    if constexpr (std::is_signed_v<A>) {
      if (a < 0)
        return op(-1, 0);
    } else {
      if (b < 0)
        return op(0, -1);
    }
    return op(static_cast<uint64_t>(a), static_cast<uint64_t>(b));
  } else {
    return op(a, b);
  }
}

}  // namespace internal

// Check<name>Impl: null when |a| <op> |b| holds, else the failure text
// "<names> (<a> vs. <b>)", owned by the caller.
#define BASE_DEFINE_CHECK_OP_IMPL(name, op_type)                              \
  template <typename A, typename B>                                           \
  std::string* Check##name##Impl(const A& a, const B& b, const char* names) { \
    if (internal::CompareValues(a, b, op_type()))                             \
      return nullptr;                                                         \
    return internal::MakeCheckOpString(a, b, names);                          \
  }
BASE_DEFINE_CHECK_OP_IMPL(EQ, std::equal_to<>)
BASE_DEFINE_CHECK_OP_IMPL(NE, std::not_equal_to<>)
BASE_DEFINE_CHECK_OP_IMPL(LT, std::less<>)
BASE_DEFINE_CHECK_OP_IMPL(LE, std::less_equal<>)
BASE_DEFINE_CHECK_OP_IMPL(GT, std::greater<>)
BASE_DEFINE_CHECK_OP_IMPL(GE, std::greater_equal<>)
#undef BASE_DEFINE_CHECK_OP_IMPL

}  // namespace base

#if defined(NDEBUG) && !defined(DCHECK_ALWAYS_ON)
#define DCHECK_IS_ON() 0
#else
#define DCHECK_IS_ON() 1
#endif

// Evaluates |stream| only when |condition| holds.
#define LAZY_STREAM(stream, condition) \
  !(condition) ? (void)0 : ::base::LogMessageVoidify() & (stream)

// The severity is pasted here rather than in a helper macro so that a
// platform macro named like a severity (ERROR) is never expanded first.
#define LOG(severity)                                                          \
  LAZY_STREAM(                                                                 \
      ::base::LogMessage(__FILE__, __LINE__, ::base::LOG_##severity).stream(), \
      ::base::ShouldCreateLogMessage(::base::LOG_##severity))

#define LOG_IF(severity, condition)                                            \
  LAZY_STREAM(                                                                 \
      ::base::LogMessage(__FILE__, __LINE__, ::base::LOG_##severity).stream(), \
      ::base::ShouldCreateLogMessage(::base::LOG_##severity) && (condition))

#define PLOG(severity)                                                         \
  LAZY_STREAM(                                                                 \
      ::base::Win32ErrorLogMessage(__FILE__, __LINE__, ::base::LOG_##severity, \
                                   ::base::GetLastSystemErrorCode())           \
          .stream(),                                                           \
      ::base::ShouldCreateLogMessage(::base::LOG_##severity))

// The level is tested against the one in force for this source file, which
// the compiler passes with its size.
#define VLOG_IS_ON(verbose_level) \
  ((verbose_level) <= ::base::GetVlogLevel(__FILE__, sizeof(__FILE__)))

#define VLOG(verbose_level)                                              \
  LAZY_STREAM(                                                           \
      ::base::LogMessage(__FILE__, __LINE__, -(verbose_level)).stream(), \
      VLOG_IS_ON(verbose_level))

#define VLOG_IF(verbose_level, condition)                                \
  LAZY_STREAM(                                                           \
      ::base::LogMessage(__FILE__, __LINE__, -(verbose_level)).stream(), \
      VLOG_IS_ON(verbose_level) && (condition))

#define VPLOG(verbose_level)                                             \
  LAZY_STREAM(                                                           \
      ::base::Win32ErrorLogMessage(__FILE__, __LINE__, -(verbose_level), \
                                   ::base::GetLastSystemErrorCode())     \
          .stream(),                                                     \
      VLOG_IS_ON(verbose_level))

#define BASE_FATAL_STREAM() \
  ::base::LogMessage(__FILE__, __LINE__, ::base::LOG_FATAL).stream()

#define CHECK(condition)                                              \
  LAZY_STREAM(BASE_FATAL_STREAM(), __builtin_expect(!(condition), 0)) \
      << "Check failed: " #condition ". "

#define DCHECK(condition)                                          \
  LAZY_STREAM(BASE_FATAL_STREAM(), DCHECK_IS_ON() && !(condition)) \
      << "Check failed: " #condition ". "

#define NOTREACHED() \
  LAZY_STREAM(BASE_FATAL_STREAM(), DCHECK_IS_ON()) << "NOTREACHED() hit. "

// The switch and the else arm keep the macro a single statement that an
// else of the caller cannot attach to.
#define CHECK_OP(name, op, val1, val2)                                    \
  switch (0)                                                              \
  case 0:                                                                 \
  default:                                                                \
    if (::base::CheckOpResult true_if_passed = ::base::Check##name##Impl( \
            (val1), (val2), #val1 " " #op " " #val2)) {                   \
    } else                                                                \
      ::base::LogMessage(__FILE__, __LINE__, true_if_passed.message()).stream()

#define DCHECK_OP(name, op, val1, val2)                                   \
  switch (0)                                                              \
  case 0:                                                                 \
  default:                                                                \
    if (::base::CheckOpResult true_if_passed =                            \
            DCHECK_IS_ON() ? ::base::Check##name##Impl(                   \
                                 (val1), (val2), #val1 " " #op " " #val2) \
                           : nullptr) {                                   \
    } else                                                                \
      ::base::LogMessage(__FILE__, __LINE__, true_if_passed.message()).stream()

#define CHECK_EQ(val1, val2) CHECK_OP(EQ, ==, val1, val2)
#define CHECK_NE(val1, val2) CHECK_OP(NE, !=, val1, val2)
#define CHECK_LT(val1, val2) CHECK_OP(LT, <, val1, val2)
#define CHECK_LE(val1, val2) CHECK_OP(LE, <=, val1, val2)
#define CHECK_GT(val1, val2) CHECK_OP(GT, >, val1, val2)
#define CHECK_GE(val1, val2) CHECK_OP(GE, >=, val1, val2)

#define DCHECK_EQ(val1, val2) DCHECK_OP(EQ, ==, val1, val2)
#define DCHECK_NE(val1, val2) DCHECK_OP(NE, !=, val1, val2)
#define DCHECK_LT(val1, val2) DCHECK_OP(LT, <, val1, val2)
#define DCHECK_LE(val1, val2) DCHECK_OP(LE, <=, val1, val2)
#define DCHECK_GT(val1, val2) DCHECK_OP(GT, >, val1, val2)
#define DCHECK_GE(val1, val2) DCHECK_OP(GE, >=, val1, val2)

#endif  // BASE_LOGGING_H_
