#ifndef BASE_THREADING_THREAD_LOCAL_STORAGE_H_
#define BASE_THREADING_THREAD_LOCAL_STORAGE_H_

#include <stdint.h>

#include <atomic>

namespace base {

// Thread-local slots that share one operating-system TLS index: each thread
// that uses them gets an array of kThreadLocalStorageSize pointers, and each
// slot may have a destructor that the module's TLS callback runs on the
// slot's value when a thread ends.
class ThreadLocalStorage {
 public:
  typedef void (*TLSDestructorFunc)(void* value);

  // Entries of each thread's array; entry 0 is never handed out, so at most
  // kThreadLocalStorageSize - 1 slots exist per module.
  static constexpr int kThreadLocalStorageSize = 256;

  // A slot meant for static storage: it needs no constructor to run, and is
  // usable once Initialize has run.
  class StaticSlot {
   public:
    constexpr StaticSlot() = default;
    StaticSlot(const StaticSlot&) = delete;
    StaticSlot& operator=(const StaticSlot&) = delete;

    // Takes the next slot number; |destructor| (or null for none) runs on a
    // thread's non-null value when that thread ends. Taking a slot beyond
    // the last entry is fatal.
    void Initialize(TLSDestructorFunc destructor);
    bool initialized() const {
      return initialized_.load(std::memory_order_acquire) != 0;
    }

    // The calling thread's value, null until that thread sets one.
    void* Get() const;
    void Set(void* value);

   private:
    std::atomic<int32_t> initialized_{0};
    int32_t slot_ = 0;
  };
};

}  // namespace base

#endif  // BASE_THREADING_THREAD_LOCAL_STORAGE_H_
