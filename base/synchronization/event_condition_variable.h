#ifndef BASE_SYNCHRONIZATION_EVENT_CONDITION_VARIABLE_H_
#define BASE_SYNCHRONIZATION_EVENT_CONDITION_VARIABLE_H_

#include <windows.h>

#include <stdint.h>

#include "base/synchronization/condition_variable.h"
#include "base/synchronization/lock.h"

namespace base {
namespace internal {

// A condition variable made of auto-reset events, for systems without the
// native one. Each waiting thread waits on an event of its own, kept in the
// waiting list (newest at the back); a signal takes the newest waiter's
// event out of that list and sets it, so that a second signal wakes another
// thread. Events are recycled rather than closed after each wait.
class EventConditionVariable : public ConditionVariable::Implementation {
 public:
  explicit EventConditionVariable(Lock* user_lock);
  EventConditionVariable(const EventConditionVariable&) = delete;
  EventConditionVariable& operator=(const EventConditionVariable&) = delete;
  // Waiters still inside a wait are woken, and destruction waits until each
  // has left the wait, so that none touches a freed event.
  ~EventConditionVariable() override;

  void Wait() override;
  void TimedWait(const TimeDelta& max_time) override;
  // Wakes the waiters oldest first.
  void Broadcast() override;
  // Wakes the newest waiter.
  void Signal() override;

 private:
  // One waiter's event, or, without an event, the head of a circular list.
  class EventNode;

  void WaitMilliseconds(DWORD milliseconds);
  // Both take internal_lock_.
  EventNode* StartWaiting();
  void FinishWaiting(EventNode* node);

  static constexpr int32_t kRunning = 0xFAD5;

  // kRunning while usable, 0 once destruction began.
  int32_t run_state_;
  // Guards both lists and both counters.
  Lock internal_lock_;
  Lock* const user_lock_;
  EventNode* const waiting_list_;
  EventNode* const recycling_list_;
  int32_t recycling_list_size_;
  // Events ever created; equal to recycling_list_size_ when nobody waits.
  int32_t allocation_counter_;
};

}  // namespace internal
}  // namespace base

#endif  // BASE_SYNCHRONIZATION_EVENT_CONDITION_VARIABLE_H_
