#ifndef BASE_MEMORY_SINGLETON_H_
#define BASE_MEMORY_SINGLETON_H_

#include <atomic>
#include <cstdint>

#include "base/lazy_instance.h"

// A process-wide object allocated on the heap on first use, through the
// lazy-instance protocol (base/lazy_instance.h):
//   class Registry {
//    public:
//     static Registry* GetInstance() { return base::Singleton<Registry>::get();
//     }
//    private:
//     friend struct base::DefaultSingletonTraits<Registry>;
//     Registry();
//     ~Registry();
//   };
// With the default traits the at-exit manager deletes the instance and
// resets the state word, so that a later get() builds a new one; with
// LeakySingletonTraits the instance is never destroyed.

namespace base {

template <typename Type>
struct DefaultSingletonTraits {
  static Type* New() { return new Type(); }
  static void Delete(Type* instance) { delete instance; }
  static constexpr bool kRegisterAtExit = true;
};

template <typename Type>
struct LeakySingletonTraits : DefaultSingletonTraits<Type> {
  static constexpr bool kRegisterAtExit = false;
};

template <typename Type, typename Traits = DefaultSingletonTraits<Type>>
class Singleton {
 public:
  Singleton() = delete;

  static Type* get() {
    uintptr_t value = state_.load(std::memory_order_acquire);
    if (value > LazyInstance::kBeingCreated)
      return reinterpret_cast<Type*>(value);
    if (LazyInstance::NeedsInstance(&state_)) {
      Type* instance = Traits::New();
      LazyInstance::CompleteInstance(
          &state_, instance, &state_,
          Traits::kRegisterAtExit ? &DestroyInstance : nullptr);
      return instance;
    }
    return reinterpret_cast<Type*>(state_.load(std::memory_order_acquire));
  }

 private:
  static void DestroyInstance(void* state_word) {
    LazyInstance::StateWord* state =
        static_cast<LazyInstance::StateWord*>(state_word);
    Type* instance =
        reinterpret_cast<Type*>(state->load(std::memory_order_acquire));
    if (instance)
      Traits::Delete(instance);
    state->store(0, std::memory_order_release);
  }

  static inline LazyInstance::StateWord state_{0};
};

}  // namespace base

#endif  // BASE_MEMORY_SINGLETON_H_
