#include "base/process/kill.h"

#include <string>

#include "base/process/launch.h"
#include "base/test/process_test_child_command.h"
#include "gtest/gtest.h"

namespace base {
namespace {

TEST(GetProcessExitStatusTest, ExitCodesMapToHowTheProcessEnded) {
  constexpr int32_t kUntouched = 12345;
  const struct {
    DWORD exit_code;
    ProcessExitStatus status;
  } kCases[] = {
      {0, PROCESS_EXIT_STATUS_NORMAL_TERMINATION},
      {1, PROCESS_EXIT_STATUS_PROCESS_WAS_KILLED},
      {0x40010004, PROCESS_EXIT_STATUS_PROCESS_WAS_KILLED},
      {0xC000013A, PROCESS_EXIT_STATUS_PROCESS_WAS_KILLED},
      {0xC0000354, PROCESS_EXIT_STATUS_PROCESS_WAS_KILLED},
      {2, PROCESS_EXIT_STATUS_PROCESS_CRASHED},
      {0xC0000005, PROCESS_EXIT_STATUS_PROCESS_CRASHED},
      // Ended all the same, but the code says nothing about how.
      {STILL_ACTIVE, PROCESS_EXIT_STATUS_ABNORMAL_TERMINATION},
  };
  for (const auto& test_case : kCases) {
    Process process = LaunchProcess(
        MakeTestChildCommandLine({"exit", std::to_string(test_case.exit_code)}),
        LaunchOptions());
    ASSERT_EQ(test_case.exit_code, WaitForTestChildExit(process.Handle()));
    int32_t exit_code = kUntouched;
    EXPECT_EQ(test_case.status,
              GetProcessExitStatus(process.Handle(), &exit_code));
    EXPECT_EQ(test_case.exit_code == STILL_ACTIVE
                  ? kUntouched
                  : static_cast<int32_t>(test_case.exit_code),
              exit_code);
  }
  // A running child, and handles with no exit code, which must not pass for
  // a clean exit.
  Process sleeping =
      LaunchProcess(MakeTestChildCommandLine({"sleep"}), LaunchOptions());
  int32_t exit_code = 0;
  EXPECT_EQ(PROCESS_EXIT_STATUS_STILL_RUNNING,
            GetProcessExitStatus(sleeping.Handle(), &exit_code));
  EXPECT_EQ(static_cast<int32_t>(WAIT_TIMEOUT), exit_code);
  EXPECT_TRUE(sleeping.Terminate(1, true));
  win::ScopedHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  exit_code = kUntouched;
  EXPECT_EQ(PROCESS_EXIT_STATUS_ABNORMAL_TERMINATION,
            GetProcessExitStatus(event.Get(), &exit_code));
  EXPECT_EQ(kUntouched, exit_code);
  EXPECT_EQ(PROCESS_EXIT_STATUS_ABNORMAL_TERMINATION,
            GetProcessExitStatus(nullptr, nullptr));
}

}  // namespace
}  // namespace base
