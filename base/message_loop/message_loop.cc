#include "base/message_loop/message_loop.h"

#include <utility>

#include "base/lazy_instance.h"
#include "base/logging.h"
#include "base/message_loop/incoming_task_queue.h"
#include "base/message_loop/message_loop_task_runner.h"
#include "base/message_loop/message_pump_default.h"
#include "base/run_loop.h"
#include "base/threading/thread_local.h"
#include "base/threading/thread_task_runner_handle.h"
#include "base/trace_event/trace_event.h"

namespace base {

namespace {

LazyInstance::Leaky<ThreadLocalPointer<MessageLoop>> g_current_loop;

// The name under which the loop's tasks are queued and run in trace events.
const char kQueueFunction[] = "MessageLoop::PostTask";

// Destroying tasks may post new ones; destruction gives up on them after
// this many passes.
constexpr int kMaxDeletePasses = 100;

}  // namespace

MessageLoop::ScopedNestableTaskAllower::ScopedNestableTaskAllower(
    MessageLoop* loop)
    : loop_(loop), old_state_(loop->NestableTasksAllowed()) {
  loop_->SetNestableTasksAllowed(true);
}

MessageLoop::ScopedNestableTaskAllower::~ScopedNestableTaskAllower() {
  loop_->SetNestableTasksAllowed(old_state_);
}

MessageLoop::MessageLoop(Type type) : MessageLoop(type, MessagePumpFactory()) {
  BindToCurrentThread();
}

MessageLoop::MessageLoop(Type type, const MessagePumpFactory& pump_factory)
    : type_(type),
      pending_high_res_tasks_(0),
      in_high_res_mode_(false),
      nestable_tasks_allowed_(true),
      pump_factory_(pump_factory),
      run_loop_(nullptr),
      incoming_task_queue_(new internal::IncomingTaskQueue(this)),
      unbound_task_runner_(
          new internal::MessageLoopTaskRunner(incoming_task_queue_)),
      task_runner_(unbound_task_runner_) {}

MessageLoop::~MessageLoop() {
  DCHECK(!run_loop_);
  if (in_high_res_mode_)
    Time::ActivateHighResolutionTimer(false);

  // Destroying a task releases its bound objects, whose destructors may post
  // further tasks; each pass takes those in and destroys them too.
  for (int pass = 0; pass < kMaxDeletePasses; ++pass) {
    DeletePendingTasks();
    ReloadWorkQueue();
    if (!DeletePendingTasks())
      break;
  }

  destruction_observers_.Notify(
      &DestructionObserver::WillDestroyCurrentMessageLoop);

  thread_task_runner_handle_.reset();

  // Posts fail from here on; tasks that still reach the queue are destroyed
  // with it.
  incoming_task_queue_->WillDestroyCurrentMessageLoop();
  incoming_task_queue_ = nullptr;
  unbound_task_runner_ = nullptr;
  task_runner_ = nullptr;

  if (current() == this)
    g_current_loop.Get().Set(nullptr);
}

// static
std::unique_ptr<MessageLoop> MessageLoop::CreateUnbound(
    Type type,
    const MessagePumpFactory& pump_factory) {
  return std::unique_ptr<MessageLoop>(new MessageLoop(type, pump_factory));
}

// static
MessageLoop* MessageLoop::current() {
  return g_current_loop.Get().Get();
}

void MessageLoop::BindToCurrentThread() {
  DCHECK(!pump_);
  pump_ = CreatePump();

  DCHECK(!current());
  g_current_loop.Get().Set(this);

  incoming_task_queue_->StartScheduling();
  unbound_task_runner_->BindToCurrentThread();
  unbound_task_runner_ = nullptr;

  // The old handle withdraws itself on destruction, so it must go before
  // the new one is published.
  thread_task_runner_handle_.reset();
  thread_task_runner_handle_.reset(new ThreadTaskRunnerHandle(task_runner_));
}

std::unique_ptr<MessagePump> MessageLoop::CreatePump() const {
  if (!pump_factory_.is_null())
    return pump_factory_.Run();
  switch (type_) {
    case TYPE_UI:
      return std::unique_ptr<MessagePump>(new MessagePumpForUI());
    case TYPE_IO:
      return std::unique_ptr<MessagePump>(new MessagePumpForIO());
    default:
      return std::unique_ptr<MessagePump>(new MessagePumpDefault());
  }
}

bool MessageLoop::PostTask(const Location& from_here, const Closure& task) {
  return task_runner_->PostTask(from_here, task);
}

bool MessageLoop::PostDelayedTask(const Location& from_here,
                                  const Closure& task,
                                  TimeDelta delay) {
  return task_runner_->PostDelayedTask(from_here, task, delay);
}

void MessageLoop::Run() {
  RunLoop run_loop;
  run_loop.Run();
}

void MessageLoop::QuitWhenIdle() {
  if (run_loop_)
    run_loop_->quit_when_idle_received_ = true;
}

void MessageLoop::QuitOutermostWhenIdle() {
  RunLoop* outermost = run_loop_;
  while (outermost && outermost->previous_run_loop_)
    outermost = outermost->previous_run_loop_;
  if (outermost)
    outermost->quit_when_idle_received_ = true;
}

void MessageLoop::QuitNow() {
  if (run_loop_)
    pump_->Quit();
}

void MessageLoop::SetNestableTasksAllowed(bool allowed) {
  // The pump may have gone to sleep on work that it could not take while a
  // task ran.
  if (allowed && !nestable_tasks_allowed_)
    pump_->ScheduleWork();
  nestable_tasks_allowed_ = allowed;
}

void MessageLoop::AddDestructionObserver(DestructionObserver* observer) {
  destruction_observers_.AddObserver(observer);
}

void MessageLoop::RemoveDestructionObserver(DestructionObserver* observer) {
  destruction_observers_.RemoveObserver(observer);
}

void MessageLoop::AddTaskObserver(TaskObserver* observer) {
  task_observers_.AddObserver(observer);
}

void MessageLoop::RemoveTaskObserver(TaskObserver* observer) {
  task_observers_.RemoveObserver(observer);
}

bool MessageLoop::RegisterIOHandler(HANDLE file_handle, IOHandler* handler) {
  DCHECK_EQ(type_, TYPE_IO);
  return static_cast<MessagePumpForIO*>(pump_.get())
      ->RegisterIOHandler(file_handle, handler);
}

bool MessageLoop::WaitForIOCompletion(DWORD timeout_ms, IOHandler* filter) {
  DCHECK_EQ(type_, TYPE_IO);
  return static_cast<MessagePumpForIO*>(pump_.get())
      ->WaitForIOCompletion(timeout_ms, filter);
}

void MessageLoop::SetTimerSlack(int timer_slack) {
  pump_->SetTimerSlack(timer_slack);
}

bool MessageLoop::IsType(Type type) const {
  return type_ == type;
}

void MessageLoop::RunHandler() {
  if (run_loop_->dispatcher_ && type_ == TYPE_UI) {
    static_cast<MessagePumpForUI*>(pump_.get())
        ->RunWithDispatcher(this, run_loop_->dispatcher_);
    return;
  }
  pump_->Run(this);
}

void MessageLoop::ScheduleWork() {
  pump_->ScheduleWork();
}

bool MessageLoop::DoWork() {
  if (!nestable_tasks_allowed_)
    return false;

  for (;;) {
    ReloadWorkQueue();
    if (work_queue_.empty())
      return false;

    do {
      PendingTask pending_task = std::move(work_queue_.front());
      work_queue_.pop();
      if (!pending_task.delayed_run_time.is_null()) {
        delayed_work_queue_.push(pending_task);
        // Only a task that became the first due re-arms the pump.
        if (delayed_work_queue_.top().task.Equals(pending_task.task))
          pump_->ScheduleDelayedWork(pending_task.delayed_run_time);
      } else if (DeferOrRunPendingTask(std::move(pending_task))) {
        return true;
      }
    } while (!work_queue_.empty());
  }
}

bool MessageLoop::DoDelayedWork(TimeTicks* next_delayed_work_time) {
  if (!nestable_tasks_allowed_ || delayed_work_queue_.empty()) {
    recent_time_ = *next_delayed_work_time = TimeTicks();
    return false;
  }

  // While the loop is behind, due tasks are taken without reading the clock
  // again.
  const TimeTicks next_run_time = delayed_work_queue_.top().delayed_run_time;
  if (next_run_time > recent_time_) {
    recent_time_ = TimeTicks::Now();
    if (next_run_time > recent_time_) {
      *next_delayed_work_time = next_run_time;
      return false;
    }
  }

  PendingTask pending_task = delayed_work_queue_.top();
  delayed_work_queue_.pop();
  if (!delayed_work_queue_.empty())
    *next_delayed_work_time = delayed_work_queue_.top().delayed_run_time;

  return DeferOrRunPendingTask(std::move(pending_task));
}

bool MessageLoop::DoIdleWork() {
  if (ProcessNextDelayedNonNestableTask())
    return true;

  if (run_loop_ && run_loop_->quit_when_idle_received_)
    pump_->Quit();

  // The fine timer stays on while high-resolution tasks taken in are
  // waiting to run.
  const bool want_high_res = pending_high_res_tasks_ > 0;
  if (want_high_res != in_high_res_mode_) {
    in_high_res_mode_ = want_high_res;
    Time::ActivateHighResolutionTimer(want_high_res);
  }
  return false;
}

void MessageLoop::ReloadWorkQueue() {
  if (work_queue_.empty())
    pending_high_res_tasks_ +=
        incoming_task_queue_->ReloadWorkQueue(&work_queue_);
}

bool MessageLoop::DeferOrRunPendingTask(PendingTask pending_task) {
  // A non-nestable task queues behind those already deferred, so that
  // non-nestable tasks run in the order in which they were posted.
  if (pending_task.nestable ||
      (IsOutermostRun() && deferred_non_nestable_work_queue_.empty())) {
    RunTask(pending_task);
    return true;
  }
  deferred_non_nestable_work_queue_.push(std::move(pending_task));
  return false;
}

bool MessageLoop::ProcessNextDelayedNonNestableTask() {
  if (!IsOutermostRun() || deferred_non_nestable_work_queue_.empty())
    return false;
  PendingTask pending_task =
      std::move(deferred_non_nestable_work_queue_.front());
  deferred_non_nestable_work_queue_.pop();
  RunTask(pending_task);
  return true;
}

void MessageLoop::RunTask(const PendingTask& pending_task) {
  if (pending_task.is_high_res) {
    --pending_high_res_tasks_;
    CHECK_GE(pending_high_res_tasks_, 0);
  }

  nestable_tasks_allowed_ = false;
  {
    static const unsigned char* const toplevel =
        trace_event::TraceLog::GetCategoryGroupEnabled("toplevel");
    const char* const arg_names[] = {"src_file", "src_func"};
    const unsigned char arg_types[] = {trace_event::TRACE_VALUE_TYPE_STRING,
                                       trace_event::TRACE_VALUE_TYPE_STRING};
    const unsigned long long arg_values[] = {
        reinterpret_cast<uintptr_t>(pending_task.posted_from.file_name()),
        reinterpret_cast<uintptr_t>(pending_task.posted_from.function_name())};
    trace_event::ScopedCompleteEvent event(toplevel, "MessageLoop::RunTask",
                                           /*bind_id=*/0,
                                           trace_event::TRACE_EVENT_FLAG_NONE,
                                           2, arg_names, arg_types, arg_values);

    task_observers_.Notify(&TaskObserver::WillProcessTask, pending_task);
    task_annotator_.RunTask(kQueueFunction, pending_task);
    task_observers_.Notify(&TaskObserver::DidProcessTask, pending_task);

    nestable_tasks_allowed_ = true;
  }
}

bool MessageLoop::DeletePendingTasks() {
  bool did_work = !work_queue_.empty();
  while (!work_queue_.empty()) {
    PendingTask pending_task = std::move(work_queue_.front());
    work_queue_.pop();
    if (!pending_task.delayed_run_time.is_null())
      delayed_work_queue_.push(std::move(pending_task));
  }

  did_work |= !deferred_non_nestable_work_queue_.empty();
  while (!deferred_non_nestable_work_queue_.empty()) {
    PendingTask pending_task =
        std::move(deferred_non_nestable_work_queue_.front());
    deferred_non_nestable_work_queue_.pop();
  }

  did_work |= !delayed_work_queue_.empty();
  while (!delayed_work_queue_.empty()) {
    PendingTask pending_task = delayed_work_queue_.top();
    delayed_work_queue_.pop();
  }
  return did_work;
}

bool MessageLoop::IsOutermostRun() const {
  return run_loop_ && run_loop_->run_depth_ == 1;
}

}  // namespace base
