#include "base/logging.h"

#include <windows.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iterator>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "base/command_line.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/stringprintf.h"
#include "gtest/gtest.h"

namespace base {
namespace {

// Counts how often a streamed argument is evaluated.
int CountEvaluation(int* count) {
  ++*count;
  return *count;
}

enum class Colour { kRed = 3, kBlue = 7 };

struct Opaque {
  bool operator==(const Opaque&) const { return false; }
};

struct CapturedLine {
  int severity;
  const char* file;
  int line;
  size_t message_start;
  std::string text;
};

std::vector<CapturedLine>* g_captured_lines = nullptr;
bool g_handler_claims_lines = true;

bool CaptureLine(int severity,
                 const char* file,
                 int line,
                 size_t message_start,
                 const std::string& text) {
  g_captured_lines->push_back({severity, file, line, message_start, text});
  return g_handler_claims_lines;
}

std::string ReadWholeFile(const string16& path) {
  HANDLE file =
      ::CreateFileW(path.c_str(), GENERIC_READ,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return "<missing>";
  std::string contents;
  char buffer[4096];
  DWORD read = 0;
  while (::ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read)
    contents.append(buffer, read);
  ::CloseHandle(file);
  return contents;
}

bool AppendToFile(const string16& path, const std::string& text) {
  HANDLE file = ::CreateFileW(path.c_str(), FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return false;
  DWORD written = 0;
  const bool ok =
      ::WriteFile(file, text.data(), text.size(), &written, nullptr) &&
      written == text.size();
  ::CloseHandle(file);
  return ok;
}

// The header time stamp, MMDD/HHMMSS, of the local time |t|.
std::string StampOf(time_t t) {
  struct tm local_time = {};
  localtime_s(&local_time, &t);
  char stamp[16];
  strftime(stamp, sizeof(stamp), "%m%d/%H%M%S", &local_time);
  return stamp;
}

// True when |stamp| names one of the seconds from |before| to |after|.
bool IsStampBetween(const std::string& stamp, time_t before, time_t after) {
  for (time_t t = before; t <= after; ++t) {
    if (StampOf(t) == stamp)
      return true;
  }
  return false;
}

// Every test starts from the process defaults and leaves them behind: file
// destination (the default file), time stamp only, minimum level 0, no
// handler.
class LoggingTest : public testing::Test {
 protected:
  void SetUp() override {
    CommandLine::Init();
    g_captured_lines = &captured_lines_;
    g_handler_claims_lines = true;
  }

  void TearDown() override {
    SetLogMessageHandler(nullptr);
    SetMinLogLevel(LOG_INFO);
    SetLogItems(false, false, true, false);
    EXPECT_TRUE(InitLogging(LoggingSettings()));
    g_captured_lines = nullptr;
  }

  // Lines go to the handler only, with no optional header items.
  void CaptureBareLines() {
    SetLogItems(false, false, false, false);
    SetLogMessageHandler(&CaptureLine);
  }

  std::vector<CapturedLine> captured_lines_;
};

// Gives a test its own empty folder, made the current directory, with every
// file it leaves removed at the end.
class LoggingFileTest : public LoggingTest {
 protected:
  void SetUp() override {
    LoggingTest::SetUp();
    wchar_t temp[MAX_PATH];
    ASSERT_NE(0u, ::GetTempPathW(MAX_PATH, temp));
    dir_ = temp + StringPrintfWide(L"logging_unittest_%lu_%u",
                                   ::GetCurrentProcessId(), ++dir_count_);
    ASSERT_TRUE(::CreateDirectoryW(dir_.c_str(), nullptr));
    wchar_t current[MAX_PATH];
    ASSERT_NE(0u, ::GetCurrentDirectoryW(MAX_PATH, current));
    old_current_directory_ = current;
    ASSERT_TRUE(::SetCurrentDirectoryW(dir_.c_str()));
    SetLogItems(false, false, false, false);
  }

  void TearDown() override {
    // Closes the test's log file.
    LoggingTest::TearDown();
    ::SetCurrentDirectoryW(old_current_directory_.c_str());
    WIN32_FIND_DATAW found;
    HANDLE find = ::FindFirstFileW((dir_ + L"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        const string16 path = dir_ + L"\\" + found.cFileName;
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
          ::DeleteFileW(path.c_str());
        else if (found.cFileName[0] != L'.')
          ::RemoveDirectoryW(path.c_str());
      } while (::FindNextFileW(find, &found));
      ::FindClose(find);
    }
    EXPECT_TRUE(::RemoveDirectoryW(dir_.c_str()));
  }

  string16 PathOf(const wchar_t* name) const { return dir_ + L"\\" + name; }

  static bool LogToFile(const string16& path, OldFileDeletionState old_file) {
    LoggingSettings settings;
    settings.log_file = path.c_str();
    settings.delete_old = old_file;
    return InitLogging(settings);
  }

  string16 dir_;
  string16 old_current_directory_;
  static unsigned dir_count_;
};

unsigned LoggingFileTest::dir_count_ = 0;

TEST(LoggingCheckTest, PassingChecksEvaluateConditionOnceAndStreamNever) {
  int condition_count = 0;
  int stream_count = 0;
  CHECK(CountEvaluation(&condition_count) == 1)
      << CountEvaluation(&stream_count);
  CHECK_EQ(CountEvaluation(&condition_count), 2)
      << CountEvaluation(&stream_count);
  DCHECK(CountEvaluation(&condition_count) == 3)
      << CountEvaluation(&stream_count);
  DCHECK_NE(CountEvaluation(&condition_count), 0)
      << CountEvaluation(&stream_count);
  EXPECT_EQ(DCHECK_IS_ON() ? 4 : 2, condition_count);
  EXPECT_EQ(0, stream_count);
}

TEST(LoggingCheckTest, ComparisonsUseValuesAcrossSignedness) {
  // Each of these would fail if -1 were converted to a huge unsigned value.
  CHECK_LT(-1, 1u);
  CHECK_LE(int64_t{-5}, size_t{0});
  CHECK_GT(1u, -1);
  CHECK_GE(size_t{7}, -7);
  CHECK_NE(-1, 0xFFFFFFFFu);
  CHECK_EQ(size_t{3}, 3);
  CHECK_EQ(Colour::kRed, Colour::kRed);
}

TEST(LoggingCheckTest, CheckOpIsOneStatementForAnEnclosingElse) {
  bool else_taken = false;
  if (false)
    CHECK_EQ(1, 2);
  else
    else_taken = true;
  EXPECT_TRUE(else_taken);
}

TEST_F(LoggingTest, DefaultHeaderHasTimeStampSeverityFileAndLine) {
  SetLogMessageHandler(&CaptureLine);
  const time_t before = time(nullptr);
  LOG(INFO) << "hello " << 42;
  const int line = __LINE__ - 1;
  const time_t after = time(nullptr);

  ASSERT_EQ(1u, captured_lines_.size());
  const CapturedLine& captured = captured_lines_[0];
  EXPECT_EQ(LOG_INFO, captured.severity);
  EXPECT_STREQ(__FILE__, captured.file);
  EXPECT_EQ(line, captured.line);
  // "[MMDD/HHMMSS:" then the rest.
  ASSERT_GT(captured.text.size(), 13u);
  EXPECT_EQ('[', captured.text[0]);
  EXPECT_TRUE(IsStampBetween(captured.text.substr(1, 11), before, after))
      << captured.text;
  const std::string expected_rest =
      ":INFO:logging_unittest.cc(" + IntToString(line) + ")] hello 42\n";
  EXPECT_EQ(expected_rest, captured.text.substr(12));
  EXPECT_EQ("hello 42\n", captured.text.substr(captured.message_start));
}

TEST_F(LoggingTest, HeaderWithEveryItem) {
  SetLogMessageHandler(&CaptureLine);
  SetLogItems(true, true, true, true);
  const time_t before = time(nullptr);
  const DWORD ticks_before = ::GetTickCount();
  LOG(WARNING) << "all items";
  const int line = __LINE__ - 1;
  const DWORD ticks_after = ::GetTickCount();
  const time_t after = time(nullptr);

  ASSERT_EQ(1u, captured_lines_.size());
  const std::string& text = captured_lines_[0].text;
  std::smatch parts;
  ASSERT_TRUE(std::regex_match(
      text, parts,
      std::regex("\\[(\\d+):(\\d+):(\\d{4}/\\d{6}):(\\d+):WARNING:"
                 "logging_unittest\\.cc\\((\\d+)\\)\\] all items\n")))
      << text;
  EXPECT_EQ(UintToString(::GetCurrentProcessId()), parts[1].str());
  EXPECT_EQ(UintToString(::GetCurrentThreadId()), parts[2].str());
  EXPECT_TRUE(IsStampBetween(parts[3].str(), before, after)) << text;
  unsigned ticks = 0;
  ASSERT_TRUE(StringToUint(parts[4].str(), &ticks));
  EXPECT_LE(ticks_before, ticks);
  EXPECT_GE(ticks_after, ticks);
  EXPECT_EQ(IntToString(line), parts[5].str());
  EXPECT_EQ(text.size() - strlen("all items\n"),
            captured_lines_[0].message_start);

  // The items keep their order when some are off.
  SetLogItems(true, false, false, true);
  LOG(ERROR) << "two items";
  ASSERT_EQ(2u, captured_lines_.size());
  EXPECT_TRUE(std::regex_match(
      captured_lines_[1].text,
      std::regex("\\[" + UintToString(::GetCurrentProcessId()) +
                 ":\\d+:ERROR:logging_unittest\\.cc\\(\\d+\\)\\] two items\n")))
      << captured_lines_[1].text;
}

TEST_F(LoggingTest, SeverityNamesAndFileNames) {
  CaptureBareLines();
  struct {
    const char* file;
    int severity;
    const char* expected;
  } const cases[] = {
      {"a\\b\\x.cc", LOG_INFO, "[INFO:x.cc(7)] text\n"},
      {"a/b\\x.cc", LOG_WARNING, "[WARNING:x.cc(7)] text\n"},
      {"a\\b/y.h", LOG_ERROR, "[ERROR:y.h(7)] text\n"},
      {"plain.cc", 4, "[UNKNOWN:plain.cc(7)] text\n"},
      {"plain.cc", 5, "[UNKNOWN:plain.cc(7)] text\n"},
      {"plain.cc", -1, "[VERBOSE1:plain.cc(7)] text\n"},
      {"plain.cc", -2, "[VERBOSE2:plain.cc(7)] text\n"},
      {"dir\\", -12, "[VERBOSE12:(7)] text\n"},
  };
  for (const auto& c : cases)
    LogMessage(c.file, 7, c.severity).stream() << "text";
  ASSERT_EQ(std::size(cases), captured_lines_.size());
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(cases[i].expected, captured_lines_[i].text);
    EXPECT_EQ(cases[i].severity, captured_lines_[i].severity);
    EXPECT_STREQ(cases[i].file, captured_lines_[i].file);
  }
}

TEST_F(LoggingTest, MinimumLevelDecidesWhichLinesAreCreated) {
  CaptureBareLines();
  int evaluations = 0;

  SetMinLogLevel(7);  // Counts as FATAL.
  EXPECT_FALSE(ShouldCreateLogMessage(LOG_ERROR));
  EXPECT_TRUE(ShouldCreateLogMessage(LOG_FATAL));
  LOG(ERROR) << CountEvaluation(&evaluations);
  EXPECT_EQ(-1, GetVlogLevel(__FILE__, sizeof(__FILE__)));

  SetMinLogLevel(LOG_WARNING);
  LOG(INFO) << CountEvaluation(&evaluations);
  LOG(WARNING) << "warning";
  EXPECT_EQ(0, evaluations);
  EXPECT_FALSE(VLOG_IS_ON(0));

  SetMinLogLevel(LOG_INFO);
  EXPECT_EQ(0, GetVlogLevel(__FILE__, sizeof(__FILE__)));
  EXPECT_TRUE(VLOG_IS_ON(0));
  EXPECT_FALSE(VLOG_IS_ON(1));
  VLOG(1) << CountEvaluation(&evaluations);
  EXPECT_EQ(0, evaluations);

  SetMinLogLevel(-1);
  EXPECT_TRUE(ShouldCreateLogMessage(-1));
  EXPECT_FALSE(ShouldCreateLogMessage(-2));
  EXPECT_TRUE(VLOG_IS_ON(1));
  VLOG(1) << "verbose one";
  VLOG(2) << CountEvaluation(&evaluations);
  VLOG_IF(1, false) << CountEvaluation(&evaluations);
  VLOG_IF(1, true) << "verbose if";
  EXPECT_EQ(0, evaluations);

  SetMinLogLevel(INT_MIN);
  EXPECT_EQ(INT_MAX, GetVlogLevel(__FILE__, sizeof(__FILE__)));

  ASSERT_EQ(3u, captured_lines_.size());
  EXPECT_EQ("warning\n",
            captured_lines_[0].text.substr(captured_lines_[0].message_start));
  EXPECT_EQ(0u, captured_lines_[1].text.find("[VERBOSE1:logging_unittest.cc("))
      << captured_lines_[1].text;
  EXPECT_EQ(-1, captured_lines_[1].severity);
  EXPECT_EQ("verbose if\n",
            captured_lines_[2].text.substr(captured_lines_[2].message_start));
}

TEST_F(LoggingTest, WithoutDestinationOnlyErrorsReachStandardError) {
  LoggingSettings settings;
  settings.logging_dest = LOG_NONE;
  ASSERT_TRUE(InitLogging(settings));
  SetLogItems(false, false, false, false);
  EXPECT_FALSE(ShouldCreateLogMessage(LOG_WARNING));
  EXPECT_TRUE(ShouldCreateLogMessage(LOG_ERROR));

  int evaluations = 0;
  testing::internal::CaptureStderr();
  LOG(WARNING) << CountEvaluation(&evaluations);
  LOG(ERROR) << "disk is " << 42 << "% full";
  const int line = __LINE__ - 1;
  LOG_IF(ERROR, false) << CountEvaluation(&evaluations);
  LOG_IF(ERROR, true) << "if taken";
  const int if_line = __LINE__ - 1;
  const std::string output = testing::internal::GetCapturedStderr();
  EXPECT_EQ(0, evaluations);
  EXPECT_EQ("[ERROR:logging_unittest.cc(" + IntToString(line) +
                ")] disk is 42% full\n[ERROR:logging_unittest.cc(" +
                IntToString(if_line) + ")] if taken\n",
            output);

  // A handler is a destination of its own.
  SetLogMessageHandler(&CaptureLine);
  EXPECT_TRUE(ShouldCreateLogMessage(LOG_WARNING));
  LOG(WARNING) << "to the handler";
  ASSERT_EQ(1u, captured_lines_.size());
  EXPECT_EQ(LOG_WARNING, captured_lines_[0].severity);
}

std::string* g_debugger_output = nullptr;

// Sees the exception through which OutputDebugStringA hands its text to a
// debugger.
LONG CALLBACK CaptureDebuggerOutput(EXCEPTION_POINTERS* pointers) {
  const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
  if (record->ExceptionCode == DBG_PRINTEXCEPTION_C &&
      record->NumberParameters >= 2 && g_debugger_output) {
    g_debugger_output->append(
        reinterpret_cast<const char*>(record->ExceptionInformation[1]));
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

TEST_F(LoggingTest, SystemDebugLogReachesDebuggerAndStandardError) {
  std::string debugger_output;
  g_debugger_output = &debugger_output;
  void* handler = ::AddVectoredExceptionHandler(1, &CaptureDebuggerOutput);
  ASSERT_NE(nullptr, handler);
  LoggingSettings settings;
  settings.logging_dest = LOG_TO_SYSTEM_DEBUG_LOG;
  ASSERT_TRUE(InitLogging(settings));
  SetLogItems(false, false, false, false);
  testing::internal::CaptureStderr();
  LogMessage("x.cc", 3, LOG_INFO).stream() << "info";
  LogMessage("x.cc", 4, -1).stream() << "not created by VLOG, still written";
  const std::string output = testing::internal::GetCapturedStderr();
  ::RemoveVectoredExceptionHandler(handler);
  g_debugger_output = nullptr;
  const char expected[] =
      "[INFO:x.cc(3)] info\n"
      "[VERBOSE1:x.cc(4)] not created by VLOG, still written\n";
  EXPECT_EQ(expected, output);
  EXPECT_EQ(expected, debugger_output);
}

TEST_F(LoggingTest, LastErrorSurvivesEveryKindOfLine) {
  SetLogItems(false, false, false, false);
  testing::internal::CaptureStderr();
  ::SetLastError(1234);
  LOG(ERROR) << "error line";
  EXPECT_EQ(1234u, ::GetLastError());
  ::SetLastError(ERROR_ACCESS_DENIED);
  PLOG(ERROR) << "plog line";
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), ::GetLastError());
  SetLogMessageHandler(&CaptureLine);
  ::SetLastError(77);
  LOG(INFO) << "handled";
  EXPECT_EQ(77u, ::GetLastError());
  const std::string output = testing::internal::GetCapturedStderr();
  EXPECT_NE(std::string::npos, output.find("] error line\n")) << output;
  EXPECT_NE(std::string::npos, output.find("] plog line: ")) << output;
}

TEST_F(LoggingTest, PlogAppendsTheErrorText) {
  CaptureBareLines();
  ::SetLastError(ERROR_FILE_NOT_FOUND);
  PLOG(WARNING) << "opening";
  ASSERT_EQ(1u, captured_lines_.size());
  const std::string& text = captured_lines_[0].text;
  const std::string expected_tail =
      "opening: " + SystemErrorCodeToString(ERROR_FILE_NOT_FOUND) + "\n";
  ASSERT_GE(text.size(), expected_tail.size());
  EXPECT_EQ(expected_tail, text.substr(captured_lines_[0].message_start));

  // The verbose form, only when its level is on.
  int evaluations = 0;
  SetMinLogLevel(-1);
  ::SetLastError(ERROR_ACCESS_DENIED);
  VPLOG(2) << CountEvaluation(&evaluations);
  VPLOG(1) << "verbose";
  EXPECT_EQ(0, evaluations);
  ASSERT_EQ(2u, captured_lines_.size());
  EXPECT_EQ(-1, captured_lines_[1].severity);
  EXPECT_EQ("verbose: " + SystemErrorCodeToString(ERROR_ACCESS_DENIED) + "\n",
            captured_lines_[1].text.substr(captured_lines_[1].message_start));
}

TEST_F(LoggingTest, SystemErrorTextIsOneTrimmedLineWithTheCode) {
  const std::string known = SystemErrorCodeToString(ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(std::regex_match(known, std::regex("\\S( ?\\S)* \\(0x2\\)")))
      << known;
  EXPECT_EQ(std::string::npos, known.find_first_of("\r\n")) << known;

  const std::string access = SystemErrorCodeToString(ERROR_ACCESS_DENIED);
  EXPECT_TRUE(std::regex_match(access, std::regex("\\S( ?\\S)* \\(0x5\\)")))
      << access;

  // No text for this code: the retrieval error and the code, upper case.
  const std::string unknown = SystemErrorCodeToString(0xDEADBEEF);
  EXPECT_TRUE(std::regex_match(
      unknown, std::regex("Error \\(0x[0-9A-F]+\\) while retrieving error\\. "
                          "\\(0xDEADBEEF\\)")))
      << unknown;
}

TEST_F(LoggingTest, WideTextStreamsAsUtf8) {
  std::ostringstream stream;
  const wchar_t* const no_text = nullptr;
  stream << L"caf\u00e9 \u20ac" << no_text << L"|";
  EXPECT_EQ("caf\xC3\xA9 \xE2\x82\xAC|", stream.str());
}

TEST_F(LoggingTest, HandlerThatClaimsFatalLineKeepsProcessRunning) {
  CaptureBareLines();
  testing::internal::CaptureStderr();
  LOG(FATAL) << "claimed";
  CHECK(false) << "also claimed";
  const std::string output = testing::internal::GetCapturedStderr();
  // Reached: the process goes on, and nothing else saw the lines.
  EXPECT_EQ("", output);
  ASSERT_EQ(2u, captured_lines_.size());
  EXPECT_EQ(LOG_FATAL, captured_lines_[1].severity);
  EXPECT_EQ("Check failed: false. also claimed\n",
            captured_lines_[1].text.substr(captured_lines_[1].message_start));

  // A handler that declines leaves the line to the destinations.
  g_handler_claims_lines = false;
  testing::internal::CaptureStderr();
  LOG(ERROR) << "declined";
  const int line = __LINE__ - 1;
  EXPECT_EQ("[ERROR:logging_unittest.cc(" + IntToString(line) + ")] declined\n",
            testing::internal::GetCapturedStderr());
  EXPECT_EQ(3u, captured_lines_.size());
}

TEST_F(LoggingTest, DefaultLogFileIsBesideTheExecutable) {
  wchar_t module_name[MAX_PATH];
  ASSERT_NE(0u, ::GetModuleFileNameW(nullptr, module_name, MAX_PATH));
  string16 expected(module_name);
  expected.erase(expected.rfind(L'\\') + 1);
  expected += L"debug.log";
  EXPECT_EQ(expected, GetDefaultLogFile());

  // The defaults write there.
  ASSERT_TRUE(InitLogging(LoggingSettings()));
  const std::string marker = StringPrintf(
      "default file marker %lu %lu", ::GetCurrentProcessId(), ::GetTickCount());
  LOG(INFO) << marker;
  EXPECT_NE(std::string::npos, ReadWholeFile(expected).find(marker + "\n"));
}

TEST_F(LoggingFileTest, OldFileIsAppendedToOrDeleted) {
  const string16 path = PathOf(L"app.log");
  ASSERT_TRUE(AppendToFile(path, "old line\n"));

  ASSERT_TRUE(LogToFile(path, APPEND_TO_OLD_LOG_FILE));
  LogMessage("a.cc", 1, LOG_INFO).stream() << "first";
  LogMessage("a.cc", 2, LOG_WARNING).stream() << "second";
  EXPECT_EQ("old line\n[INFO:a.cc(1)] first\n[WARNING:a.cc(2)] second\n",
            ReadWholeFile(path));

  ASSERT_TRUE(LogToFile(path, DELETE_OLD_LOG_FILE));
  // Deleted, then made anew when the log opened it.
  EXPECT_EQ("", ReadWholeFile(path));
  LogMessage("a.cc", 3, LOG_INFO).stream() << "third";
  EXPECT_EQ("[INFO:a.cc(3)] third\n", ReadWholeFile(path));
}

TEST_F(LoggingFileTest, FileIsSharedWithOtherWritersAndReaders) {
  const string16 path = PathOf(L"shared.log");
  ASSERT_TRUE(LogToFile(path, DELETE_OLD_LOG_FILE));
  LogMessage("a.cc", 1, LOG_INFO).stream() << "mine";
  // Another process appending to the same file while the log holds it.
  ASSERT_TRUE(AppendToFile(path, "theirs\n"));
  LogMessage("a.cc", 2, LOG_INFO).stream() << "mine again";
  EXPECT_EQ("[INFO:a.cc(1)] mine\ntheirs\n[INFO:a.cc(2)] mine again\n",
            ReadWholeFile(path));
}

TEST_F(LoggingFileTest, DestinationWithoutFileKeepsFileAsItIs) {
  const string16 first = PathOf(L"first.log");
  ASSERT_TRUE(LogToFile(first, DELETE_OLD_LOG_FILE));
  LogMessage("a.cc", 1, LOG_INFO).stream() << "to file";

  LoggingSettings no_file;
  no_file.logging_dest = LOG_TO_SYSTEM_DEBUG_LOG;
  no_file.log_file = L"Z:\\ignored\\path.log";
  no_file.delete_old = DELETE_OLD_LOG_FILE;
  ASSERT_TRUE(InitLogging(no_file));
  testing::internal::CaptureStderr();
  LogMessage("a.cc", 2, LOG_INFO).stream() << "not to file";
  testing::internal::GetCapturedStderr();
  EXPECT_EQ("[INFO:a.cc(1)] to file\n", ReadWholeFile(first));

  // Turning the file back on with the same path keeps the old lines.
  ASSERT_TRUE(LogToFile(first, APPEND_TO_OLD_LOG_FILE));
  LogMessage("a.cc", 3, LOG_INFO).stream() << "to file again";
  EXPECT_EQ("[INFO:a.cc(1)] to file\n[INFO:a.cc(3)] to file again\n",
            ReadWholeFile(first));

  // A new path leaves the old file alone.
  const string16 second = PathOf(L"second.log");
  ASSERT_TRUE(LogToFile(second, APPEND_TO_OLD_LOG_FILE));
  LogMessage("a.cc", 4, LOG_INFO).stream() << "second file";
  EXPECT_EQ("[INFO:a.cc(4)] second file\n", ReadWholeFile(second));
  EXPECT_EQ("[INFO:a.cc(1)] to file\n[INFO:a.cc(3)] to file again\n",
            ReadWholeFile(first));
}

TEST_F(LoggingFileTest, UnopenablePathFallsBackToCurrentDirectory) {
  const string16 unopenable = PathOf(L"no such folder\\app.log");
  EXPECT_TRUE(LogToFile(unopenable, APPEND_TO_OLD_LOG_FILE));
  LogMessage("a.cc", 1, LOG_INFO).stream() << "fallback";
  EXPECT_EQ("[INFO:a.cc(1)] fallback\n", ReadWholeFile(PathOf(L"debug.log")));
  EXPECT_EQ("<missing>", ReadWholeFile(unopenable));
}

TEST_F(LoggingFileTest, FailedOpeningIsRetriedByLaterLines) {
  // A folder where the fallback file would be makes both openings fail.
  const string16 fallback = PathOf(L"debug.log");
  ASSERT_TRUE(::CreateDirectoryW(fallback.c_str(), nullptr));
  EXPECT_FALSE(LogToFile(PathOf(L"missing\\app.log"), APPEND_TO_OLD_LOG_FILE));
  EXPECT_FALSE(InitializeLogFileHandle());
  ::SetLastError(55);
  LogMessage("a.cc", 1, LOG_INFO).stream() << "lost";
  EXPECT_EQ(55u, ::GetLastError());

  // Once the fallback can be made, the next lines open it, from any thread
  // at once.
  ASSERT_TRUE(::RemoveDirectoryW(fallback.c_str()));
  constexpr int kThreads = 8;
  constexpr int kLinesPerThread = 50;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kLinesPerThread; ++i)
        LogMessage("a.cc", t, LOG_INFO).stream() << "thread line " << i;
    });
  }
  for (std::thread& thread : threads)
    thread.join();

