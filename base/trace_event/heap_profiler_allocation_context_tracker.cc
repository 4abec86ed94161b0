#include "base/trace_event/heap_profiler_allocation_context_tracker.h"

#include <atomic>

#include "base/threading/thread_local_storage.h"

namespace base {
namespace trace_event {

namespace {

std::atomic<bool> g_capture_enabled{false};
ThreadLocalStorage::StaticSlot g_tls_tracker;

}  // namespace

AllocationContextTracker::AllocationContextTracker() = default;

AllocationContextTracker::~AllocationContextTracker() = default;

// static
void AllocationContextTracker::DestroyTracker(void* tracker) {
  delete static_cast<AllocationContextTracker*>(tracker);
}

// static
void AllocationContextTracker::SetCaptureEnabled(bool enabled) {
  if (enabled) {
    // Made once, by whichever thread enables capture first.
    static const bool slot_made = [] {
      g_tls_tracker.Initialize(&DestroyTracker);
      return true;
    }();
    (void)slot_made;
  }
  g_capture_enabled.store(enabled, std::memory_order_release);
}

// static
bool AllocationContextTracker::capture_enabled() {
  return g_capture_enabled.load(std::memory_order_acquire);
}

// static
AllocationContextTracker*
AllocationContextTracker::GetInstanceForCurrentThread() {
  AllocationContextTracker* tracker =
      static_cast<AllocationContextTracker*>(g_tls_tracker.Get());
  if (!tracker) {
    tracker = new AllocationContextTracker;
    g_tls_tracker.Set(tracker);
  }
  return tracker;
}

void AllocationContextTracker::PushPseudoStackFrame(const char* frame) {
  pseudo_stack_.push_back(frame);
}

void AllocationContextTracker::PopPseudoStackFrame(const char* /*frame*/) {
  if (!pseudo_stack_.empty())
    pseudo_stack_.pop_back();
}

}  // namespace trace_event
}  // namespace base
