#ifndef BASE_THREADING_SEQUENCED_WORKER_POOL_H_
#define BASE_THREADING_SEQUENCED_WORKER_POOL_H_

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <string>

#include "base/callback.h"
#include "base/location.h"
#include "base/memory/ref_counted.h"
#include "base/task_runner.h"
#include "base/time/time.h"

namespace base {

class SequencedTaskRunner;
class SingleThreadTaskRunner;

// A pool of worker threads, started one at a time as work needs them up to a
// maximum, that runs posted tasks. A task may carry a sequence token: tasks
// of one token run one at a time, in the order in which they fall due, on
// whichever worker is free; tasks without a token run in any order and side
// by side. Each task also says what Shutdown does with it.
//
// The pool must be created on a thread with a message loop and shut down
// before its last reference goes: workers keep the pool alive until
// Shutdown lets them leave.
class SequencedWorkerPool : public TaskRunner {
 public:
  // What Shutdown does with a task.
  enum WorkerShutdown : int32_t {
    // Shutdown never waits for it. Dropped when it has not started by the
    // time Shutdown begins; one that runs runs on.
    CONTINUE_ON_SHUTDOWN = 0,
    // Dropped when it has not started by the time Shutdown begins; once
    // started, Shutdown waits for it.
    SKIP_ON_SHUTDOWN = 1,
    // Shutdown waits until it has run. The only kind that may still be
    // posted once Shutdown has begun, within Shutdown's allowance.
    BLOCK_SHUTDOWN = 2,
  };

  // Names a sequence. Ids are unique across all pools of the process; the
  // default token, id 0, names no sequence.
  class SequenceToken {
   public:
    SequenceToken() : id_(0) {}

    int32_t id() const { return id_; }

   private:
    friend class SequencedWorkerPool;

    explicit SequenceToken(int32_t id) : id_(id) {}

    int32_t id_;
  };

  // Workers are named |thread_name_prefix| followed by "Worker" and their
  // number, counted from 1. Takes the calling thread's task runner, to which
  // a release of the last reference on a worker posts the deletion.
  SequencedWorkerPool(size_t max_threads,
                      const std::string& thread_name_prefix);
  SequencedWorkerPool(const SequencedWorkerPool&) = delete;
  SequencedWorkerPool& operator=(const SequencedWorkerPool&) = delete;

  // TaskRunner: a task without a token. One due at once blocks shutdown;
  // a delayed one (any non-zero delay) is skipped on shutdown.
  bool PostDelayedTask(const Location& from_here,
                       const Closure& task,
                       TimeDelta delay) override;
  // True on the pool's workers.
  bool RunsTasksOnCurrentThread() const override;

  // The token given to |name| before, or a new one remembered for it.
  SequenceToken GetNamedSequenceToken(const std::string& name);

  // A runner that posts tasks of |token| with |shutdown_behavior|; its
  // delayed tasks are skipped on shutdown whatever |shutdown_behavior| says.
  scoped_refptr<SequencedTaskRunner> GetSequencedTaskRunnerWithShutdownBehavior(
      SequenceToken token,
      WorkerShutdown shutdown_behavior);

  // Drops every task that has not started, except those that block
  // shutdown, and waits for those and for every running task that is not
  // CONTINUE_ON_SHUTDOWN. From then on at most
  // |max_new_blocking_tasks_after_shutdown| tasks that block shutdown are
  // accepted, and none of any other kind. Each one accepted runs, on a
  // worker started for it when every worker has left; a post that cannot
  // start one is refused. Only the first call counts.
  void Shutdown(int32_t max_new_blocking_tasks_after_shutdown);

  // Makes the next |count| worker starts fail as if the system refused to
  // create the thread.
  void FailWorkerStartsForTesting(int32_t count);

 protected:
  ~SequencedWorkerPool() override;

  // Deletes the pool, or, on one of its own workers, which the deletion
  // would have to join, posts the deletion to the creating thread.
  void OnDestruct() const override;

 private:
  // DeleteSoon on the creating thread's runner deletes the pool.
  friend class SequencedTaskRunner;
  friend class SequencedWorkerPoolSequencedTaskRunner;

  class Inner;
  class Worker;

  const scoped_refptr<SingleThreadTaskRunner> constructor_task_runner_;
  const std::unique_ptr<Inner> inner_;
};

}  // namespace base

#endif  // BASE_THREADING_SEQUENCED_WORKER_POOL_H_