  const std::string contents = ReadWholeFile(fallback);
  // Every line arrives whole, none twice, none lost.
  std::vector<int> next_line(kThreads, 0);
  std::istringstream lines(contents);
  std::string line;
  int count = 0;
  const std::regex line_pattern(
      "\\[INFO:a\\.cc\\((\\d)\\)\\] thread line (\\d+)");
  while (std::getline(lines, line)) {
    std::smatch parts;
    ASSERT_TRUE(std::regex_match(line, parts, line_pattern)) << line;
    const int thread = std::stoi(parts[1].str());
    ASSERT_LT(thread, kThreads);
    EXPECT_EQ(next_line[thread]++, std::stoi(parts[2].str()));
    ++count;
  }
  EXPECT_EQ(kThreads * kLinesPerThread, count);
}

TEST(LoggingDeathTest, FailedChecksStopTheProcess) {
  EXPECT_DEATH(CHECK(1 + 1 == 3) << "extra " << 7,
               "Check failed: 1 \\+ 1 == 3\\. extra 7");
  const int small = 2;
  EXPECT_DEATH(CHECK_GT(small, 5) << "tail",
               "Check failed: small > 5 \\(2 vs\\. 5\\)tail");
  EXPECT_DEATH(CHECK_EQ(Colour::kRed, Colour::kBlue),
               "Colour::kRed == Colour::kBlue \\(3 vs\\. 7\\)");
  EXPECT_DEATH(CHECK_EQ(Opaque(), Opaque()), "\\(unprintable\\)");
  EXPECT_DEATH(CHECK_LT(1u, -1), "1u < -1 \\(1 vs\\. -1\\)");
}

