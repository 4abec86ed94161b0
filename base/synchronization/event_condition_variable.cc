#include "base/synchronization/event_condition_variable.h"

#include <vector>

#include "base/logging.h"
#include "base/synchronization/wait_milliseconds.h"
#include "base/win/scoped_handle.h"

namespace base {
namespace internal {

namespace {

// How long destruction lets woken waiters run before it looks again.
constexpr DWORD kLeaveWaitPauseMilliseconds = 10;

}  // namespace

class EventConditionVariable::EventNode {
 public:
  // A list head: no event, linked to itself.
  EventNode() : next_(this), prev_(this) {}
  EventNode(const EventNode&) = delete;
  EventNode& operator=(const EventNode&) = delete;

  static EventNode* CreateWithEvent() {
    EventNode* node = new EventNode;
    node->event_.Set(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    CHECK(node->event_.IsValid()) << "CreateEventW failed: " << GetLastError();
    return node;
  }

  HANDLE event() const { return event_.Get(); }

  // List operations, on a head.
  bool IsEmpty() const { return next_ == this; }
  EventNode* front() const { return next_; }
  EventNode* back() const { return prev_; }
  void PushBack(EventNode* node) {
    node->prev_ = prev_;
    node->next_ = this;
    prev_->next_ = node;
    prev_ = node;
  }
  // Deletes every node of the list, closing their events.
  void DeleteAll() {
    while (!IsEmpty()) {
      EventNode* node = front();
      node->Unlink();
      delete node;
    }
  }

  // Takes this node out of whatever list holds it; harmless when in none.
  void Unlink() {
    prev_->next_ = next_;
    next_->prev_ = prev_;
    next_ = this;
    prev_ = this;
  }

 private:
  win::ScopedHandle event_;
  EventNode* next_;
  EventNode* prev_;
};

EventConditionVariable::EventConditionVariable(Lock* user_lock)
    : run_state_(kRunning),
      user_lock_(user_lock),
      waiting_list_(new EventNode),
      recycling_list_(new EventNode),
      recycling_list_size_(0),
      allocation_counter_(0) {}

EventConditionVariable::~EventConditionVariable() {
  internal_lock_.Acquire();
  run_state_ = 0;
  while (recycling_list_size_ != allocation_counter_) {
    // Someone is still inside a wait: wake everyone and let them leave.
    internal_lock_.Release();
    Broadcast();
    Sleep(kLeaveWaitPauseMilliseconds);
    internal_lock_.Acquire();
  }
  internal_lock_.Release();
  waiting_list_->DeleteAll();
  recycling_list_->DeleteAll();
  delete waiting_list_;
  delete recycling_list_;
}

void EventConditionVariable::Wait() {
  WaitMilliseconds(INFINITE);
}

void EventConditionVariable::TimedWait(const TimeDelta& max_time) {
  WaitMilliseconds(TimedWaitMilliseconds(max_time));
}

void EventConditionVariable::WaitMilliseconds(DWORD milliseconds) {
  // Read before the wait: once this waiter has recycled its event, the
  // object may be destroyed, so nothing of it is used afterwards.
  Lock* const user_lock = user_lock_;
  EventNode* node = StartWaiting();
  if (!node)
    return;
  user_lock->Release();
  WaitForSingleObject(node->event(), milliseconds);
  FinishWaiting(node);
  user_lock->Acquire();
}

EventConditionVariable::EventNode* EventConditionVariable::StartWaiting() {
  AutoLock lock(internal_lock_);
  if (run_state_ != kRunning)
    return nullptr;
  EventNode* node;
  if (!recycling_list_->IsEmpty()) {
    node = recycling_list_->front();
    node->Unlink();
    --recycling_list_size_;
  } else {
    node = EventNode::CreateWithEvent();
    ++allocation_counter_;
  }
  waiting_list_->PushBack(node);
  return node;
}

void EventConditionVariable::FinishWaiting(EventNode* node) {
  AutoLock lock(internal_lock_);
  // Still in the waiting list after a timeout; already out when signalled.
  node->Unlink();
  recycling_list_->PushBack(node);
  ++recycling_list_size_;
}

void EventConditionVariable::Broadcast() {
  // Newest first onto the stack, so that popping wakes the oldest first.
  std::vector<HANDLE> stack;
  {
    AutoLock lock(internal_lock_);
    while (!waiting_list_->IsEmpty()) {
      EventNode* node = waiting_list_->back();
      node->Unlink();
      stack.push_back(node->event());
    }
  }
  while (!stack.empty()) {
    SetEvent(stack.back());
    stack.pop_back();
  }
}

void EventConditionVariable::Signal() {
  HANDLE event;
  {
    AutoLock lock(internal_lock_);
    if (waiting_list_->IsEmpty())
      return;
    EventNode* node = waiting_list_->back();
    node->Unlink();
    event = node->event();
  }
  SetEvent(event);
}

}  // namespace internal
}  // namespace base
