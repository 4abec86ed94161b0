#ifndef BASE_TASK_RUNNER_UTIL_H_
#define BASE_TASK_RUNNER_UTIL_H_

#include <utility>

#include "base/bind.h"
#include "base/callback.h"
#include "base/location.h"
#include "base/task_runner.h"

namespace base {

namespace internal {

// Runs on the task runner: keeps the task's result in the cell.
template <typename TaskReturnType>
void ReturnAsParamAdapter(const Callback<TaskReturnType()>& task,
                          TaskReturnType* result) {
  *result = task.Run();
}

// Runs on the posting thread: hands the result over to the reply. The reply
// owns the cell, so it goes with the reply whether or not that runs.
template <typename TaskReturnType, typename ReplyArgType>
void ReplyAdapter(const Callback<void(ReplyArgType)>& reply,
                  TaskReturnType* result) {
  reply.Run(std::move(*result));
}

}  // namespace internal

// Runs |task| on |task_runner| and then |reply| with its result on the
// runner of the calling thread, which must have one. The result moves from
// one to the other, so it may be a move-only type. False when the runner
// refused the post; then neither runs.
//   base::PostTaskAndReplyWithResult(
//       file_runner.get(), LOCATION_FROM_HERE("Store::Load"),
//       base::Bind(&ReadFile, path), base::Bind(&Store::OnRead, weak_this));
template <typename TaskReturnType, typename ReplyArgType>
bool PostTaskAndReplyWithResult(TaskRunner* task_runner,
                                const Location& from_here,
                                const Callback<TaskReturnType()>& task,
                                const Callback<void(ReplyArgType)>& reply) {
  TaskReturnType* result = new TaskReturnType();
  return task_runner->PostTaskAndReply(
      from_here,
      Bind(&internal::ReturnAsParamAdapter<TaskReturnType>, task, result),
      Bind(&internal::ReplyAdapter<TaskReturnType, ReplyArgType>, reply,
           Owned(result)));
}

}  // namespace base

#endif  // BASE_TASK_RUNNER_UTIL_H_
