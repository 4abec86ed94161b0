#include "base/debug/stack_trace.h"

#include <windows.h>

namespace base {

StackTrace::StackTrace() {
  // No frame is skipped: the first address lies in the code that built this
  // object, which is what a crash dump reader looks for.
  count_ = ::RtlCaptureStackBackTrace(0, kMaxFrames, trace_, nullptr);
}

const void* const* StackTrace::Addresses(size_t* count) const {
  *count = count_;
  return trace_;
}

}  // namespace base
