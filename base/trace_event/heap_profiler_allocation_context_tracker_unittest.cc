#include "base/trace_event/heap_profiler_allocation_context_tracker.h"

#include <thread>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace trace_event {
namespace {

TEST(AllocationContextTrackerTest, PopsByPosition) {
  AllocationContextTracker::SetCaptureEnabled(true);
  EXPECT_TRUE(AllocationContextTracker::capture_enabled());
  AllocationContextTracker* tracker =
      AllocationContextTracker::GetInstanceForCurrentThread();
  EXPECT_EQ(tracker, AllocationContextTracker::GetInstanceForCurrentThread());
  static const char kFirst[] = "first";
  static const char kSecond[] = "second";
  tracker->PushPseudoStackFrame(kFirst);
  tracker->PushPseudoStackFrame(kSecond);
  tracker->PopPseudoStackFrame(kFirst);
  EXPECT_EQ(std::vector<const char*>{kFirst}, tracker->pseudo_stack());
  tracker->PopPseudoStackFrame(kFirst);
  tracker->PopPseudoStackFrame(kFirst);
  EXPECT_TRUE(tracker->pseudo_stack().empty());
  AllocationContextTracker::SetCaptureEnabled(false);
  EXPECT_FALSE(AllocationContextTracker::capture_enabled());
}

TEST(AllocationContextTrackerTest, OneTrackerPerThread) {
  AllocationContextTracker::SetCaptureEnabled(true);
  AllocationContextTracker* main_tracker =
      AllocationContextTracker::GetInstanceForCurrentThread();
  AllocationContextTracker* other_tracker = nullptr;
  std::thread thread([&other_tracker] {
    other_tracker = AllocationContextTracker::GetInstanceForCurrentThread();
    other_tracker->PushPseudoStackFrame("other");
  });
  thread.join();
  EXPECT_NE(main_tracker, other_tracker);
  EXPECT_TRUE(main_tracker->pseudo_stack().empty());
}

}  // namespace
}  // namespace trace_event
}  // namespace base
