#ifndef BASE_MESSAGE_LOOP_MESSAGE_LOOP_H_
#define BASE_MESSAGE_LOOP_MESSAGE_LOOP_H_

#include <windows.h>

#include <stdint.h>

#include <memory>
#include <string>

#include "base/callback.h"
#include "base/debug/task_annotator.h"
#include "base/location.h"
#include "base/memory/ref_counted.h"
#include "base/message_loop/message_pump.h"
#include "base/message_loop/message_pump_win.h"
#include "base/observer_list.h"
#include "base/pending_task.h"
#include "base/single_thread_task_runner.h"
#include "base/time/time.h"

namespace base {

class RunLoop;
class ThreadTaskRunnerHandle;

namespace internal {
class IncomingTaskQueue;
class MessageLoopTaskRunner;
}  // namespace internal

// The task loop of one thread. Tasks posted from any thread (through
// task_runner) run on the loop's thread one at a time, in the order in which
// they fall due, while a run loop runs the loop's message pump. The loop
// keeps the ready tasks, the delayed tasks and the non-nestable tasks met
// inside nested runs; destroying the loop destroys every task still queued
// without running it.
//
// While a task runs, the loop runs no other task, even when the task starts a
// nested run loop; a task that means its nested run to serve tasks (its own
// quit task included) says so with a ScopedNestableTaskAllower.
class MessageLoop : public MessagePump::Delegate {
 public:
  enum Type {
    // An event-driven pump: tasks only.
    TYPE_DEFAULT = 0,
    // A window-message pump: tasks and the thread's window messages.
    TYPE_UI = 1,
    // The pump comes from the loop's pump factory.
    TYPE_CUSTOM = 2,
    // A completion-port pump: tasks and I/O completions.
    TYPE_IO = 3,
  };

  using MessagePumpFactory = Callback<std::unique_ptr<MessagePump>()>;

  // Completion handling of IO loops.
  using IOHandler = MessagePumpForIO::IOHandler;
  using IOContext = MessagePumpForIO::IOContext;

  // Told once, on the loop's thread, when the loop is being destroyed:
  // after its queued tasks are destroyed, while posts are still accepted.
  class DestructionObserver {
   public:
    virtual void WillDestroyCurrentMessageLoop() = 0;

   protected:
    virtual ~DestructionObserver() = default;
  };

  // Told before and after each task that the loop runs.
  class TaskObserver {
   public:
    virtual void WillProcessTask(const PendingTask& pending_task) = 0;
    virtual void DidProcessTask(const PendingTask& pending_task) = 0;

   protected:
    virtual ~TaskObserver() = default;
  };

  // Lets the loop run tasks for the life of the scope even while a task
  // runs, for a task that runs a nested run loop meant to serve tasks.
  class ScopedNestableTaskAllower {
   public:
    explicit ScopedNestableTaskAllower(MessageLoop* loop);
    ScopedNestableTaskAllower(const ScopedNestableTaskAllower&) = delete;
    ScopedNestableTaskAllower& operator=(const ScopedNestableTaskAllower&) =
        delete;
    ~ScopedNestableTaskAllower();

   private:
    MessageLoop* const loop_;
    const bool old_state_;
  };

  // A loop of |type| bound to the calling thread at once.
  explicit MessageLoop(Type type = TYPE_DEFAULT);
  MessageLoop(const MessageLoop&) = delete;
  MessageLoop& operator=(const MessageLoop&) = delete;
  // Destroys every queued task unrun, tells the destruction observers, then
  // refuses posts. On the loop's thread.
  ~MessageLoop() override;

  // A loop that queues posts without waking anyone until BindToCurrentThread
  // runs on the thread that will run it. With a |pump_factory| the loop
  // takes its pump from the factory, whatever |type| says.
  static std::unique_ptr<MessageLoop> CreateUnbound(
      Type type,
      const MessagePumpFactory& pump_factory);

  // The calling thread's loop, or null.
  static MessageLoop* current();

  // Creates the pump, makes this the calling thread's loop and starts
  // waking it for posted tasks. Once, on the loop's thread.
  void BindToCurrentThread();

  // Same as the task runner's posts; false once the loop is gone.
  bool PostTask(const Location& from_here, const Closure& task);
  bool PostDelayedTask(const Location& from_here,
                       const Closure& task,
                       TimeDelta delay);

  // Deletes |object| in a non-nestable task of this loop.
  template <class T>
  bool DeleteSoon(const Location& from_here, const T* object) {
    return task_runner_->DeleteSoon(from_here, object);
  }

