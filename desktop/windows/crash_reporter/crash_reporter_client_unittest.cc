// Watched processes that crash on purpose, and what reached the crash
// pipe server of the test process, their reporter.

#include "desktop/windows/crash_reporter/crash_reporter_client.h"

#include <windows.h>

#include <string>
#include <vector>

#include "base/command_line.h"
#include "desktop/windows/crash_reporter/test/crash_server_recorder.h"
#include "desktop/windows/crash_reporter/test/crash_test_child_command.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace crash_reporter {
namespace {

constexpr DWORD kAccessViolation = 0xC0000005;
constexpr DWORD kRaised = 0xE0000001;
constexpr DWORD kBreakpoint = 0x80000003;

class ScopedEnvironmentVariable {
 public:
  ScopedEnvironmentVariable(const wchar_t* name, const std::wstring& value)
      : name_(name) {
    ::SetEnvironmentVariableW(name, value.c_str());
  }
  ~ScopedEnvironmentVariable() { ::SetEnvironmentVariableW(name_, nullptr); }

 private:
  const wchar_t* const name_;
};

// Each way of crashing reaches the reporter once, from the crashing thread,
// with the crash keys of the process, and ends the process with the crash.
TEST(CrashReporterClientTest, EachCrashReachesTheReporterWithTheCrashKeys) {
  const std::wstring kronta(200, L'k');
  ScopedEnvironmentVariable origin(L"VEXLO_CRASH_ORIGIN", L"test-origin");
  ScopedEnvironmentVariable kronta_test(L"VEXLO_CRASH_REPORTER_KRONTA_TEST",
                                        kronta);
  const struct {
    const char* mode;
    DWORD exception_code;
    DWORD exit_code;
    AssertionRecord::Type assertion;
  } kCases[] = {
      {"null", kAccessViolation, kAccessViolation, AssertionRecord::kNone},
      {"thread", kAccessViolation, kAccessViolation, AssertionRecord::kNone},
      {"raise", kRaised, kRaised, AssertionRecord::kNone},
      {"check", kBreakpoint, kBreakpoint, AssertionRecord::kNone},
      {"two-threads", kAccessViolation, kAccessViolation,
       AssertionRecord::kNone},
      {"window-proc", kRaised, 1, AssertionRecord::kNone},
      {"invalid-parameter", 0xC000000D, 1, AssertionRecord::kInvalidParameter},
      {"pure-call", 0xC0000025, 1, AssertionRecord::kPureVirtualCall},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.mode);
    CrashServerRecorder server;
    ASSERT_TRUE(server.Start());
    uint32_t pid = 0;
    EXPECT_EQ(c.exit_code,
              RunCrashTestChild(WatchedCrashTestChild(c.mode), &pid));
    ASSERT_EQ(1u, server.dumps().size());
    const RecordedDump dump = server.dumps()[0];
    EXPECT_EQ(pid, dump.process_id);
    EXPECT_EQ(std::vector<uint32_t>{pid}, server.connected());
    EXPECT_NE(0u, dump.thread_id);
    EXPECT_EQ(c.exception_code, dump.exception_code);
    EXPECT_EQ(c.assertion, dump.assertion.type);
    EXPECT_EQ(97u, dump.key_count);
    EXPECT_EQ(L"installer", dump.keys.at(L"process_type"));
    EXPECT_NE(std::wstring::npos, dump.keys.at(L"version").find(L".1450.0"));
    EXPECT_EQ(L"test-origin", dump.keys.at(L"origin"));
    EXPECT_EQ(kronta, dump.keys.at(L"kronta_test"));
    EXPECT_EQ(0u,
              dump.keys.at(L"modules")
                  .find(L"crash_reporter_test_child.exe:0000000140000000:"));
    EXPECT_FALSE(dump.keys.at(L"ptime").empty());
    EXPECT_FALSE(dump.dump_path_given);
  }
}

// A crash inside the newest handler's own dump callback goes to the older
// handler, here the one connected to the reporter.
TEST(CrashReporterClientTest, ACrashInsideAHandlerReachesTheOlderOne) {
  CrashServerRecorder server;
  ASSERT_TRUE(server.Start());
  EXPECT_EQ(
      kAccessViolation,
      RunCrashTestChild(WatchedCrashTestChild("crash-in-callback"), nullptr));
  ASSERT_EQ(1u, server.dumps().size());
  EXPECT_EQ(kAccessViolation, server.dumps()[0].exception_code);
}

// Without a reporter's pipe the process runs without a handler, and the
// crash goes to the system unreported.
TEST(CrashReporterClientTest, WithoutAListeningReporterNoHandlerIsConnected) {
  EXPECT_EQ(11u, RunCrashTestChild(WatchedCrashTestChild("report"), nullptr));
  // A handler that cannot report a pure call leaves it to the runtime
  // library, which here returns to the caller.
  EXPECT_EQ(255u, RunCrashTestChild(
                      WatchedCrashTestChild("unwatched-pure-call"), nullptr));
  base::CommandLine not_a_number = CrashTestChildCommandLine("report");
  not_a_number.AppendSwitchASCII("crash-reporter-pid", "12x");
  EXPECT_EQ(11u, RunCrashTestChild(not_a_number, nullptr));

  CrashServerRecorder server;
  ASSERT_TRUE(server.Start());
  EXPECT_EQ(10u, RunCrashTestChild(WatchedCrashTestChild("report"), nullptr));
  EXPECT_TRUE(server.WaitForExits(1));
  EXPECT_TRUE(server.dumps().empty());
}

// A started reporter counts once it says its pipe listens; one that ends
// first does not, even when an earlier reporter left the signal set.
TEST(CrashReporterClientTest, LaunchingWaitsForTheReporterToListen) {
  base::CommandLine signalling = CrashTestChildCommandLine("launch");
  signalling.AppendSwitch("signal-init");
  EXPECT_EQ(20u, RunCrashTestChild(signalling, nullptr));
  EXPECT_EQ(21u,
            RunCrashTestChild(CrashTestChildCommandLine("launch"), nullptr));
  EXPECT_EQ(21u, RunCrashTestChild(
                     CrashTestChildCommandLine("launch-after-stale"), nullptr));
}

}  // namespace
}  // namespace crash_reporter
}  // namespace vexlo
