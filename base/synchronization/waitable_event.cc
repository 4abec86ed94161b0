#include "base/synchronization/waitable_event.h"

#include <windows.h>

#include "base/logging.h"
#include "base/synchronization/wait_milliseconds.h"

namespace base {

WaitableEvent::WaitableEvent(bool manual_reset, bool initially_signaled)
    : handle_(
          CreateEventW(nullptr, manual_reset, initially_signaled, nullptr)) {
  CHECK(handle_.IsValid()) << "CreateEventW failed: " << GetLastError();
}

WaitableEvent::~WaitableEvent() = default;

void WaitableEvent::Reset() {
  ResetEvent(handle_.Get());
}

void WaitableEvent::Signal() {
  SetEvent(handle_.Get());
}

void WaitableEvent::Wait() {
  const DWORD result = WaitForSingleObject(handle_.Get(), INFINITE);
  DCHECK_EQ(result, static_cast<DWORD>(WAIT_OBJECT_0));
}

bool WaitableEvent::TimedWait(const TimeDelta& max_time) {
  return WaitForSingleObject(handle_.Get(), internal::TimedWaitMilliseconds(
                                                max_time)) == WAIT_OBJECT_0;
}

}  // namespace base
