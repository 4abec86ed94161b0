#include "base/synchronization/cancellation_flag.h"

namespace base {

void CancellationFlag::Set() {
  flag_.store(1, std::memory_order_release);
}

bool CancellationFlag::IsSet() const {
  return flag_.load(std::memory_order_acquire) != 0;
}

}  // namespace base
