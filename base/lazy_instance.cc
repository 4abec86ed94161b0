#include "base/lazy_instance.h"

#include <windows.h>

#include "base/at_exit.h"

namespace base {

// The address is published with release semantics and read with acquire
// semantics, so that a thread that sees the address also sees the finished
// instance behind it.

// static
bool LazyInstance::NeedsInstance(StateWord* state) {
  uintptr_t expected = 0;
  if (state->compare_exchange_strong(expected, kBeingCreated,
                                     std::memory_order_acquire,
                                     std::memory_order_acquire)) {
    return true;
  }
  if (expected == kBeingCreated)
    WaitForInstance(state);
  return false;
}

// static
void LazyInstance::CompleteInstance(StateWord* state,
                                    void* new_instance,
                                    void* destructor_arg,
                                    DestructorFunction destructor) {
  state->store(reinterpret_cast<uintptr_t>(new_instance),
               std::memory_order_release);
  // A failed creation (null) leaves nothing to destroy; the next use tries
  // again.
  if (destructor && new_instance)
    AtExitManager::RegisterCallback(destructor, destructor_arg);
}

// static
void* LazyInstance::WaitForInstance(StateWord* state) {
  uintptr_t value;
  while ((value = state->load(std::memory_order_acquire)) == kBeingCreated)
    ::Sleep(0);
  return reinterpret_cast<void*>(value);
}

}  // namespace base
