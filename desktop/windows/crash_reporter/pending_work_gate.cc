#include "desktop/windows/crash_reporter/pending_work_gate.h"

#include "base/lazy_instance.h"
#include "base/logging.h"

namespace vexlo {
namespace crash_reporter {

namespace {

// Lives until the process ends: uploads on pool threads may still leave it
// while the process exits.
base::LazyInstance::Leaky<PendingWorkGate> g_gate;

}  // namespace

// static
PendingWorkGate* PendingWorkGate::Get() {
  return &g_gate.Get();
}

PendingWorkGate::PendingWorkGate()
    : event_(::CreateEventW(nullptr, TRUE, TRUE, nullptr)) {
  if (!event_.IsValid())
    PLOG(ERROR) << "Creating the pending-work event failed";
}

PendingWorkGate::~PendingWorkGate() = default;

void PendingWorkGate::Enter() {
  base::AutoLock lock(lock_);
  // Closed again as work arrives, so that a waiter never sees the gate open
  // while a unit is held.
  if (count_++ == 0)
    ::ResetEvent(event_.Get());
}

void PendingWorkGate::Leave() {
  base::AutoLock lock(lock_);
  DCHECK_GT(count_, 0);
  if (--count_ == 0)
    ::SetEvent(event_.Get());
}

bool PendingWorkGate::HoldWhileRunning(HANDLE process) {
  Enter();
  HANDLE wait = nullptr;
  if (::RegisterWaitForSingleObject(
          &wait, process, &OnProcessEnded, this, INFINITE,
          WT_EXECUTEONLYONCE | WT_EXECUTEINWAITTHREAD)) {
    return true;
  }
  PLOG(WARNING) << "Watching the parent process failed";
  Leave();
  return false;
}

bool PendingWorkGate::Wait(DWORD milliseconds) {
  return ::WaitForSingleObject(event_.Get(), milliseconds) == WAIT_OBJECT_0;
}

// static
void CALLBACK PendingWorkGate::OnProcessEnded(void* gate, BOOLEAN) {
  static_cast<PendingWorkGate*>(gate)->Leave();
}

}  // namespace crash_reporter
}  // namespace vexlo
