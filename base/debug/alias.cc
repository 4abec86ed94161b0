#include "base/debug/alias.h"

namespace base {

// Out of line, and with an empty asm that takes the pointer and clobbers
// memory, so that no optimisation can prove the pointee unused.
__attribute__((noinline)) void Alias(const void* var) {
  asm volatile("" : : "r"(var) : "memory");
}

}  // namespace base
