#ifndef BASE_DEBUG_TASK_ANNOTATOR_H_
#define BASE_DEBUG_TASK_ANNOTATOR_H_

#include <stdint.h>

namespace base {

struct PendingTask;

namespace debug {

// Wraps every queued and every run task of a message loop in flow trace
// events, times each run for the task profiler, and keeps the posting
// address on the stack while the task runs, for crash dumps.
class TaskAnnotator {
 public:
  TaskAnnotator();
  TaskAnnotator(const TaskAnnotator&) = delete;
  TaskAnnotator& operator=(const TaskAnnotator&) = delete;
  ~TaskAnnotator();

  // Marks the start of the flow from the post of |pending_task|, named by
  // |queue_function|.
  void DidQueueTask(const char* queue_function,
                    const PendingTask& pending_task);

  // Runs |pending_task|, marking the end of its flow and tallying the run.
  void RunTask(const char* queue_function, const PendingTask& pending_task);

 private:
  // Ties the two ends of a task's flow: the sequence number in the high
  // half, the annotator's address in the low one.
  uint64_t GetTaskTraceID(const PendingTask& pending_task) const;
};

}  // namespace debug
}  // namespace base

#endif  // BASE_DEBUG_TASK_ANNOTATOR_H_
