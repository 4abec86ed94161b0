#ifndef BASE_DEBUG_DEBUGGER_H_
#define BASE_DEBUG_DEBUGGER_H_

namespace base {

// Stops the process at a programming error by raising a breakpoint
// exception. A debugger that resumes the exception returns control to the
// caller; without one, the process's unhandled-exception handling (the crash
// reporter) takes over and the process ends.
void BreakDebugger();

}  // namespace base

#endif  // BASE_DEBUG_DEBUGGER_H_
