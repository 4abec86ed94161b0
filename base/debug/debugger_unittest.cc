#include "base/debug/debugger.h"

#include <windows.h>

#include <cstdint>

#include "gtest/gtest.h"

namespace base {
namespace {

LONG g_breakpoints_seen = 0;

// Plays a debugger that resumes after the breakpoint instruction, at which
// the context points or just past it, depending on the system.
LONG CALLBACK ResumeAfterBreakpoint(EXCEPTION_POINTERS* info) {
  if (info->ExceptionRecord->ExceptionCode != EXCEPTION_BREAKPOINT)
    return EXCEPTION_CONTINUE_SEARCH;
  ++g_breakpoints_seen;
  if (*reinterpret_cast<const uint8_t*>(info->ContextRecord->Rip) == 0xCC)
    ++info->ContextRecord->Rip;
  return EXCEPTION_CONTINUE_EXECUTION;
}

// Without a debugger the process ends with the breakpoint's status.
TEST(BreakDebuggerDeathTest, RaisesABreakpoint) {
  g_breakpoints_seen = 0;
  void* handler = ::AddVectoredExceptionHandler(1, &ResumeAfterBreakpoint);
  BreakDebugger();
  BreakDebugger();
  ::RemoveVectoredExceptionHandler(handler);
  EXPECT_EQ(2, g_breakpoints_seen);
  EXPECT_EXIT(BreakDebugger(),
              testing::ExitedWithCode(static_cast<int>(EXCEPTION_BREAKPOINT)),
              "");
}

}  // namespace
}  // namespace base
