#ifndef BASE_SEQUENCED_TASK_RUNNER_H_
#define BASE_SEQUENCED_TASK_RUNNER_H_

#include "base/task_runner.h"

namespace base {

// A task runner that runs its tasks one at a time in the order in which they
// fall due, and that knows non-nestable tasks: those never run inside a
// nested run loop.
class SequencedTaskRunner : public TaskRunner {
 public:
  // Posts a task that waits for the outermost run loop when it falls due
  // during a nested one.
  virtual bool PostNonNestableDelayedTask(const Location& from_here,
                                          const Closure& task,
                                          TimeDelta delay) = 0;

  bool PostNonNestableTask(const Location& from_here, const Closure& task);

  // Deletes |object| in a non-nestable task of this runner. False when the
  // runner refused the post; the object is then not deleted.
  template <class T>
  bool DeleteSoon(const Location& from_here, const T* object) {
    return DeleteSoonInternal(from_here, &DeleteObject<T>, object);
  }

 protected:
  ~SequencedTaskRunner() override = default;

 private:
  template <class T>
  static void DeleteObject(const void* object) {
    delete static_cast<const T*>(object);
  }

  bool DeleteSoonInternal(const Location& from_here,
                          void (*deleter)(const void*),
                          const void* object);
};

}  // namespace base

#endif  // BASE_SEQUENCED_TASK_RUNNER_H_
