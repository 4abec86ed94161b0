#ifndef BASE_TRACE_EVENT_HEAP_PROFILER_ALLOCATION_CONTEXT_TRACKER_H_
#define BASE_TRACE_EVENT_HEAP_PROFILER_ALLOCATION_CONTEXT_TRACKER_H_

#include <vector>

namespace base {
namespace trace_event {

// Per thread, the names of the trace events the thread is inside (its
// pseudo stack), for heap profiling. Callers test capture_enabled() first,
// so a thread gets a tracker only once capture is on; the tracker is
// deleted when its thread ends.
class AllocationContextTracker {
 public:
  AllocationContextTracker(const AllocationContextTracker&) = delete;
  AllocationContextTracker& operator=(const AllocationContextTracker&) = delete;

  static void SetCaptureEnabled(bool enabled);
  static bool capture_enabled();

  // The calling thread's tracker, made on first use.
  static AllocationContextTracker* GetInstanceForCurrentThread();

  // |frame| must outlive its place on the stack.
  void PushPseudoStackFrame(const char* frame);
  // Removes the innermost entry, whatever |frame| names; nothing when the
  // stack is empty.
  void PopPseudoStackFrame(const char* frame);

  const std::vector<const char*>& pseudo_stack() const { return pseudo_stack_; }

 private:
  AllocationContextTracker();
  ~AllocationContextTracker();

  static void DestroyTracker(void* tracker);

  std::vector<const char*> pseudo_stack_;
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_HEAP_PROFILER_ALLOCATION_CONTEXT_TRACKER_H_
