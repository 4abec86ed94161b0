#include "base/task_runner.h"

#include "base/bind.h"
#include "base/debug/debugger.h"
#include "base/single_thread_task_runner.h"
#include "base/threading/thread_task_runner_handle.h"

namespace base {

namespace {

// Carries a task to its runner and the reply back to the runner of the
// thread that posted them. Only one thread touches it at a time: the target
// thread while the task runs, the origin thread while the reply runs. The
// closures posted for its two steps hold only its address; the reply step
// alone deletes it.
class PostTaskAndReplyRelay {
 public:
  PostTaskAndReplyRelay(const Location& from_here,
                        const Closure& task,
                        const Closure& reply)
      : from_here_(from_here),
        origin_task_runner_(ThreadTaskRunnerHandle::Get()),
        reply_(reply),
        task_(task) {}
  PostTaskAndReplyRelay(const PostTaskAndReplyRelay&) = delete;
  PostTaskAndReplyRelay& operator=(const PostTaskAndReplyRelay&) = delete;

  // On the target thread.
  void RunTaskAndPostReply() {
    task_.Run();
    origin_task_runner_->PostTask(
        from_here_,
        Bind(&PostTaskAndReplyRelay::RunReplyAndSelfDestruct, this));
  }

 private:
  // On the origin thread. The task goes first, so that whatever it bound
  // is destroyed here before the reply starts.
  void RunReplyAndSelfDestruct() {
    task_.Reset();
    reply_.Run();
    delete this;
  }

  const Location from_here_;
  const scoped_refptr<SingleThreadTaskRunner> origin_task_runner_;
  Closure reply_;
  Closure task_;
};

}  // namespace

// static
void TaskRunnerTraits::Destruct(const TaskRunner* task_runner) {
  task_runner->OnDestruct();
}

TaskRunner::TaskRunner() = default;

TaskRunner::~TaskRunner() = default;

bool TaskRunner::PostTask(const Location& from_here, const Closure& task) {
  return PostDelayedTask(from_here, task, TimeDelta());
}

bool TaskRunner::PostTaskAndReply(const Location& from_here,
                                  const Closure& task,
                                  const Closure& reply) {
  if (task.is_null() || reply.is_null()) {
    BreakDebugger();
    return false;
  }
  PostTaskAndReplyRelay* relay =
      new PostTaskAndReplyRelay(from_here, task, reply);
  if (!PostTask(from_here,
                Bind(&PostTaskAndReplyRelay::RunTaskAndPostReply, relay))) {
    delete relay;
    return false;
  }
  return true;
}

void TaskRunner::OnDestruct() const {
  delete this;
}

}  // namespace base