  // Runs the loop until its run loop quits.
  void Run();

  // Makes the innermost run loop quit at the loop's next idle moment, once
  // the tasks already due have run.
  void QuitWhenIdle();

  // Makes the outermost run loop quit at its first idle moment after the
  // run loops nested inside it have returned: the request may arrive inside
  // a nested run, which it must not end instead.
  void QuitOutermostWhenIdle();

  // Makes the innermost run end once the current task returns.
  void QuitNow();

  // Whether the loop may run a task now; false while a task runs, unless a
  // ScopedNestableTaskAllower says otherwise.
  void SetNestableTasksAllowed(bool allowed);
  bool NestableTasksAllowed() const { return nestable_tasks_allowed_; }

  void AddDestructionObserver(DestructionObserver* observer);
  void RemoveDestructionObserver(DestructionObserver* observer);
  void AddTaskObserver(TaskObserver* observer);
  void RemoveTaskObserver(TaskObserver* observer);

  // IO loops only: completions of |file_handle| go to |handler|. False when
  // Windows refuses the handle.
  bool RegisterIOHandler(HANDLE file_handle, IOHandler* handler);
  // IO loops only: handles at most one completion, waiting at most
  // |timeout_ms|; see MessagePumpForIO.
  bool WaitForIOCompletion(DWORD timeout_ms, IOHandler* filter);

  // Passed on to the pump.
  void SetTimerSlack(int timer_slack);

  void set_thread_name(const std::string& thread_name) {
    thread_name_ = thread_name;
  }
  const std::string& thread_name() const { return thread_name_; }

  Type type() const { return type_; }
  virtual bool IsType(Type type) const;

  // The loop's runner; posts to it may come from any thread.
  const scoped_refptr<SingleThreadTaskRunner>& task_runner() const {
    return task_runner_;
  }

 private:
  friend class RunLoop;
  friend class internal::IncomingTaskQueue;

  MessageLoop(Type type, const MessagePumpFactory& pump_factory);

  // Runs the pump for the innermost run loop, with its dispatcher when it
  // has one and this is a UI loop.
  void RunHandler();

  // Wakes the pump; any thread.
  void ScheduleWork();

  debug::TaskAnnotator* task_annotator() { return &task_annotator_; }

  // MessagePump::Delegate:
  bool DoWork() override;
  bool DoDelayedWork(TimeTicks* next_delayed_work_time) override;
  bool DoIdleWork() override;

  std::unique_ptr<MessagePump> CreatePump() const;

  // Takes the incoming tasks when the work queue is empty.
  void ReloadWorkQueue();

  // Runs |pending_task| unless it is non-nestable and a nested run is going
  // on or deferred tasks wait; then keeps it for idle moments of the
  // outermost run. True when it ran.
  bool DeferOrRunPendingTask(PendingTask pending_task);

  // Runs the oldest deferred non-nestable task when the outermost run is
  // the innermost one.
  bool ProcessNextDelayedNonNestableTask();

  void RunTask(const PendingTask& pending_task);

  // Destroys the queued tasks unrun; true when there were any.
  bool DeletePendingTasks();

  bool IsOutermostRun() const;

  std::unique_ptr<MessagePump> pump_;
  const Type type_;

  // Tasks taken from the incoming queue, not yet run nor moved.
  TaskQueue work_queue_;
  // High-resolution tasks taken from the incoming queue and not yet run.
  int32_t pending_high_res_tasks_;
  bool in_high_res_mode_;

  DelayedTaskQueue delayed_work_queue_;
  // The clock is read again only when the next delayed task is later.
  TimeTicks recent_time_;

  // Non-nestable tasks met during nested runs.
  TaskQueue deferred_non_nestable_work_queue_;

  ObserverList<DestructionObserver> destruction_observers_;

  bool nestable_tasks_allowed_;

  MessagePumpFactory pump_factory_;
  std::string thread_name_;

  // The innermost running run loop, null when not running.
  RunLoop* run_loop_;

  ObserverList<TaskObserver> task_observers_;

  debug::TaskAnnotator task_annotator_;

  scoped_refptr<internal::IncomingTaskQueue> incoming_task_queue_;
  // The runner until it is bound.
  scoped_refptr<internal::MessageLoopTaskRunner> unbound_task_runner_;
  scoped_refptr<SingleThreadTaskRunner> task_runner_;
  std::unique_ptr<ThreadTaskRunnerHandle> thread_task_runner_handle_;
};

}  // namespace base

#endif  // BASE_MESSAGE_LOOP_MESSAGE_LOOP_H_
