#include "base/win/owned_process_information.h"

#include <windows.h>

#include "gtest/gtest.h"

namespace base {
namespace win {

namespace {

bool IsOpen(HANDLE handle) {
  DWORD flags = 0;
  return ::GetHandleInformation(handle, &flags) != FALSE;
}

// A PROCESS_INFORMATION with fresh handles to this process and thread.
PROCESS_INFORMATION DuplicateOwnHandles() {
  PROCESS_INFORMATION info = {};
  EXPECT_TRUE(::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentProcess(),
                                ::GetCurrentProcess(), &info.hProcess, 0, FALSE,
                                DUPLICATE_SAME_ACCESS));
  EXPECT_TRUE(::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentThread(),
                                ::GetCurrentProcess(), &info.hThread, 0, FALSE,
                                DUPLICATE_SAME_ACCESS));
  info.dwProcessId = ::GetCurrentProcessId();
  info.dwThreadId = ::GetCurrentThreadId();
  return info;
}

}  // namespace

TEST(OwnedProcessInformationTest, SetCloseAndRelease) {
  OwnedProcessInformation owned;
  EXPECT_EQ(nullptr, owned.process_handle());
  EXPECT_EQ(0u, owned.process_id());

  const PROCESS_INFORMATION first = DuplicateOwnHandles();
  owned.Set(first);
  EXPECT_EQ(first.hProcess, owned.process_handle());
  EXPECT_EQ(first.hThread, owned.thread_handle());
  EXPECT_EQ(first.dwProcessId, owned.process_id());
  EXPECT_EQ(first.dwThreadId, owned.thread_id());

  // Setting again closes both earlier handles.
  const PROCESS_INFORMATION second = DuplicateOwnHandles();
  owned.Set(second);
  EXPECT_FALSE(IsOpen(first.hProcess));
  EXPECT_FALSE(IsOpen(first.hThread));

  // Releasing hands over the process handle only.
  HANDLE released = owned.ReleaseProcessHandle();
  EXPECT_EQ(second.hProcess, released);
  EXPECT_EQ(nullptr, owned.process_handle());
  EXPECT_EQ(0u, owned.process_id());
  EXPECT_EQ(second.dwThreadId, owned.thread_id());

  owned.Close();
  EXPECT_TRUE(IsOpen(released));
  EXPECT_FALSE(IsOpen(second.hThread));
  EXPECT_EQ(nullptr, owned.thread_handle());
  EXPECT_EQ(0u, owned.thread_id());
  ::CloseHandle(released);
}

TEST(OwnedProcessInformationTest, DestructorClosesBothHandles) {
  const PROCESS_INFORMATION info = DuplicateOwnHandles();
  {
    OwnedProcessInformation owned;
    owned.Set(info);
  }
  EXPECT_FALSE(IsOpen(info.hProcess));
  EXPECT_FALSE(IsOpen(info.hThread));
}

}  // namespace win
}  // namespace base
