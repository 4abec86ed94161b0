#include "base/memory/ref_counted.h"

namespace base {

bool RefCountedThreadSafeBase::HasOneRef() const {
  return ref_count_.load(std::memory_order_seq_cst) == 1;
}

void RefCountedThreadSafeBase::AddRef() const {
  ref_count_.fetch_add(1, std::memory_order_seq_cst);
}

bool RefCountedThreadSafeBase::Release() const {
  return ref_count_.fetch_sub(1, std::memory_order_seq_cst) == 1;
}

}  // namespace base
