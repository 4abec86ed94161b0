#include "base/debug/debugger.h"

#include <intrin.h>

namespace base {

// Kept out of line so that the breakpoint address names this function in
// crash reports.
__attribute__((noinline)) void BreakDebugger() {
  __debugbreak();
}

}  // namespace base
