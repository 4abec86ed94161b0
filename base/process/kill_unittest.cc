#include "base/process/kill.h"

#include <windows.h>

#include <stdint.h>

#include <string>

#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/test/process_test_child_command.h"
#include "base/win/scoped_handle.h"
#include "gtest/gtest.h"

namespace base {

namespace {

// The status of a child that exited with |exit_code|; |read_code| gets the
// code read back.
ProcessExitStatus StatusOfChildExitingWith(DWORD exit_code,
                                           int32_t* read_code) {
  LaunchOptions options;
  options.wait = true;
  Process process = LaunchProcess(
      MakeTestChildCommandLine({"exit", std::to_string(exit_code)}), options);
  EXPECT_TRUE(process.IsValid());
  return GetProcessExitStatus(process.Handle(), read_code);
}

}  // namespace

TEST(GetProcessExitStatusTest, ExitCodesMapToHowTheProcessEnded) {
  struct {
    DWORD exit_code;
    ProcessExitStatus status;
  } const cases[] = {
      {0, PROCESS_EXIT_STATUS_NORMAL_TERMINATION},
      {1, PROCESS_EXIT_STATUS_PROCESS_WAS_KILLED},
      {0x40010004, PROCESS_EXIT_STATUS_PROCESS_WAS_KILLED},
      {0xC000013A, PROCESS_EXIT_STATUS_PROCESS_WAS_KILLED},
      {0xC0000354, PROCESS_EXIT_STATUS_PROCESS_WAS_KILLED},
      {2, PROCESS_EXIT_STATUS_PROCESS_CRASHED},
      {3, PROCESS_EXIT_STATUS_PROCESS_CRASHED},
      {0xC0000005, PROCESS_EXIT_STATUS_PROCESS_CRASHED},
      {0xFFFFFFFF, PROCESS_EXIT_STATUS_PROCESS_CRASHED},
  };
  for (const auto& test_case : cases) {
    int32_t exit_code = 12345;
    EXPECT_EQ(test_case.status,
              StatusOfChildExitingWith(test_case.exit_code, &exit_code))
        << std::hex << test_case.exit_code;
    EXPECT_EQ(static_cast<int32_t>(test_case.exit_code), exit_code);
  }
  // The exit code may be left out.
  EXPECT_EQ(PROCESS_EXIT_STATUS_PROCESS_CRASHED,
            StatusOfChildExitingWith(3, nullptr));
}

TEST(GetProcessExitStatusTest, RunningChildAndChildExitingWithStillActive) {
  Process process =
      LaunchProcess(MakeTestChildCommandLine({"sleep"}), LaunchOptions());
  ASSERT_TRUE(process.IsValid());
  int32_t exit_code = 0;
  EXPECT_EQ(PROCESS_EXIT_STATUS_STILL_RUNNING,
            GetProcessExitStatus(process.Handle(), &exit_code));
  EXPECT_EQ(static_cast<int32_t>(WAIT_TIMEOUT), exit_code);
  ASSERT_TRUE(process.Terminate(1, true));

  // A process that chose STILL_ACTIVE as its exit code has ended all the
  // same, but its code says nothing about how.
  exit_code = 12345;
  EXPECT_EQ(PROCESS_EXIT_STATUS_ABNORMAL_TERMINATION,
            StatusOfChildExitingWith(STILL_ACTIVE, &exit_code));
  EXPECT_EQ(12345, exit_code);
}

TEST(GetProcessExitStatusTest, UnreadableExitCodeIsAnAbnormalEnd) {
  // An event handle has no exit code to read; that must not pass for a
  // clean exit.
  win::ScopedHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(event.IsValid());
  int32_t exit_code = 12345;
  EXPECT_EQ(PROCESS_EXIT_STATUS_ABNORMAL_TERMINATION,
            GetProcessExitStatus(event.Get(), &exit_code));
  EXPECT_EQ(12345, exit_code);
  EXPECT_EQ(PROCESS_EXIT_STATUS_ABNORMAL_TERMINATION,
            GetProcessExitStatus(nullptr, nullptr));
}

}  // namespace base
