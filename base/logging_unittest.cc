#include "base/logging.h"

#include <windows.h>

#include <algorithm>
#include <climits>
#include <ctime>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "base/command_line.h"
#include "base/files/file.h"
#include "base/files/file_util.h"
#include "base/log_writer_turn.h"
#include "base/path_service.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/strings/string_number_conversions.h"
#include "base/test/process_test_child_command.h"
#include "base/test/unique_test_dir.h"
#include "base/win/scoped_handle.h"
#include "gtest/gtest.h"

namespace base {
namespace {

int CountEvaluation(int* count) {
  return ++*count;
}

struct CapturedLine {
  int severity;
  std::string text;     // The whole line.
  std::string message;  // From the message start on.
};

std::vector<CapturedLine>* g_captured_lines = nullptr;
bool g_handler_claims_lines = true;

bool CaptureLine(int severity,
                 const char* /* file */,
                 int /* line */,
                 size_t message_start,
                 const std::string& text) {
  g_captured_lines->push_back({severity, text, text.substr(message_start)});
  return g_handler_claims_lines;
}

std::string ReadWholeFile(const FilePath& path) {
  std::string contents;
  return ReadFileToString(path, &contents) ? contents : "<missing>";
}

// Waits, at most a minute, until the file at |path| holds |text|; the
// writers of the file tell of nothing else.
bool WaitForLineWith(const FilePath& path, const std::string& text) {
  const ULONGLONG deadline = ::GetTickCount64() + 60000;
  while (ReadWholeFile(path).find(text) == std::string::npos) {
    if (::GetTickCount64() >= deadline)
      return false;
    ::Sleep(1);
  }
  return true;
}

// Takes the turn of the writers of the log at |path| through |turn| and
// hands it to the process |process_id|, as if that had it. The turn lasts
// while |turn| is open, also for writers that open it later.
void HandTurnTo(const FilePath& path, DWORD process_id, LogWriterTurn* turn) {
  const win::ScopedHandle file(::CreateFileW(
      path.value().c_str(), FILE_APPEND_DATA,
      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(file.IsValid());
  ASSERT_TRUE(turn->Open(file.Get()));
  ASSERT_TRUE(turn->Acquire());
  turn->SetHolderForTesting(process_id);
}

// Every test starts from the process defaults and leaves them behind: file
// destination (the default file), time stamp only, minimum level 0, no
// handler. Each has an empty current directory of its own.
class LoggingTest : public testing::Test {
 protected:
  void SetUp() override {
    CommandLine::Init();
    g_captured_lines = &captured_lines_;
    g_handler_claims_lines = true;
    ASSERT_TRUE(dir_.IsValid() && GetCurrentDirectory(&old_directory_));
    ASSERT_TRUE(SetCurrentDirectory(dir_.path()));
  }
  void TearDown() override {
    SetLogMessageHandler(nullptr);
    SetMinLogLevel(LOG_INFO);
    SetLogItems(false, false, true, false);
    EXPECT_TRUE(InitLogging(LoggingSettings()));  // Closes the test's file.
    SetCurrentDirectory(old_directory_);
  }

  // Lines go to the handler only, with no optional header items.
  void CaptureBareLines() {
    SetLogItems(false, false, false, false);
    SetLogMessageHandler(&CaptureLine);
  }

  FilePath PathOf(const wchar_t* name) const {
    return dir_.path().Append(name);
  }

  // Also leaves the header with no optional items.
  static bool LogTo(LoggingDestination destination,
                    const FilePath& path,
                    OldFileDeletionState old_file = APPEND_TO_OLD_LOG_FILE) {
    SetLogItems(false, false, false, false);
    LoggingSettings settings;
    settings.logging_dest = destination;
    settings.log_file = path.value().c_str();
    settings.delete_old = old_file;
    return InitLogging(settings);
  }

  std::vector<CapturedLine> captured_lines_;
  UniqueTestDir dir_;
  FilePath old_directory_;
};

TEST_F(LoggingTest, HeaderHoldsTheItemsThatAreOn) {
  SetLogMessageHandler(&CaptureLine);
  const std::string ids = UintToString(::GetCurrentProcessId()) + ":" +
                          UintToString(::GetCurrentThreadId()) + ":";
  for (bool all : {false, true}) {
    SetLogItems(all, all, true, all);
    const time_t before = time(nullptr);
    LOG(INFO) << "hello " << 42;
    const int line = __LINE__ - 1;
    const time_t after = time(nullptr);
    ASSERT_EQ(1u, captured_lines_.size());
    const CapturedLine captured = captured_lines_[0];
    captured_lines_.clear();
    std::smatch parts;
    ASSERT_TRUE(std::regex_match(
        captured.text, parts,
        std::regex("\\[" + std::string(all ? ids : "") + "(\\d{4}/\\d{6}):" +
                   (all ? "\\d+:" : "") + "INFO:logging_unittest\\.cc\\(" +
                   IntToString(line) + "\\)\\] hello 42\n")))
        << captured.text;
    EXPECT_EQ("hello 42\n", captured.message);
    // The local time stamp, MMDD/HHMMSS, of a second of the line.
    bool stamp_found = false;
    for (time_t t = before; t <= after; ++t) {
      struct tm local_time = {};
      localtime_s(&local_time, &t);
      char stamp[16];
      strftime(stamp, sizeof(stamp), "%m%d/%H%M%S", &local_time);
      stamp_found |= parts[1].str() == stamp;
    }
    EXPECT_TRUE(stamp_found) << captured.text;
  }
}

// A line of the next second gets that second's stamp, not the last one.
TEST_F(LoggingTest, StampsFollowTheClock) {
  SetLogMessageHandler(&CaptureLine);
  SetLogItems(false, false, true, false);
  LOG(INFO) << "first";
  const time_t first_second = time(nullptr);
  while (time(nullptr) == first_second)
    ::Sleep(20);
  LOG(INFO) << "next";
  ASSERT_EQ(2u, captured_lines_.size());
  EXPECT_NE(captured_lines_[0].text.substr(0, 13),
            captured_lines_[1].text.substr(0, 13));
}

TEST_F(LoggingTest, SeverityNamesAndFileNames) {
  CaptureBareLines();
  const struct {
    const char* file;
    int severity;
    const char* expected;
  } kCases[] = {{"a\\b\\x.cc", LOG_INFO, "[INFO:x.cc(7)] text\n"},
                {"a/b\\x.cc", LOG_WARNING, "[WARNING:x.cc(7)] text\n"},
                {"a\\b/y.h", LOG_ERROR, "[ERROR:y.h(7)] text\n"},
                {"plain.cc", 4, "[UNKNOWN:plain.cc(7)] text\n"},
                {"plain.cc", -1, "[VERBOSE1:plain.cc(7)] text\n"},
                {"dir\\", -12, "[VERBOSE12:(7)] text\n"}};
  for (const auto& c : kCases) {
    LogMessage(c.file, 7, c.severity).stream() << "text";
    ASSERT_EQ(1u, captured_lines_.size()) << c.expected;
    EXPECT_EQ(c.expected, captured_lines_[0].text);
    EXPECT_EQ(c.severity, captured_lines_[0].severity) << c.expected;
    captured_lines_.clear();
  }
}

TEST_F(LoggingTest, MinimumLevelDecidesWhichLinesAreCreated) {
  CaptureBareLines();
  int evaluations = 0;
  SetMinLogLevel(7);  // Counts as FATAL.
  EXPECT_FALSE(ShouldCreateLogMessage(LOG_ERROR));
  EXPECT_TRUE(ShouldCreateLogMessage(LOG_FATAL));
  EXPECT_EQ(-1, GetVlogLevel(__FILE__, sizeof(__FILE__)));
  SetMinLogLevel(LOG_WARNING);
  LOG(INFO) << CountEvaluation(&evaluations);
  LOG(WARNING) << "warning";
  SetMinLogLevel(LOG_INFO);
  EXPECT_TRUE(VLOG_IS_ON(0));
  VLOG(1) << CountEvaluation(&evaluations);
  SetMinLogLevel(-1);
  VLOG(2) << CountEvaluation(&evaluations);
  VLOG_IF(1, false) << CountEvaluation(&evaluations);
  VLOG_IF(1, true) << "verbose if";
  EXPECT_EQ(0, evaluations);
  SetMinLogLevel(INT_MIN);
  EXPECT_EQ(INT_MAX, GetVlogLevel(__FILE__, sizeof(__FILE__)));
  ASSERT_EQ(2u, captured_lines_.size());
  EXPECT_EQ("warning\n", captured_lines_[0].message);
  EXPECT_EQ(-1, captured_lines_[1].severity);
}

// Without a destination only errors are created, and reach the standard
// error stream; the system debug log writes there too. A handler that
// declines a line leaves it to the destinations, one that claims it keeps
// it from them, a FATAL line included, which then does not stop the process.
TEST_F(LoggingTest, DestinationsAndHandler) {
  int evaluations = 0;
  ASSERT_TRUE(LogTo(LOG_NONE, PathOf(L"ignored.log"), DELETE_OLD_LOG_FILE));
  EXPECT_TRUE(ShouldCreateLogMessage(LOG_ERROR));
  testing::internal::CaptureStderr();
  LOG(WARNING) << CountEvaluation(&evaluations);
  LOG_IF(ERROR, false) << CountEvaluation(&evaluations);
  LogMessage("x.cc", 1, LOG_ERROR).stream() << "error";
  ASSERT_TRUE(LogTo(LOG_TO_SYSTEM_DEBUG_LOG, PathOf(L"ignored.log")));
  LogMessage("x.cc", 2, LOG_INFO).stream() << "info";
  SetLogMessageHandler(&CaptureLine);
  g_handler_claims_lines = false;
  LogMessage("x.cc", 3, LOG_WARNING).stream() << "declined";
  g_handler_claims_lines = true;
  LOG(FATAL) << "claimed";
  CHECK(false) << "also claimed";
  EXPECT_EQ(
      "[ERROR:x.cc(1)] error\n[INFO:x.cc(2)] info\n"
      "[WARNING:x.cc(3)] declined\n",
      testing::internal::GetCapturedStderr());
  EXPECT_EQ(0, evaluations);
  EXPECT_EQ("<missing>", ReadWholeFile(PathOf(L"ignored.log")));
  EXPECT_EQ("<missing>", ReadWholeFile(PathOf(L"debug.log")));
  ASSERT_EQ(3u, captured_lines_.size());
  EXPECT_EQ(LOG_FATAL, captured_lines_[2].severity);
  EXPECT_EQ("Check failed: false. also claimed\n", captured_lines_[2].message);
  // With no destination, a handler is one of its own.
  ASSERT_TRUE(LogTo(LOG_NONE, FilePath()));
  LOG(WARNING) << "to the handler";
  EXPECT_EQ(4u, captured_lines_.size());
}

TEST_F(LoggingTest, ErrorTextAndLastError) {
  CaptureBareLines();
  ::SetLastError(ERROR_FILE_NOT_FOUND);
  PLOG(WARNING) << "opening";
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), ::GetLastError());
  SetMinLogLevel(-1);
  ::SetLastError(ERROR_ACCESS_DENIED);
  VPLOG(1) << "verbose";
  ASSERT_EQ(2u, captured_lines_.size());
  EXPECT_EQ("opening: " + SystemErrorCodeToString(ERROR_FILE_NOT_FOUND) + "\n",
            captured_lines_[0].message);
  EXPECT_EQ("verbose: " + SystemErrorCodeToString(ERROR_ACCESS_DENIED) + "\n",
            captured_lines_[1].message);
  // One trimmed line of system text and the code; for a code without text,
  // the retrieval error and the code, upper case.
  EXPECT_TRUE(std::regex_match(SystemErrorCodeToString(ERROR_FILE_NOT_FOUND),
                               std::regex("\\S( ?\\S)* \\(0x2\\)")));
  EXPECT_TRUE(std::regex_match(
      SystemErrorCodeToString(0xDEADBEEF),
      std::regex("Error \\(0x[0-9A-F]+\\) while retrieving error\\. "
                 "\\(0xDEADBEEF\\)")));
  std::ostringstream stream;
  stream << L"caf\u00e9 \u20ac" << static_cast<const wchar_t*>(nullptr) << L"|";
  EXPECT_EQ("caf\xC3\xA9 \xE2\x82\xAC|", stream.str());
}

TEST_F(LoggingTest, DefaultLogFileIsBesideTheExecutable) {
  wchar_t module_name[MAX_PATH];
  ASSERT_NE(0u, ::GetModuleFileNameW(nullptr, module_name, MAX_PATH));
  const FilePath expected =
      FilePath(module_name).DirName().Append(L"debug.log");
  EXPECT_EQ(expected.value(), GetDefaultLogFile());
  // The defaults write there; the last error survives the opening.
  const std::string marker = "marker " + IntToString(::GetTickCount()) + " " +
                             UintToString(::GetCurrentProcessId());
  ::SetLastError(77);
  LOG(INFO) << marker;
  EXPECT_EQ(77u, ::GetLastError());
  EXPECT_NE(std::string::npos, ReadWholeFile(expected).find(marker + "\n"));
}

// The file is shared with other writers; a setting without the file
// destination leaves it as it is, and a new path leaves the old file alone.
TEST_F(LoggingTest, FileIsAppendedToOrStartedAnew) {
  const FilePath path = PathOf(L"app.log");
  ASSERT_EQ(9, WriteFile(path, "old line\n", 9));
  ASSERT_TRUE(LogTo(LOG_TO_FILE, path));
  LogMessage("a.cc", 1, LOG_INFO).stream() << "first";
  int64_t size = 0;
  ASSERT_TRUE(GetFileSize(path, &size));
  ASSERT_EQ(7, File(path, File::FLAG_OPEN | File::FLAG_WRITE)
                   .Write(size, "theirs\n", 7));
  ASSERT_TRUE(LogTo(LOG_NONE, PathOf(L"ignored.log"), DELETE_OLD_LOG_FILE));
  LogMessage("a.cc", 2, LOG_INFO).stream() << "not to file";
  ASSERT_TRUE(LogTo(LOG_TO_FILE, path));
  LogMessage("a.cc", 3, LOG_WARNING).stream() << "third";
  EXPECT_EQ("old line\n[INFO:a.cc(1)] first\ntheirs\n[WARNING:a.cc(3)] third\n",
            ReadWholeFile(path));
  ASSERT_TRUE(LogTo(LOG_TO_FILE, path, DELETE_OLD_LOG_FILE));
  EXPECT_EQ("", ReadWholeFile(path));
  LogMessage("a.cc", 4, LOG_INFO).stream() << "fourth";
  ASSERT_TRUE(LogTo(LOG_TO_FILE, PathOf(L"second.log")));
  LogMessage("a.cc", 5, LOG_INFO).stream() << "fifth";
  EXPECT_EQ("[INFO:a.cc(4)] fourth\n", ReadWholeFile(path));
  EXPECT_EQ("[INFO:a.cc(5)] fifth\n", ReadWholeFile(PathOf(L"second.log")));
}

// Processes that log to one file at once lose no line and split none, as an
// installer's front end and backend do.
TEST_F(LoggingTest, ProcessesSharingAFileLoseNoLine) {
  constexpr int kWriters = 3;
  constexpr int kLines = 5000;
  const FilePath path = PathOf(L"shared.log");
  const string16 event_name = L"Local\\" + dir_.path().BaseName().value();
  const win::ScopedHandle start(
      ::CreateEventW(nullptr, TRUE, FALSE, event_name.c_str()));
  ASSERT_TRUE(start.IsValid());
  ASSERT_NE(static_cast<DWORD>(ERROR_ALREADY_EXISTS), ::GetLastError());
  FilePath child;
  ASSERT_TRUE(PathService::Get(DIR_EXE, &child));
  child = child.Append(L"log_writer_test_child.exe");
  std::vector<Process> writers;
  for (int i = 0; i < kWriters; ++i) {
    writers.push_back(LaunchProcess(
        L"\"" + child.value() + L"\" \"" + path.value() + L"\" " + event_name +
            L" w" + IntToString16(i) + L" " + IntToString16(kLines),
        LaunchOptions()));
    ASSERT_TRUE(writers.back().IsValid());
  }
  ASSERT_TRUE(::SetEvent(start.Get()));
  for (const Process& writer : writers)
    EXPECT_EQ(0u, WaitForTestChildExit(writer.Handle()));

  const std::regex line_format(
      "\\[\\d{4}/\\d{6}:INFO:log_writer_test_child\\.cc\\(\\d+\\)\\] "
      "w(\\d) (\\d+)");
  std::vector<std::vector<int>> seen(kWriters, std::vector<int>(kLines));
  std::istringstream lines(ReadWholeFile(path));
  std::smatch parts;
  int bad_lines = 0;
  for (std::string line; std::getline(lines, line);) {
    int writer = -1;
    int number = -1;
    if (std::regex_match(line, parts, line_format) &&
        StringToInt(parts[1].str(), &writer) && writer < kWriters &&
        StringToInt(parts[2].str(), &number) && number < kLines) {
      ++seen[writer][number];
    } else if (++bad_lines < 5) {
      ADD_FAILURE() << "split line: " << line;
    }
  }
  EXPECT_EQ(0, bad_lines);
  for (int writer = 0; writer < kWriters; ++writer) {
    EXPECT_EQ(kLines, std::count(seen[writer].begin(), seen[writer].end(), 1))
        << "lines of writer " << writer << " lost or repeated";
  }
}

// A writer ended in the middle of its lines, perhaps while it had the turn
// to write, holds up neither the other writers nor this process for good.
TEST_F(LoggingTest, WriterEndedWhileLoggingHoldsNobodyUp) {
  constexpr int kLines = 20000;
  // Far more than the first writer can write before it is ended, however
  // the two are scheduled: it is always ended in the middle.
  constexpr int kEndedWritersLines = 50 * kLines;
  const FilePath path = PathOf(L"shared.log");
  const string16 event_name = L"Local\\" + dir_.path().BaseName().value();
  const win::ScopedHandle start(
      ::CreateEventW(nullptr, TRUE, FALSE, event_name.c_str()));
  ASSERT_TRUE(start.IsValid());
  FilePath child;
  ASSERT_TRUE(PathService::Get(DIR_EXE, &child));
  child = child.Append(L"log_writer_test_child.exe");
  std::vector<Process> writers;
  const struct {
    const wchar_t* tag;
    int lines;
  } kWriters[] = {{L" ended ", kEndedWritersLines}, {L" kept ", kLines}};
  for (const auto& writer : kWriters) {
    writers.push_back(
        LaunchProcess(L"\"" + child.value() + L"\" \"" + path.value() + L"\" " +
                          event_name + writer.tag + IntToString16(writer.lines),
                      LaunchOptions()));
    ASSERT_TRUE(writers.back().IsValid());
  }
  ASSERT_TRUE(::SetEvent(start.Get()));
  // However many lines the other wrote meanwhile, the first writer is in
  // the middle once one of its own is in the file.
  const bool first_wrote = WaitForLineWith(path, "] ended ");
  // Whatever it was doing, it ends while it has the turn, and the other
  // writer, unless it is done, waits for it.
  LogWriterTurn turn;
  HandTurnTo(path, writers[0].Pid(), &turn);
  ASSERT_TRUE(writers[0].Terminate(7, true));
  ASSERT_TRUE(first_wrote);
  EXPECT_EQ(0u, WaitForTestChildExit(writers[1].Handle()));
  writers[1].Terminate(1, true);
  turn.Close();
  ASSERT_TRUE(LogTo(LOG_TO_FILE, path));
  LOG(INFO) << "after";

  std::istringstream lines(ReadWholeFile(path));
  int kept = 0;
  int ended = 0;
  std::string last;
  for (std::string line; std::getline(lines, line); last = line) {
    if (line.find("] kept ") != std::string::npos)
      ++kept;
    else if (line.find("] ended ") != std::string::npos)
      ++ended;
    else if (line.find("] after") == std::string::npos)
      ADD_FAILURE() << "split line: " << line;
  }
  EXPECT_EQ(kLines, kept);
  EXPECT_LT(0, ended);
  EXPECT_NE(std::string::npos, last.find("] after"));
}

// An unopenable path falls back to "debug.log" in the current directory;
// when that fails too, every later line tries again.
TEST_F(LoggingTest, UnopenablePathFallsBackToCurrentDirectory) {
  const FilePath fallback = PathOf(L"debug.log");
  ASSERT_TRUE(CreateDirectory(fallback));
  EXPECT_FALSE(LogTo(LOG_TO_FILE, PathOf(L"missing\\app.log")));
  EXPECT_FALSE(InitializeLogFileHandle());
  LogMessage("a.cc", 1, LOG_INFO).stream() << "lost";
  ASSERT_TRUE(::RemoveDirectoryW(fallback.value().c_str()));
  LogMessage("a.cc", 2, LOG_INFO).stream() << "found";
  EXPECT_EQ("[INFO:a.cc(2)] found\n", ReadWholeFile(fallback));
  EXPECT_EQ("<missing>", ReadWholeFile(PathOf(L"missing\\app.log")));
}

// A passing check evaluates its condition once and its stream never; values
// of mixed signedness compare as numbers. A failing one stops the process.
TEST(LoggingDeathTest, Checks) {
  int count = 0;
  CHECK(CountEvaluation(&count) == 1) << CountEvaluation(&count);
  CHECK_LT(-1, 1u) << CountEvaluation(&count);
  EXPECT_EQ(1, count);
  EXPECT_DEATH(CHECK_LT(1u, -1) << "tail", "1u < -1 \\(1 vs\\. -1\\)tail");
}

TEST(LoggingDeathTest, FatalLineIsWrittenThenBreaksIntoDebugger) {
  FilePath temp;
  ASSERT_TRUE(GetTempDir(&temp));
  // Fixed, since the dying child works it out on its own.
  const FilePath path = temp.Append(L"logging_unittest_fatal.log");
  DeleteFile(path, false);
  EXPECT_EXIT(
      {
        CommandLine::Init();
        LoggingSettings settings;
        settings.log_file = path.value().c_str();
        InitLogging(settings);
        SetLogItems(false, false, false, false);
        LOG(FATAL) << "fatal line";
        ::ExitProcess(0);
      },
      testing::ExitedWithCode(static_cast<int>(EXCEPTION_BREAKPOINT)),
      "\\[FATAL:logging_unittest\\.cc\\(\\d+\\)\\] fatal line\n");
  EXPECT_NE(std::string::npos, ReadWholeFile(path).find("] fatal line\n"));
  DeleteFile(path, false);
}

// The switches "v" and "vmodule", read by InitLogging at most twice in a
// process, so in a child process.
TEST(LoggingDeathTest, SwitchesSetVerboseLevels) {
  EXPECT_EXIT(
      {
        CommandLine::Init();
        CommandLine* command_line = CommandLine::ForCurrentProcess();
        command_line->AppendSwitchASCII("vmodule", "foo=3,bar/*=4");
        LoggingSettings settings;
        settings.logging_dest = LOG_TO_SYSTEM_DEBUG_LOG;
        InitLogging(settings);
        fprintf(stderr, "levels %d %d %d|", GetVlogLevel("x\\foo.cc", 9),
                GetVlogLevel("bar\\x.cc", 10), GetVlogLevel("baz.cc", 7));
        command_line->AppendSwitchASCII("v", "2");
        InitLogging(settings);
        fprintf(stderr, "levels %d %d %d %d|", GetVlogLevel("x\\foo.cc", 9),
                GetVlogLevel("baz.cc", 7), ShouldCreateLogMessage(-2),
                ShouldCreateLogMessage(-3));
        fflush(stderr);
        InitLogging(settings);  // A third time breaks.
        ::ExitProcess(0);
      },
      testing::ExitedWithCode(static_cast<int>(EXCEPTION_BREAKPOINT)),
      "levels 3 4 0\\|levels 3 2 1 0\\|");
}

}  // namespace
}  // namespace base
