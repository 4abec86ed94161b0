#include "base/process/process.h"

#include <utility>

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

}  // namespace
}  // namespace base
