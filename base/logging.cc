#include "base/logging.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>

#include "base/command_line.h"
#include "base/debug/alias.h"
#include "base/debug/debugger.h"
#include "base/files/file_path.h"
#include "base/log_writer_turn.h"
#include "base/strings/string_piece.h"
#include "base/strings/string_util.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/synchronization/lock.h"
#include "base/vlog_info.h"

namespace base {

namespace {

const char* const kLogSeverityNames[LOG_NUM_SEVERITIES] = {"INFO", "WARNING",
                                                           "ERROR", "FATAL"};

// How much of a FATAL line is kept on the stack for crash dumps.
constexpr size_t kFatalTextKept = 1024;

// The byte that writers of a shared log lock while they append: the last
// below 2^63, where no line ever lands.
constexpr DWORD kWriterLockOffsetLow = 0xFFFFFFFE;
constexpr DWORD kWriterLockOffsetHigh = 0x7FFFFFFF;

// The settings are made at start-up, before other threads log, and only read
// afterwards.
LoggingDestination g_logging_destination = LOG_TO_FILE;
int g_min_log_level = 0;
bool g_log_process_id = false;
bool g_log_thread_id = false;
bool g_log_timestamp = true;
bool g_log_tickcount = false;
LogMessageHandlerFunction g_log_message_handler = nullptr;

// Replaced tables stay allocated: a thread may still be reading one.
VlogInfo* g_vlog_info = nullptr;
VlogInfo* g_vlog_info_prev = nullptr;

// The open log file, or null. It stays open until the process ends. Lines
// read it without a lock; opening it is serialised by LogFileLock, since a
// file that fails to open is retried by every line, from any thread.
std::atomic<HANDLE> g_log_file{nullptr};
// Null until first needed; guarded by LogFileLock.
string16* g_log_file_path = nullptr;

Lock& LogFileLock() {
  static Lock* const lock = new Lock();
  return *lock;
}

// The turn of the writers of the open log file; guarded by LogFileLock.
LogWriterTurn& WriterTurn() {
  static LogWriterTurn* const turn = new LogWriterTurn();
  return *turn;
}

void CloseLogFile() {
  WriterTurn().Close();
  const HANDLE file = g_log_file.exchange(nullptr);
  if (file)
    ::CloseHandle(file);
}

void SetLogFilePath(const string16& path) {
  if (!g_log_file_path)
    g_log_file_path = new string16();
  *g_log_file_path = path;
}

// Opens |path| for appending, shared with other writers and readers; keeps
// the handle on success. Reading is asked for only because byte-range locks
// need read or write data access, and write data access would turn off
// appending.
bool OpenLogFile(const string16& path) {
  const HANDLE file =
      ::CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_DATA,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == nullptr || file == INVALID_HANDLE_VALUE)
    return false;
  // Without the turn, lines are kept whole by a byte lock instead.
  WriterTurn().Open(file);
  g_log_file.store(file);
  return true;
}

bool GetCurrentDirectoryPath(FilePath* dir) {
  wchar_t buffer[MAX_PATH + 1];
  const DWORD length = ::GetCurrentDirectoryW(MAX_PATH + 1, buffer);
  if (length == 0 || length > MAX_PATH)
    return false;
  *dir = FilePath(StringPiece16(buffer, length));
  return true;
}

// The file name of a source path: the part after its last separator.
const char* FileNameOf(const char* path) {
  const char* name = path;
  for (const char* p = path; *p; ++p) {
    if (*p == '\\' || *p == '/')
      name = p + 1;
  }
  return name;
}

// MMDD/HHMMSS in local time. The conversion reads the time-zone data on
// each call under Wine, at the cost of several file-system calls, so the
// lines of one second share one conversion.
std::string LocalTimeStamp() {
  static Lock* const lock = new Lock();
  static time_t stamped_second = -1;
  static std::string* const stamp = new std::string();
  const time_t now = time(nullptr);
  AutoLock auto_lock(*lock);
  if (now != stamped_second) {
    struct tm local_time = {};
    localtime_s(&local_time, &now);
    *stamp = StringPrintf("%02d%02d/%02d%02d%02d", local_time.tm_mon + 1,
                          local_time.tm_mday, local_time.tm_hour,
                          local_time.tm_min, local_time.tm_sec);
    stamped_second = now;
  }
  return *stamp;
}

void WriteToStandardError(const std::string& text) {
  fwrite(text.data(), 1, text.size(), stderr);
  fflush(stderr);
}

void WriteLine(HANDLE file, const std::string& text) {
  DWORD written = 0;
  ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written,
              nullptr);
}