#if DCHECK_IS_ON()
TEST(LoggingDeathTest, FailedDchecksStopTheProcess) {
  EXPECT_DEATH(DCHECK(false), "Check failed: false");
  EXPECT_DEATH(DCHECK_EQ(1, 2), "1 == 2 \\(1 vs\\. 2\\)");
  EXPECT_DEATH(DCHECK_LE(3, 2), "3 <= 2");
  EXPECT_DEATH(NOTREACHED() << "state 9", "NOTREACHED\\(\\) hit\\. state 9");
}
#endif

TEST(LoggingDeathTest, FatalLineIsWrittenThenBreaksIntoDebugger) {
  wchar_t temp[MAX_PATH];
  ASSERT_NE(0u, ::GetTempPathW(MAX_PATH, temp));
  // Fixed, since the dying child works it out on its own.
  const string16 path = string16(temp) + L"logging_unittest_fatal.log";
  ::DeleteFileW(path.c_str());
  EXPECT_EXIT(
      {
        CommandLine::Init();
        LoggingSettings settings;
        settings.log_file = path.c_str();
        InitLogging(settings);
        SetLogItems(false, false, false, false);
        LogMessage("dying.cc", 12, LOG_FATAL).stream() << "fatal line";
        fprintf(stderr, "still running\n");
        ::ExitProcess(0);
      },
      testing::ExitedWithCode(static_cast<int>(EXCEPTION_BREAKPOINT)),
      "\\[FATAL:dying\\.cc\\(12\\)\\] fatal line\n");
  EXPECT_EQ("[FATAL:dying.cc(12)] fatal line\n", ReadWholeFile(path));
  ::DeleteFileW(path.c_str());
}

