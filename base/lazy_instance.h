#ifndef BASE_LAZY_INSTANCE_H_
#define BASE_LAZY_INSTANCE_H_

#include <atomic>
#include <cstdint>
#include <new>

// Process-wide objects are created on first use, exactly once, without a
// lock. Each has a pointer-sized state word, starting at 0:
//   0                   not created
//   1                   being created by some thread
//   any other value     the address of the finished instance
// The first caller moves the word from 0 to 1 and builds the instance; the
// others yield until the address is published. After creation, reaching the
// instance costs one read of the word.
//
// Instances in static storage beside their word:
//   base::LazyInstance::Leaky<base::Lock> g_lock;   // never destroyed
//   base::LazyInstance::DestroyedAtExit<Table> g_table;
//   g_lock.Get().Acquire();
// DestroyedAtExit registers the instance's destruction with the at-exit
// manager, which resets the word so that a later use builds it again. Both
// are meant for variables of static storage duration, which they leave
// constant-initialized.
//
// Heap-allocated singletons follow the same protocol: base/memory/singleton.h.

namespace base {

class LazyInstance {
 public:
  using StateWord = std::atomic<uintptr_t>;
  using DestructorFunction = void (*)(void*);

  // The word's value while a thread builds the instance.
  static constexpr uintptr_t kBeingCreated = 1;

  template <typename Type, bool kDestroyAtExit>
  class StaticInstance;
  template <typename Type>
  using Leaky = StaticInstance<Type, false>;
  template <typename Type>
  using DestroyedAtExit = StaticInstance<Type, true>;

  LazyInstance() = delete;

  // True when the caller has moved |state| from 0 to 1 and must build the
  // instance, then call CompleteInstance. False when the instance exists;
  // if another thread was building it, this returns once it is published.
  static bool NeedsInstance(StateWord* state);

  // Publishes |new_instance| (after the stores that built it) and, when
  // |destructor| is given, registers destructor(|destructor_arg|) with the
  // at-exit manager. The argument is by convention the state word itself,
  // so that the destructor can find the instance and reset the word to 0.
  static void CompleteInstance(StateWord* state,
                               void* new_instance,
                               void* destructor_arg,
                               DestructorFunction destructor);

  // Yields while |state| reads 1, then returns its value: the instance
  // published by the thread that built it.
  static void* WaitForInstance(StateWord* state);
};

template <typename Type, bool kDestroyAtExit>
class LazyInstance::StaticInstance {
 public:
  constexpr StaticInstance() = default;
  StaticInstance(const StaticInstance&) = delete;
  StaticInstance& operator=(const StaticInstance&) = delete;

  Type& Get() { return *Pointer(); }

  Type* Pointer() {
    uintptr_t value = state_.load(std::memory_order_acquire);
    if (value > kBeingCreated)
      return reinterpret_cast<Type*>(value);
    if (NeedsInstance(&state_)) {
      Type* instance = new (storage_) Type();
      CompleteInstance(&state_, instance, &state_,
                       kDestroyAtExit ? &DestroyInstance : nullptr);
      return instance;
    }
    return reinterpret_cast<Type*>(state_.load(std::memory_order_acquire));
  }

 private:
  static void DestroyInstance(void* state_word) {
    StateWord* state = static_cast<StateWord*>(state_word);
    Type* instance =
        reinterpret_cast<Type*>(state->load(std::memory_order_acquire));
    if (!instance)
      return;
    instance->~Type();
    state->store(0, std::memory_order_release);
  }

  StateWord state_{0};
  alignas(Type) unsigned char storage_[sizeof(Type)] = {};
};

}  // namespace base

#endif  // BASE_LAZY_INSTANCE_H_
