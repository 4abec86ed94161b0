#ifndef BASE_WIN_OBJECT_WATCHER_H_
#define BASE_WIN_OBJECT_WATCHER_H_

#include <windows.h>

#include "base/memory/ref_counted.h"
#include "base/memory/weak_ptr.h"
#include "base/message_loop/message_loop.h"

namespace base {
namespace win {

// Waits for a kernel object (a process, an event) to become signalled
// without blocking the message loop: a system wait thread does the waiting,
// and the delegate hears of the signal in a task on the loop of the thread
// that started the watch, never inside StartWatchingOnce.
//
//   class ChildEnd : public base::win::ObjectWatcher::Delegate {
//     void OnObjectSignaled(HANDLE process) override { ... }
//   };
//   watcher_.StartWatchingOnce(process.Handle(), &child_end_);
//
// A watch covers one signal; the delegate may start the next one, or destroy
// the watcher, from OnObjectSignaled. Destroying the watcher or the loop
// stops the watch. Everything but the wait itself happens on the starting
// loop's thread.
class ObjectWatcher : public MessageLoop::DestructionObserver {
 public:
  class Delegate {
   public:
    virtual ~Delegate() = default;

    // |object| has been signalled; the watch is already over.
    virtual void OnObjectSignaled(HANDLE object) = 0;
  };

  ObjectWatcher();
  ObjectWatcher(const ObjectWatcher&) = delete;
  ObjectWatcher& operator=(const ObjectWatcher&) = delete;
  ~ObjectWatcher() override;

  // Watches |object| for one signal, to tell |delegate| (which must not be
  // null) on the calling thread's loop. False when a watch is already on,
  // when the thread has no message loop or when Windows refuses the wait.
  bool StartWatchingOnce(HANDLE object, Delegate* delegate);

  // Ends the watch; a signal already on its way to the loop is dropped.
  // False when nothing was watched or the wait could not be cancelled; the
  // watch is over either way.
  bool StopWatching();

 private:
  class Notification;

  // MessageLoop::DestructionObserver:
  void WillDestroyCurrentMessageLoop() override;

  // Runs on the system wait thread once the object is signalled; |param| is
  // the watch's Notification.
  static void CALLBACK DoneWaiting(void* param, BOOLEAN timed_out);

  // The notification task, on the starting loop.
  void Signal(Delegate* delegate);

  // What the wait callback posts; null when not watching.
  scoped_refptr<Notification> notification_;
  HANDLE object_;
  // The registered wait; null when not watching.
  HANDLE wait_object_;
  // The loop that started the watch.
  MessageLoop* message_loop_;

  WeakPtrFactory<ObjectWatcher> weak_factory_;
};

namespace internal {

// The system call that cancels a registered wait.
using UnregisterWaitExFunction = BOOL(WINAPI*)(HANDLE, HANDLE);

// Makes ObjectWatcher cancel its waits through |function| instead of the
// system, so that tests can give the results the system gives only under
// rare races; null puts the system call back.
void SetUnregisterWaitExFunctionForTesting(UnregisterWaitExFunction function);

}  // namespace internal
}  // namespace win
}  // namespace base

#endif  // BASE_WIN_OBJECT_WATCHER_H_
