#ifndef BASE_DEBUG_STACK_TRACE_H_
#define BASE_DEBUG_STACK_TRACE_H_

#include <stddef.h>

namespace base {

// The return addresses of the calling thread at the moment of construction,
// innermost first, for crash dumps: the addresses are kept, never symbolised.
class StackTrace {
 public:
  static constexpr size_t kMaxFrames = 62;

  StackTrace();

  // The captured addresses; |*count| receives how many there are.
  const void* const* Addresses(size_t* count) const;

 private:
  void* trace_[kMaxFrames];
  size_t count_;
};

}  // namespace base

#endif  // BASE_DEBUG_STACK_TRACE_H_