void WriteToLogFile(const std::string& text) {
  if (!InitializeLogFileHandle())
    return;
  // One writer at a time: Wine emulates appending with a seek and a write, so
  // lines of two threads could land on each other. The lock also keeps the
  // handle from being closed under the write.
  AutoLock lock(LogFileLock());
  const HANDLE file = g_log_file.load();
  if (!file)
    return;
  // Processes of one program share a log (an installer's front end and its
  // backend), and Wine's seek and write let two of them write at one end
  // and lose a line. They take turns through memory they share, which
  // costs no call to the system while nobody else writes.
  LogWriterTurn& turn = WriterTurn();
  if (turn.is_open()) {
    if (turn.Acquire()) {
      WriteLine(file, text);
      turn.Release();
      return;
    }
    // A live process has kept the turn far longer than any write takes (a
    // debugger holds it): rather than wait with it, this process locks a
    // byte of the file from now on, as when the turn cannot be mapped.
    turn.Close();
  }
  // Every writer without the turn holds a byte far past any line while it
  // writes; should locking fail, the line is written all the same.
  OVERLAPPED lock_range = {};
  lock_range.Offset = kWriterLockOffsetLow;
  lock_range.OffsetHigh = kWriterLockOffsetHigh;
  const bool locked =
      ::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &lock_range) != 0;
  WriteLine(file, text);
  if (locked)
    ::UnlockFileEx(file, 0, 1, 0, &lock_range);
}

// Leaves the start of a FATAL line in this frame, where crash dumps find it,
// and stops the process.
void BreakForFatalLine(const std::string& text) {
  char kept_text[kFatalTextKept] = {};
  memcpy(kept_text, text.data(), std::min(text.size(), sizeof(kept_text)));
  Alias(kept_text);
  BreakDebugger();
}

}  // namespace

LoggingSettings::LoggingSettings()
    : logging_dest(LOG_TO_FILE),
      log_file(nullptr),
      delete_old(APPEND_TO_OLD_LOG_FILE) {}

bool InitLogging(const LoggingSettings& settings) {
  const CommandLine* command_line = CommandLine::ForCurrentProcess();
  DCHECK(command_line) << "The command line must exist before the log.";
  if (command_line &&
      (command_line->HasSwitch("v") || command_line->HasSwitch("vmodule"))) {
    // The verbose levels may be set twice in a process, not more: each
    // replaced table stays allocated for readers on other threads.
    if (g_vlog_info_prev)
      BreakDebugger();
    g_vlog_info_prev = g_vlog_info;
    g_vlog_info = new VlogInfo(command_line->GetSwitchValueASCII("v"),
                               command_line->GetSwitchValueASCII("vmodule"),
                               &g_min_log_level);
  }

  g_logging_destination = settings.logging_dest;
  if (!(g_logging_destination & LOG_TO_FILE))
    return true;

  {
    AutoLock lock(LogFileLock());
    CloseLogFile();
    if (settings.log_file) {
      SetLogFilePath(settings.log_file);
      if (settings.delete_old == DELETE_OLD_LOG_FILE)
        ::DeleteFileW(settings.log_file);
    } else if (g_log_file_path) {
      // No path: the default file, looked up when it is opened.
      delete g_log_file_path;
      g_log_file_path = nullptr;
    }
  }
  return InitializeLogFileHandle();
}

void SetLogItems(bool enable_process_id,
                 bool enable_thread_id,
                 bool enable_timestamp,
                 bool enable_tickcount) {
  g_log_process_id = enable_process_id;
  g_log_thread_id = enable_thread_id;
  g_log_timestamp = enable_timestamp;
  g_log_tickcount = enable_tickcount;
}

void SetLogMessageHandler(LogMessageHandlerFunction handler) {
  g_log_message_handler = handler;
}

void SetMinLogLevel(int level) {
  g_min_log_level = std::min(LOG_FATAL, level);
}

