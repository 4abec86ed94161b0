#include "base/threading/thread_task_runner_handle.h"

#include <utility>

#include "base/lazy_instance.h"
#include "base/logging.h"
#include "base/threading/thread_local.h"

namespace base {

namespace {

LazyInstance::Leaky<ThreadLocalPointer<ThreadTaskRunnerHandle>>
    g_current_handle;

}  // namespace

// static
scoped_refptr<SingleThreadTaskRunner> ThreadTaskRunnerHandle::Get() {
  ThreadTaskRunnerHandle* current = g_current_handle.Get().Get();
  CHECK(current);
  return current->task_runner_;
}

ThreadTaskRunnerHandle::ThreadTaskRunnerHandle(
    scoped_refptr<SingleThreadTaskRunner> task_runner)
    : task_runner_(std::move(task_runner)) {
  DCHECK(task_runner_);
  g_current_handle.Get().Set(this);
}

ThreadTaskRunnerHandle::~ThreadTaskRunnerHandle() {
  g_current_handle.Get().Set(nullptr);
}

}  // namespace base
