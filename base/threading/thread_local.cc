#include "base/threading/thread_local.h"

#include <windows.h>

#include "base/logging.h"

namespace base {
namespace internal {

uint32_t AllocateThreadLocalIndex() {
  const DWORD index = TlsAlloc();
  CHECK_NE(index, TLS_OUT_OF_INDEXES) << "No TLS index left.";
  return index;
}

void FreeThreadLocalIndex(uint32_t index) {
  TlsFree(index);
}

void* GetThreadLocalValue(uint32_t index) {
  return TlsGetValue(index);
}

void SetThreadLocalValue(uint32_t index, void* value) {
  if (!TlsSetValue(index, value))
    LOG(FATAL) << "Failed to TlsSetValue().";
}

}  // namespace internal
}  // namespace base