string16 GetDefaultLogFile() {
  wchar_t module_name[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(nullptr, module_name, MAX_PATH);
  string16 path(module_name, std::min<DWORD>(length, MAX_PATH));
  const size_t last_backslash = path.rfind(L'\\');
  path.erase(last_backslash == string16::npos ? 0 : last_backslash + 1);
  path += L"debug.log";
  return path;
}

bool InitializeLogFileHandle() {
  if (g_log_file.load())
    return true;

  AutoLock lock(LogFileLock());
  // Another thread may have opened it meanwhile.
  if (g_log_file.load())
    return true;
  if (!g_log_file_path)
    SetLogFilePath(GetDefaultLogFile());
  if (!(g_logging_destination & LOG_TO_FILE))
    return true;
  if (OpenLogFile(*g_log_file_path))
    return true;

  // The configured place is not writable: try the current directory. Later
  // lines retry from the path stored here.
  FilePath current_directory;
  if (!GetCurrentDirectoryPath(&current_directory))
    return false;
  SetLogFilePath(current_directory.Append(L"debug.log").value());
  return OpenLogFile(*g_log_file_path);
}

bool ShouldCreateLogMessage(LogSeverity severity) {
  if (severity < g_min_log_level)
    return false;
  return g_logging_destination != LOG_NONE || g_log_message_handler ||
         severity >= LOG_ERROR;
}

int GetVlogLevel(const char* file, size_t file_size) {
  if (g_vlog_info)
    return g_vlog_info->GetVlogLevel(StringPiece(file, file_size - 1));
  // -INT_MIN does not exist; the lowest minimum switches every level on.
  if (g_min_log_level == INT_MIN)
    return INT_MAX;
  return std::max(-1, -g_min_log_level);
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

  const bool handled =
      g_log_message_handler &&
      g_log_message_handler(severity_, file_, line_, message_start_, text);
  if (!handled) {
    if (g_logging_destination & LOG_TO_SYSTEM_DEBUG_LOG)
      ::OutputDebugStringA(text.c_str());
    if ((g_logging_destination & LOG_TO_SYSTEM_DEBUG_LOG) ||
        severity_ >= LOG_ERROR) {
      WriteToStandardError(text);
    }
    if (g_logging_destination & LOG_TO_FILE)
      WriteToLogFile(text);
    if (severity_ == LOG_FATAL)
      BreakForFatalLine(text);
  }
  ::SetLastError(last_error_);
}

void LogMessage::Init(const char* file, int line) {
  stream_ << '[';
  if (g_log_process_id)
    stream_ << ::GetCurrentProcessId() << ':';
  if (g_log_thread_id)
    stream_ << ::GetCurrentThreadId() << ':';
  if (g_log_timestamp)
    stream_ << LocalTimeStamp() << ':';
  if (g_log_tickcount)
    stream_ << ::GetTickCount() << ':';
  if (severity_ >= LOG_NUM_SEVERITIES)
    stream_ << "UNKNOWN";
  else if (severity_ >= 0)
    stream_ << kLogSeverityNames[severity_];
  else
    stream_ << "VERBOSE" << -severity_;
  stream_ << ':' << FileNameOf(file) << '(' << line << ")] ";
  message_start_ = static_cast<size_t>(stream_.tellp());
}

SystemErrorCode GetLastSystemErrorCode() {
  return ::GetLastError();
}

std::string SystemErrorCodeToString(SystemErrorCode error_code) {
  char message[256];
  const DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      error_code, 0, message, sizeof(message), nullptr);
  if (length == 0) {
    return StringPrintf("Error (0x%X) while retrieving error. (0x%X)",
                        static_cast<unsigned>(::GetLastError()), error_code);
  }
  return CollapseWhitespaceASCII(std::string(message, length), true) +
         StringPrintf(" (0x%X)", error_code);
}

Win32ErrorLogMessage::Win32ErrorLogMessage(const char* file,
                                           int line,
                                           LogSeverity severity,
                                           SystemErrorCode error_code)
    : error_code_(error_code), log_message_(file, line, severity) {}

Win32ErrorLogMessage::~Win32ErrorLogMessage() {
  stream() << ": " << SystemErrorCodeToString(error_code_);
  // Kept in this frame for crash dumps of a FATAL line.
  SystemErrorCode error_code = error_code_;
  Alias(&error_code);
}

std::ostream& operator<<(std::ostream& out, const wchar_t* wide_text) {
  if (wide_text)
    out << WideToUTF8(wide_text);
  return out;
}

}  // namespace base
