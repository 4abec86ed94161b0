#ifndef BASE_WIN_EXCEPTION_FILTER_HOOK_H_
#define BASE_WIN_EXCEPTION_FILTER_HOOK_H_

#include <windows.h>

#include <stdint.h>

namespace base {
namespace win {

// A process-wide exception filter for exceptions raised inside window
// procedures. It receives the exception information and returns a filter
// verdict (EXCEPTION_EXECUTE_HANDLER, EXCEPTION_CONTINUE_SEARCH or
// EXCEPTION_CONTINUE_EXECUTION). The crash-reporting client installs one once
// it is connected to its reporter process.
using ExceptionFilterHook = int32_t (*)(EXCEPTION_POINTERS* info);

// Installs |hook| (null removes it) and returns the previous one, in one
// atomic exchange.
ExceptionFilterHook SetExceptionFilterHook(ExceptionFilterHook hook);

// The installed hook's verdict on |info|, or EXCEPTION_CONTINUE_SEARCH (0)
// when none is installed. Safe to call from any thread, at any time.
int32_t CallExceptionFilterHook(EXCEPTION_POINTERS* info);

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_EXCEPTION_FILTER_HOOK_H_