TEST(LoggingDeathTest, FatalMacroLineStopsTheProcess) {
  EXPECT_EXIT(LOG(FATAL) << "from the macro",
              testing::ExitedWithCode(static_cast<int>(EXCEPTION_BREAKPOINT)),
              ":FATAL:logging_unittest\\.cc\\(\\d+\\)\\] from the macro");
}

// The switches "v" and "vmodule" of the process command line, read by
// InitLogging; each case runs in a child process of its own, since the
// levels can be set only twice in a process.
TEST(LoggingDeathTest, SwitchesSetVerboseLevels) {
  EXPECT_EXIT(
      {
        CommandLine::Init();
        CommandLine* command_line = CommandLine::ForCurrentProcess();
        command_line->AppendSwitchASCII("v", "2");
        command_line->AppendSwitchASCII("vmodule", "foo=3,bar/*=4");
        LoggingSettings settings;
        settings.logging_dest = LOG_TO_SYSTEM_DEBUG_LOG;
        InitLogging(settings);
        fprintf(stderr, "levels %d %d %d %d %d|",
                GetVlogLevel("src\\foo.cc", sizeof("src\\foo.cc")),
                GetVlogLevel("bar\\x.cc", sizeof("bar\\x.cc")),
                GetVlogLevel("baz.cc", sizeof("baz.cc")),
                ShouldCreateLogMessage(-2), ShouldCreateLogMessage(-3));
        // The second setting replaces the first.
        command_line->AppendSwitchASCII("v", "5");
        command_line->AppendSwitchASCII("vmodule", "");
        InitLogging(settings);
        fprintf(stderr, "levels %d %d|",
                GetVlogLevel("src\\foo.cc", sizeof("src\\foo.cc")),
                GetVlogLevel("baz.cc", sizeof("baz.cc")));
        fflush(stderr);
        ::ExitProcess(0);
      },
      testing::ExitedWithCode(0), "levels 3 4 2 1 0\\|levels 5 5\\|");

  EXPECT_EXIT(
      {
        CommandLine::Init();
        CommandLine::ForCurrentProcess()->AppendSwitchASCII("vmodule", "x=1");
        LoggingSettings settings;
        settings.logging_dest = LOG_NONE;
        InitLogging(settings);
        InitLogging(settings);
        fprintf(stderr, "twice|");
        fflush(stderr);
        InitLogging(settings);
        ::ExitProcess(0);
      },
      testing::ExitedWithCode(static_cast<int>(EXCEPTION_BREAKPOINT)),
      "twice\\|");
}

}  // namespace
}  // namespace base
