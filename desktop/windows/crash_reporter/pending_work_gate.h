#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_PENDING_WORK_GATE_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_PENDING_WORK_GATE_H_

#include <windows.h>

#include "base/synchronization/lock.h"
#include "base/win/scoped_handle.h"

namespace vexlo {
namespace crash_reporter {

// What keeps the crash reporter alive: the watched process while it runs,
// each crash being handled and each upload in flight hold one unit. The
// gate is open (its event set) while no unit is held.
class PendingWorkGate {
 public:
  // The process-wide gate, made on first use.
  static PendingWorkGate* Get();

  PendingWorkGate();
  PendingWorkGate(const PendingWorkGate&) = delete;
  PendingWorkGate& operator=(const PendingWorkGate&) = delete;
  ~PendingWorkGate();

  // False when the event could not be made.
  bool IsValid() const { return event_.IsValid(); }

  void Enter();
  void Leave();

  // Holds a unit until |process| has ended. False when the wait could not
  // be registered (then no unit is held).
  bool HoldWhileRunning(HANDLE process);

  // Waits until no unit is held, at most |milliseconds|; true when open.
  bool Wait(DWORD milliseconds);

 private:
  static void CALLBACK OnProcessEnded(void* gate, BOOLEAN timed_out);

  base::Lock lock_;
  int count_ = 0;
  base::win::ScopedHandle event_;
};

}  // namespace crash_reporter
}  // namespace vexlo

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_PENDING_WORK_GATE_H_
