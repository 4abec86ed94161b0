#include "base/win/object_watcher.h"

#include <atomic>
#include <utility>

#include "base/bind.h"
#include "base/location.h"
#include "base/logging.h"

namespace base {
namespace win {

namespace {

std::atomic<internal::UnregisterWaitExFunction> g_unregister_for_testing{
    nullptr};

}  // namespace

// The notification task and the runner it goes to: all that the wait
// callback touches. The registered wait holds a reference of its own, so
// that a callback still running after the watch has ended, or the watcher
// is gone, finds it intact.
class ObjectWatcher::Notification
    : public RefCountedThreadSafe<ObjectWatcher::Notification> {
 public:
  Notification(scoped_refptr<SingleThreadTaskRunner> task_runner, Closure task)
      : task_runner_(std::move(task_runner)), task_(std::move(task)) {}
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;

  // On the wait thread, once: posts the task and drops the wait's
  // reference.
  void PostFromWait() {
    wait_fired_ = true;
    task_runner_->PostTask(
        LOCATION_FROM_HERE("base::win::ObjectWatcher::DoneWaiting"), task_);
    Release();
  }

  // Once the wait is cancelled and its callback is over or will never run:
  // drops the wait's reference unless the callback did.
  void ReleaseWaitReference() {
    if (!wait_fired_)
      Release();
  }

 private:
  friend class RefCountedThreadSafe<Notification>;
  ~Notification() = default;

  const scoped_refptr<SingleThreadTaskRunner> task_runner_;
  const Closure task_;
  std::atomic<bool> wait_fired_{false};
};

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

  scoped_refptr<Notification> notification = new Notification(
      message_loop_->task_runner(),
      Bind(&ObjectWatcher::Signal, weak_factory_.GetWeakPtr(), delegate));
  object_ = object;
  // The wait's reference.
  notification->AddRef();

  // The callback only posts a task, short enough to run on the wait thread
  // itself rather than on a pool thread.
  constexpr ULONG kFlags = WT_EXECUTEINWAITTHREAD | WT_EXECUTEONLYONCE;
  if (!::RegisterWaitForSingleObject(&wait_object_, object,
                                     &ObjectWatcher::DoneWaiting,
                                     notification.get(), INFINITE, kFlags)) {
    PLOG(ERROR) << "RegisterWaitForSingleObject failed";
    notification->Release();
    object_ = nullptr;
    wait_object_ = nullptr;
    return false;
  }
  notification_ = std::move(notification);
  message_loop_->AddDestructionObserver(this);
  return true;
}

bool ObjectWatcher::StopWatching() {
  if (!wait_object_)
    return false;
  internal::UnregisterWaitExFunction unregister = g_unregister_for_testing;
  if (!unregister)
    unregister = &::UnregisterWaitEx;
  // INVALID_HANDLE_VALUE makes the call wait for a callback that is running
  // now. Racing a firing wait, the call can instead fail with
  // ERROR_IO_PENDING after it has released the wait: the wait is gone, its
  // callback may run on. Whatever the result, the wait handle is spent, and
  // cancelling it again would end the process.
  const DWORD error = unregister(wait_object_, INVALID_HANDLE_VALUE)
                          ? ERROR_SUCCESS
                          : ::GetLastError();
  if (error == ERROR_SUCCESS)
    notification_->ReleaseWaitReference();
  else if (error != ERROR_IO_PENDING)
    LOG(ERROR) << "UnregisterWaitEx failed: " << error;

  // A notification already posted, or still to come, finds its weak
  // pointer null.
  weak_factory_.InvalidateWeakPtrs();
  notification_ = nullptr;
  object_ = nullptr;
  wait_object_ = nullptr;
  message_loop_->RemoveDestructionObserver(this);
  return error == ERROR_SUCCESS || error == ERROR_IO_PENDING;
}

void ObjectWatcher::WillDestroyCurrentMessageLoop() {
  StopWatching();
}

// static
void CALLBACK ObjectWatcher::DoneWaiting(void* param, BOOLEAN /*timed_out*/) {
  static_cast<Notification*>(param)->PostFromWait();
}

void ObjectWatcher::Signal(Delegate* delegate) {
  HANDLE object = object_;
  // Ending the watch first lets the delegate start the next one, or destroy
  // this watcher.
  StopWatching();
  delegate->OnObjectSignaled(object);
}

namespace internal {

void SetUnregisterWaitExFunctionForTesting(UnregisterWaitExFunction function) {
  g_unregister_for_testing = function;
}

}  // namespace internal
}  // namespace win
}  // namespace base
