#include "base/debug/stack_trace.h"

#include <windows.h>

#include "gtest/gtest.h"

namespace base {
namespace {

HMODULE ModuleOf(const void* address) {
  HMODULE module = nullptr;
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       static_cast<LPCWSTR>(address), &module);
  return module;
}

__attribute__((noinline)) size_t CaptureAtDepth(int depth) {
  if (depth > 0) {
    const size_t count = CaptureAtDepth(depth - 1);
    // Work after the call keeps the recursion from becoming a loop.
    asm volatile("" : : : "memory");
    return count;
  }
  StackTrace trace;
  size_t count = 0;
  trace.Addresses(&count);
  return count;
}

TEST(StackTraceTest, CapturesTheCallersFramesUpToTheLimit) {
  StackTrace trace;
  size_t count = 0;
  const void* const* addresses = trace.Addresses(&count);
  ASSERT_GE(count, 2u);
  ASSERT_LE(count, StackTrace::kMaxFrames);
  // The innermost frames are this test's code, in this executable.
  EXPECT_EQ(::GetModuleHandleW(nullptr), ModuleOf(addresses[0]));
  EXPECT_EQ(::GetModuleHandleW(nullptr), ModuleOf(addresses[1]));

  const size_t shallow = CaptureAtDepth(0);
  EXPECT_EQ(shallow + 10, CaptureAtDepth(10));
  EXPECT_EQ(StackTrace::kMaxFrames, CaptureAtDepth(100));
}

}  // namespace
}  // namespace base
