#include "base/process/process.h"

#include <string>
#include <utility>

#include "base/process/kill.h"
#include "base/process/launch.h"
#include "base/test/process_test_child_command.h"
#include "gtest/gtest.h"

namespace base {
namespace {

int g_data_in_this_module = 0;

bool IsOpen(HANDLE handle) {
  DWORD flags = 0;
  return ::GetHandleInformation(handle, &flags) != FALSE;
}

TEST(ProcessTest, OwnsTheHandleAcrossMovesAndTerminates) {
  const CommandLine sleep = MakeTestChildCommandLine({"sleep"});
  EXPECT_FALSE(Process().Terminate(1, false));
  Process current = Process::Current();
  EXPECT_EQ(::GetCurrentProcess(), current.Handle());
  EXPECT_EQ(::GetCurrentProcessId(), current.Pid());
  Process child = LaunchProcess(sleep, LaunchOptions());
  const HANDLE handle = child.Handle();
  const ProcessId pid = child.Pid();
  EXPECT_NE(::GetCurrentProcessId(), pid);
  Process moved(std::move(child));
  EXPECT_FALSE(child.IsValid());
  EXPECT_EQ(handle, moved.Handle());
  EXPECT_TRUE(moved.IsValid());

  // Assignment closes what the target held and keeps the last error.
  Process other = LaunchProcess(sleep, LaunchOptions());
  const HANDLE other_handle = other.Handle();
  ASSERT_TRUE(other.Terminate(4, false));
  EXPECT_EQ(4u, WaitForTestChildExit(other_handle));
  ::SetLastError(ERROR_FILE_NOT_FOUND);
  other = std::move(moved);
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), ::GetLastError());
  EXPECT_FALSE(IsOpen(other_handle));
  EXPECT_FALSE(moved.IsValid());
  EXPECT_EQ(pid, other.Pid());
  // With the wait, the process is gone by the time Terminate returns.
  ASSERT_TRUE(other.Terminate(0xC000013A, true));
  EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0),
            ::WaitForSingleObject(other.Handle(), 0));
  other.Close();
  EXPECT_FALSE(other.IsValid());
  other = std::move(current);
  EXPECT_FALSE(current.IsValid());
  EXPECT_EQ(::GetCurrentProcess(), other.Handle());
}

// The caller's pseudo handle is no handle to own; Current stands for it.
TEST(ProcessDeathTest, PseudoHandleOfTheCallerIsRefused) {
  EXPECT_EXIT(Process process(::GetCurrentProcess()),
              testing::ExitedWithCode(static_cast<int>(EXCEPTION_BREAKPOINT)),
              "");
}

TEST(ProcessHandleTest, ModuleFromAddressAndProcIdOfHandles) {
  HMODULE exe = ::GetModuleHandleW(nullptr);
  HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
  int on_stack = 0;
  const struct {
    const void* address;
    HMODULE module;
  } kAddresses[] = {
      {reinterpret_cast<const void*>(&GetModuleFromAddress), exe},
      {&g_data_in_this_module, exe},
      {reinterpret_cast<const void*>(::GetProcAddress(kernel32, "Sleep")),
       kernel32},
      {&on_stack, nullptr},
      {reinterpret_cast<const void*>(16), nullptr},
  };
  for (const auto& address : kAddresses)
    EXPECT_EQ(address.module, GetModuleFromAddress(address.address));
  win::ScopedHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  EXPECT_EQ(0u, GetProcId(event.Get()));
}

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
