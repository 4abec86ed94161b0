#ifndef BASE_SYNCHRONIZATION_CANCELLATION_FLAG_H_
#define BASE_SYNCHRONIZATION_CANCELLATION_FLAG_H_

#include <stdint.h>

#include <atomic>

namespace base {

// A one-way flag that any thread may set and read: once set it stays set.
class CancellationFlag {
 public:
  CancellationFlag() = default;
  CancellationFlag(const CancellationFlag&) = delete;
  CancellationFlag& operator=(const CancellationFlag&) = delete;

  void Set();
  bool IsSet() const;

 private:
  std::atomic<int32_t> flag_{0};
};

}  // namespace base

#endif  // BASE_SYNCHRONIZATION_CANCELLATION_FLAG_H_
