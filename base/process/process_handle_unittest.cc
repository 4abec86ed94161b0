#include "base/process/process_handle.h"

#include <windows.h>

#include "base/win/scoped_handle.h"
#include "gtest/gtest.h"

namespace base {

namespace {

int g_data_in_this_module = 0;

}  // namespace

TEST(ProcessHandleTest, ModuleFromAddressFindsTheContainingModule) {
  HMODULE exe = ::GetModuleHandleW(nullptr);
  EXPECT_EQ(exe, GetModuleFromAddress(
                     reinterpret_cast<const void*>(&GetModuleFromAddress)));
  EXPECT_EQ(exe, GetModuleFromAddress(&g_data_in_this_module));

  HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
  ASSERT_NE(nullptr, kernel32);
  EXPECT_EQ(kernel32, GetModuleFromAddress(reinterpret_cast<const void*>(
                          ::GetProcAddress(kernel32, "GetModuleHandleExA"))));

  // The heap, the stack and the first page belong to no module.
  int on_stack = 0;
  int* on_heap = new int(0);
  EXPECT_EQ(nullptr, GetModuleFromAddress(on_heap));
  EXPECT_EQ(nullptr, GetModuleFromAddress(&on_stack));
  delete on_heap;
  EXPECT_EQ(nullptr, GetModuleFromAddress(reinterpret_cast<const void*>(16)));
}

TEST(ProcessHandleTest, ProcIdOfHandles) {
  EXPECT_EQ(::GetCurrentProcessId(), GetProcId(::GetCurrentProcess()));
  win::ScopedHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(event.IsValid());
  EXPECT_EQ(0u, GetProcId(event.Get()));
}

}  // namespace base
