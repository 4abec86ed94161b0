#include "base/win/object_watcher.h"

#include "base/bind.h"
#include "base/location.h"
#include "base/logging.h"

namespace base {
namespace win {

ObjectWatcher::ObjectWatcher()
    : object_(nullptr),
      wait_object_(nullptr),
      message_loop_(nullptr),
      weak_factory_(this) {}

ObjectWatcher::~ObjectWatcher() {
  StopWatching();
}

bool ObjectWatcher::StartWatchingOnce(HANDLE object, Delegate* delegate) {
  CHECK(delegate);
  if (wait_object_)
    return false;
  message_loop_ = MessageLoop::current();
  if (!message_loop_)
    return false;

  // The wait thread reads these two, so they are in place before the wait
  // is registered.
  callback_ =
      Bind(&ObjectWatcher::Signal, weak_factory_.GetWeakPtr(), delegate);
  object_ = object;

  // The callback only posts a task, short enough to run on the wait thread
  // itself rather than on a pool thread.
  constexpr ULONG kFlags = WT_EXECUTEINWAITTHREAD | WT_EXECUTEONLYONCE;
  if (!::RegisterWaitForSingleObject(&wait_object_, object,
                                     &ObjectWatcher::DoneWaiting, this,
                                     INFINITE, kFlags)) {
    PLOG(ERROR) << "RegisterWaitForSingleObject failed";
    object_ = nullptr;
    wait_object_ = nullptr;
    return false;
  }
  message_loop_->AddDestructionObserver(this);
  return true;
}

bool ObjectWatcher::StopWatching() {
  if (!wait_object_)
    return false;
  // INVALID_HANDLE_VALUE makes the call wait for a callback that is running
  // now, so nothing on the wait thread still uses this watcher afterwards.
  if (!::UnregisterWaitEx(wait_object_, INVALID_HANDLE_VALUE)) {
    PLOG(ERROR) << "UnregisterWaitEx failed";
    return false;
  }
  // A notification already posted finds its weak pointer null.
  weak_factory_.InvalidateWeakPtrs();
  object_ = nullptr;
  wait_object_ = nullptr;
  message_loop_->RemoveDestructionObserver(this);
  return true;
}

void ObjectWatcher::WillDestroyCurrentMessageLoop() {
  StopWatching();
}

// static
void CALLBACK ObjectWatcher::DoneWaiting(void* param, BOOLEAN /*timed_out*/) {
  ObjectWatcher* watcher = static_cast<ObjectWatcher*>(param);
  watcher->message_loop_->task_runner()->PostTask(
      LOCATION_FROM_HERE("base::win::ObjectWatcher::DoneWaiting"),
      watcher->callback_);
  watcher->callback_.Reset();
}

void ObjectWatcher::Signal(Delegate* delegate) {
  HANDLE object = object_;
  // Ending the watch first lets the delegate start the next one, or destroy
  // this watcher.
  StopWatching();
  delegate->OnObjectSignaled(object);
}

}  // namespace win
}  // namespace base
