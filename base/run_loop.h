#ifndef BASE_RUN_LOOP_H_
#define BASE_RUN_LOOP_H_

#include <stdint.h>

#include "base/callback.h"
#include "base/memory/weak_ptr.h"

namespace base {

class MessageLoop;
class MessagePumpDispatcher;

// One run, possibly nested, of the current thread's message loop. A task may
// start a nested run loop to wait for a reply while still serving tasks (it
// then needs a MessageLoop::ScopedNestableTaskAllower). A quit is addressed
// to one run loop: quitting an outer run loop during a nested run takes
// effect when the run loop nested directly inside it returns.
//
// The thread must have a message loop when a run loop is made.
class RunLoop {
 public:
  RunLoop();
  // With a UI loop, the window pump runs with |dispatcher|, which then sees
  // every window message of the run first.
  explicit RunLoop(MessagePumpDispatcher* dispatcher);
  RunLoop(const RunLoop&) = delete;
  RunLoop& operator=(const RunLoop&) = delete;
  // Outstanding quit closures do nothing from now on.
  ~RunLoop();

  // Runs the loop until this run loop quits. Returns at once when Quit was
  // called before.
  void Run();

  // Ends the run now when this is the innermost run loop; otherwise once
  // the run loops nested inside it have returned. Before Run, makes Run
  // return at once.
  void Quit();

  // A closure that calls Quit, and does nothing once the run loop is gone.
  Closure QuitClosure();

 private:
  friend class MessageLoop;

  MessageLoop* const loop_;
  // The loop's innermost run loop when this one started.
  RunLoop* previous_run_loop_;
  MessagePumpDispatcher* const dispatcher_;
  // 1 for the outermost run.
  int32_t run_depth_;
  bool run_called_;
  bool quit_called_;
  bool running_;
  // The loop quits this run at its next idle moment.
  bool quit_when_idle_received_;

  WeakPtrFactory<RunLoop> weak_factory_;
};

}  // namespace base

#endif  // BASE_RUN_LOOP_H_
