#ifndef BASE_DEBUG_PROFILER_H_
#define BASE_DEBUG_PROFILER_H_

namespace base {
namespace debug {

// Whether this module's loaded image was rewritten by an instrumenting
// tool: it then has sections named ".thunks" and ".instrumented". Examined
// once, then answered from memory.
bool IsBinaryInstrumented();

}  // namespace debug
}  // namespace base

#endif  // BASE_DEBUG_PROFILER_H_
