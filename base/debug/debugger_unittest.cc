#include "base/debug/debugger.h"

#include <windows.h>

#include <cstdint>

#include "gtest/gtest.h"

namespace base {
namespace {

LONG g_breakpoints_seen = 0;

// Plays a debugger that resumes: counts breakpoint exceptions and continues
// after the breakpoint instruction.
LONG CALLBACK ResumeAfterBreakpoint(EXCEPTION_POINTERS* info) {
  if (info->ExceptionRecord->ExceptionCode != EXCEPTION_BREAKPOINT)
    return EXCEPTION_CONTINUE_SEARCH;
  ++g_breakpoints_seen;
  // Depending on the system the context points at the int3 (0xCC) or just
  // past it.
  if (*reinterpret_cast<const uint8_t*>(info->ContextRecord->Rip) == 0xCC)
    ++info->ContextRecord->Rip;
  return EXCEPTION_CONTINUE_EXECUTION;
}

TEST(BreakDebuggerTest, RaisesBreakpointAndReturnsWhenResumed) {
  g_breakpoints_seen = 0;
  void* handler = ::AddVectoredExceptionHandler(1, &ResumeAfterBreakpoint);
  ASSERT_NE(nullptr, handler);
  BreakDebugger();
  BreakDebugger();
  ::RemoveVectoredExceptionHandler(handler);
  EXPECT_EQ(2, g_breakpoints_seen);
}

TEST(BreakDebuggerDeathTest, EndsProcessWithoutDebugger) {
  EXPECT_EXIT(BreakDebugger(),
              testing::ExitedWithCode(static_cast<int>(EXCEPTION_BREAKPOINT)),
              "");
}

}  // namespace
}  // namespace base
