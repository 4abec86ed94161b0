#include "base/process/process.h"

#include <windows.h>

#include <utility>

#include "base/process/kill.h"
#include "base/process/launch.h"
#include "base/test/process_test_child_command.h"
#include "gtest/gtest.h"

namespace base {

namespace {

Process LaunchSleepingChild() {
  return LaunchProcess(MakeTestChildCommandLine({"sleep"}), LaunchOptions());
}

}  // namespace

TEST(ProcessTest, ValidityOfEmptyCurrentAndOwnedProcesses) {
  EXPECT_FALSE(Process().IsValid());

  Process current = Process::Current();
  EXPECT_TRUE(current.IsValid());
  EXPECT_EQ(::GetCurrentProcess(), current.Handle());
  EXPECT_EQ(::GetCurrentProcessId(), current.Pid());

  Process child = LaunchSleepingChild();
  ASSERT_TRUE(child.IsValid());
  EXPECT_NE(0u, child.Pid());
  EXPECT_NE(::GetCurrentProcessId(), child.Pid());
  EXPECT_TRUE(child.Terminate(1, true));
  child.Close();
  EXPECT_FALSE(child.IsValid());
  EXPECT_EQ(nullptr, child.Handle());
}

TEST(ProcessTest, MovesHandOverTheHandleAndTheCurrentFlag) {
  Process child = LaunchSleepingChild();
  ASSERT_TRUE(child.IsValid());
  const ProcessHandle handle = child.Handle();
  const ProcessId pid = child.Pid();

  Process moved(std::move(child));
  EXPECT_FALSE(child.IsValid());
  EXPECT_EQ(handle, moved.Handle());

  // Assignment closes what the target held and keeps the last error.
  Process target = Process::Current();
  ::SetLastError(ERROR_FILE_NOT_FOUND);
  target = std::move(moved);
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), ::GetLastError());
  EXPECT_FALSE(moved.IsValid());
  EXPECT_EQ(pid, target.Pid());

  Process current = Process::Current();
  Process other = LaunchSleepingChild();
  ASSERT_TRUE(other.IsValid());
  const ProcessHandle other_handle = other.Handle();
  ASSERT_TRUE(other.Terminate(1, true));
  other = std::move(current);
  EXPECT_FALSE(current.IsValid());
  EXPECT_EQ(::GetCurrentProcess(), other.Handle());
  // The child's handle was closed by the assignment.
  DWORD flags = 0;
  EXPECT_FALSE(::GetHandleInformation(other_handle, &flags));

  EXPECT_TRUE(target.Terminate(1, true));
}

TEST(ProcessTest, TerminateEndsTheProcessWithTheGivenCode) {
  Process child = LaunchSleepingChild();
  ASSERT_TRUE(child.IsValid());
  ASSERT_TRUE(child.Terminate(0xC000013A, true));
  // With the wait, the process is gone by the time Terminate returns.
  EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0),
            ::WaitForSingleObject(child.Handle(), 0));
  int32_t exit_code = 0;
  EXPECT_EQ(PROCESS_EXIT_STATUS_PROCESS_WAS_KILLED,
            GetProcessExitStatus(child.Handle(), &exit_code));
  EXPECT_EQ(static_cast<int32_t>(0xC000013A), exit_code);

  // Without a wait the process still ends.
  Process other = LaunchSleepingChild();
  ASSERT_TRUE(other.IsValid());
  ASSERT_TRUE(other.Terminate(4, false));
  EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0),
            ::WaitForSingleObject(other.Handle(), INFINITE));
  EXPECT_EQ(PROCESS_EXIT_STATUS_PROCESS_CRASHED,
            GetProcessExitStatus(other.Handle(), &exit_code));
  EXPECT_EQ(4, exit_code);

  EXPECT_FALSE(Process().Terminate(1, false));
}

// The caller's pseudo handle (which has the value of INVALID_HANDLE_VALUE)
// is no handle to own; Current stands for the calling process.
TEST(ProcessDeathTest, PseudoHandleOfTheCallerIsRefused) {
  EXPECT_EXIT(Process process(::GetCurrentProcess()),
              testing::ExitedWithCode(static_cast<int>(EXCEPTION_BREAKPOINT)),
              "");
}

}  // namespace base
