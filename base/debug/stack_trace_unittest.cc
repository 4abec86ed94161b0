#include "base/debug/stack_trace.h"

#include <windows.h>

#include "gtest/gtest.h"

namespace base {
namespace {

__attribute__((noinline)) size_t CaptureAtDepth(int depth) {
  size_t count = 0;
  if (depth == 0) {
    StackTrace().Addresses(&count);
    return count;
  }
  count = CaptureAtDepth(depth - 1);
  // Work after the call keeps the recursion from becoming a loop.
  asm volatile("" : : : "memory");
  return count;
}

// One frame a call, innermost first, up to the limit; the innermost is
// this test's code, in this executable.
TEST(StackTraceTest, CapturesTheCallersFramesUpToTheLimit) {
  size_t count = 0;
  const void* address = StackTrace().Addresses(&count)[0];
  HMODULE module = nullptr;
  ASSERT_TRUE(
      ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                               GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           static_cast<LPCWSTR>(address), &module));
  EXPECT_EQ(::GetModuleHandleW(nullptr), module);
  EXPECT_EQ(CaptureAtDepth(0) + 10, CaptureAtDepth(10));
  EXPECT_EQ(StackTrace::kMaxFrames, CaptureAtDepth(100));
}

}  // namespace
}  // namespace base
