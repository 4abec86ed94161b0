#ifndef BASE_THREADING_THREAD_LOCAL_H_
#define BASE_THREADING_THREAD_LOCAL_H_

#include <stdint.h>

namespace base {

namespace internal {

// One operating-system TLS index per call; running out of indexes is fatal.
uint32_t AllocateThreadLocalIndex();
void FreeThreadLocalIndex(uint32_t index);
void* GetThreadLocalValue(uint32_t index);
// A failure to store is fatal: the index was valid, so the process is broken.
void SetThreadLocalValue(uint32_t index, void* value);

}  // namespace internal

// A pointer with a separate value on each thread, null on a thread that never
// set it. Each instance takes one operating-system TLS index for its whole
// life; the process-wide pointers are created on first use and never freed,
// since the process has few indexes to give. Nothing is destroyed when a
// thread ends: the value is not owned.
template <typename Type>
class ThreadLocalPointer {
 public:
  ThreadLocalPointer() : index_(internal::AllocateThreadLocalIndex()) {}
  ThreadLocalPointer(const ThreadLocalPointer&) = delete;
  ThreadLocalPointer& operator=(const ThreadLocalPointer&) = delete;
  ~ThreadLocalPointer() { internal::FreeThreadLocalIndex(index_); }

  Type* Get() const {
    return static_cast<Type*>(internal::GetThreadLocalValue(index_));
  }

  void Set(Type* value) {
    internal::SetThreadLocalValue(
        index_, const_cast<void*>(static_cast<const void*>(value)));
  }

 private:
  const uint32_t index_;
};

}  // namespace base

#endif  // BASE_THREADING_THREAD_LOCAL_H_
