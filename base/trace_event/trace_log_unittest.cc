#include "base/trace_event/trace_log.h"

#include <string.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "base/bind.h"
#include "base/message_loop/message_loop.h"
#include "base/strings/stringprintf.h"
#include "base/threading/platform_thread.h"
#include "base/threading/thread_name_registry.h"
#include "base/trace_event/heap_profiler_allocation_context_tracker.h"
#include "base/trace_event/trace_buffer.h"
#include "base/trace_event/trace_event.h"
#include "base/trace_event/trace_event_impl.h"
#include "gtest/gtest.h"

namespace base {
namespace trace_event {
namespace {

int CurrentThreadId() {
  return static_cast<int>(PlatformThread::CurrentId());
}

TraceEventHandle AddEvent(char phase,
                          const unsigned char* category,
                          const char* name,
                          unsigned int flags = TRACE_EVENT_FLAG_NONE,
                          unsigned long long id = 0) {
  return TraceLog::GetInstance()->AddTraceEventWithThreadIdAndTimestamp(
      phase, category, name, nullptr, id, 0, CurrentThreadId(),
      TimeTicks::Now(), 0, nullptr, nullptr, nullptr, nullptr, flags);
}

// An event as the tests compare it.
struct Seen {
  std::string name;
  char phase;
  int thread_id;
  std::string arg_name;
  std::string arg_text;
};

std::vector<Seen> ReadEvents() {
  std::vector<Seen> events;
  TraceLog::GetInstance()->ReadEventsForTesting(
      [&events](const TraceEvent& event) {
        Seen seen = {event.name(), event.phase(), event.thread_id(), "", ""};
        if (event.arg_name(0)) {
          seen.arg_name = event.arg_name(0);
          TraceEvent::AppendValueAsJSON(event.arg_type(0), event.arg_value(0),
                                        &seen.arg_text);
        }
        events.push_back(seen);
      });
  return events;
}

std::vector<std::string> Names(const std::vector<Seen>& events) {
  std::vector<std::string> names;
  for (const Seen& event : events)
    names.push_back(event.name);
  return names;
}

// Recording switched on for the default configuration.
class TraceLogTest : public testing::Test {
 protected:
  TraceLogTest()
      : trace_log_(TraceLog::GetInstance()),
        toplevel_(TraceLog::GetCategoryGroupEnabled("toplevel")) {}

  void StartRecording(int options = TraceLog::kInternalRecordUntilFull) {
    trace_log_->SetEnabled(TraceConfig(), options);
  }

  TraceLog* const trace_log_;
  const unsigned char* const toplevel_;
};

TEST_F(TraceLogTest, CategoryRegistry) {
  // "toplevel" is built in; names are matched by content.
  std::string copy = "toplevel";
  EXPECT_EQ(toplevel_, TraceLog::GetCategoryGroupEnabled(copy.c_str()));
  EXPECT_STREQ("toplevel", TraceLog::GetCategoryGroupName(toplevel_));

  std::vector<const unsigned char*> flags;
  for (int i = 0; i < 96; ++i) {
    const std::string name = StringPrintf("category%d", i);
    flags.push_back(TraceLog::GetCategoryGroupEnabled(name.c_str()));
    EXPECT_EQ(0, *flags.back());
  }
  const unsigned char* exhausted =
      TraceLog::GetCategoryGroupEnabled("one too many");
  EXPECT_STREQ(
      "tracing categories exhausted; must increase MAX_CATEGORY_GROUPS",
      TraceLog::GetCategoryGroupName(exhausted));
  EXPECT_STREQ("category95", TraceLog::GetCategoryGroupName(flags.back()));
  EXPECT_EQ(flags[3], TraceLog::GetCategoryGroupEnabled("category3"));
}

TEST_F(TraceLogTest, NothingIsRecordedWhileOff) {
  EXPECT_EQ(0, *toplevel_);
  EXPECT_EQ(0u, AddEvent('I', toplevel_, "ignored").chunk_seq);
  EXPECT_TRUE(ReadEvents().empty());
}

TEST_F(TraceLogTest, RecordsEnabledCategoriesOnly) {
  const unsigned char* debug = TraceLog::GetCategoryGroupEnabled("netDebug");
  StartRecording();
  EXPECT_EQ(kEnabledForRecording, *toplevel_);
  EXPECT_EQ(0, *debug);
  // A group registered while recording gets its flag at once.
  EXPECT_EQ(kEnabledForRecording, *TraceLog::GetCategoryGroupEnabled("late"));

  TraceEventHandle handle;
  {
    const char* const arg_names[] = {"count"};
    const unsigned char arg_types[] = {TRACE_VALUE_TYPE_INT};
    const unsigned long long arg_values[] = {42};
    ScopedCompleteEvent event(toplevel_, "Span", 0, TRACE_EVENT_FLAG_NONE, 1,
                              arg_names, arg_types, arg_values);
    AddEvent('I', debug, "excluded");
    handle = AddEvent('I', toplevel_, "Inside");
  }
  EXPECT_NE(0u, handle.chunk_seq);
  EXPECT_STREQ("Inside", trace_log_->GetEventByHandle(handle)->name());

  const std::vector<Seen> events = ReadEvents();
  ASSERT_EQ(2u, events.size());
  EXPECT_EQ("Span", events[0].name);
  EXPECT_EQ('X', events[0].phase);
  EXPECT_EQ(CurrentThreadId(), events[0].thread_id);
  EXPECT_EQ("count", events[0].arg_name);
  EXPECT_EQ("42", events[0].arg_text);
  EXPECT_EQ("Inside", events[1].name);
}

TEST_F(TraceLogTest, CompleteEventsGetTheirDuration) {
  StartRecording();
  const TraceEventHandle handle = AddEvent('X', toplevel_, "Timed");
  TraceEvent* event = trace_log_->GetEventByHandle(handle);
  EXPECT_EQ(-1, event->duration().InMicroseconds());
  PlatformThread::Sleep(TimeDelta::FromMilliseconds(5));
  trace_log_->UpdateTraceEventDuration(toplevel_, "Timed", handle);
  EXPECT_GE(event->duration().InMicroseconds(), 4000);

  // A zero handle changes nothing.
  const TraceEventHandle second = AddEvent('X', toplevel_, "Untouched");
  trace_log_->UpdateTraceEventDuration(toplevel_, "Untouched",
                                       TraceEventHandle());
  EXPECT_EQ(-1,
            trace_log_->GetEventByHandle(second)->duration().InMicroseconds());
}

TEST_F(TraceLogTest, IdsAreMangled) {
  StartRecording();
  const TraceEventHandle handle =
      AddEvent('I', toplevel_, "Mangled", TRACE_EVENT_FLAG_MANGLE_ID, 5);
  const unsigned long long pid = static_cast<unsigned long long>(
      static_cast<long long>(trace_log_->process_id()));
  const unsigned long long hash =
      (14695981039346656037ull ^ pid) * 1099511628211ull;
  EXPECT_EQ(5 ^ hash, trace_log_->GetEventByHandle(handle)->id());
  EXPECT_EQ(7 ^ hash, trace_log_->MangleEventId(7));
}

TraceEventHandle g_inner_handle;
int g_callback_calls = 0;
char g_callback_phases[8];

void AddEventFromCallback(TimeTicks /*timestamp*/,
                          char phase,
                          const unsigned char* category_group_enabled,
                          const char* /*name*/,
                          const char* /*scope*/,
                          unsigned long long /*id*/,
                          int /*num_args*/,
                          const char* const* /*arg_names*/,
                          const unsigned char* /*arg_types*/,
                          const unsigned long long* /*arg_values*/,
                          unsigned int /*flags*/) {
  g_callback_phases[g_callback_calls++ % 8] = phase;
  g_inner_handle = AddEvent('I', category_group_enabled, "Reentered");
}

TEST_F(TraceLogTest, EventCallbackAndReentry) {
  StartRecording();
  trace_log_->SetEventCallbackEnabled(TraceConfig(), &AddEventFromCallback);
  EXPECT_EQ(kEnabledForRecording | kEnabledForEventCallback, *toplevel_);
  g_inner_handle.chunk_seq = 99;
  const TraceEventHandle handle = AddEvent('X', toplevel_, "Outer");
  trace_log_->UpdateTraceEventDuration(toplevel_, "Outer", handle);
  // The complete event's begin goes out as 'B', its end as 'E'; the event
  // added from inside the trace log is dropped.
  EXPECT_EQ(2, g_callback_calls);
  EXPECT_EQ('B', g_callback_phases[0]);
  EXPECT_EQ('E', g_callback_phases[1]);
  EXPECT_EQ(0u, g_inner_handle.chunk_seq);
  EXPECT_EQ(std::vector<std::string>{"Outer"}, Names(ReadEvents()));

  trace_log_->SetEventCallbackDisabled();
  EXPECT_EQ(kEnabledForRecording, *toplevel_);
}

void CountCall(int* calls) {
  ++*calls;
}

TEST_F(TraceLogTest, WatchEvent) {
  StartRecording();
  int calls = 0;
  trace_log_->SetWatchEvent("toplevel", "Watched", Bind(&CountCall, &calls));
  AddEvent('I', toplevel_, "Other");
  AddEvent('I', toplevel_, "Watched");
  EXPECT_EQ(1, calls);
  // Stopping the recording ends the watch.
  trace_log_->SetDisabled();
  StartRecording();
  AddEvent('I', toplevel_, "Watched");
  EXPECT_EQ(1, calls);
}

TEST_F(TraceLogTest, MetadataWithNothingElse) {
  StartRecording();
  trace_log_->SetDisabled();
  EXPECT_EQ(0, *toplevel_);
  EXPECT_FALSE(trace_log_->IsEnabled());
  const std::vector<Seen> events = ReadEvents();
  ASSERT_EQ(1u, events.size());
  EXPECT_EQ("num_cpus", events[0].name);
  EXPECT_EQ('M', events[0].phase);
  EXPECT_EQ(0, events[0].thread_id);
  EXPECT_EQ("number", events[0].arg_name);
  EXPECT_NE("0", events[0].arg_text);
}

TEST_F(TraceLogTest, MetadataInOrder) {
  StartRecording();
  const unsigned char* metadata =
      TraceLog::GetCategoryGroupEnabled("__metadata");
  trace_log_->AddMetadataEvent(metadata, "first", 0, nullptr, nullptr, nullptr,
                               nullptr, 0);
  trace_log_->AddMetadataEvent(metadata, "second", 0, nullptr, nullptr, nullptr,
                               nullptr, 0);
  trace_log_->SetProcessName("installer");
  trace_log_->SetProcessSortIndex(-3);
  trace_log_->UpdateProcessLabel(1, "label");
  trace_log_->SetThreadSortIndex(77, 5);
  trace_log_->SetThreadSortIndex(78, 0);
  trace_log_->SetDisabled();
  const std::vector<Seen> events = ReadEvents();
  EXPECT_EQ((std::vector<std::string>{"second", "first", "num_cpus",
                                      "process_sort_index", "process_name",
                                      "process_labels", "thread_sort_index"}),
            Names(events));
  EXPECT_EQ("-3", events[3].arg_text);
  EXPECT_EQ("\"installer\"", events[4].arg_text);
  EXPECT_EQ("\"label\"", events[5].arg_text);
  EXPECT_EQ(77, events[6].thread_id);

  // The stored metadata is gone after the pass: a second pass writes the
  // process's metadata again, but not the stored events.
  StartRecording();
  trace_log_->SetDisabled();
  const std::vector<std::string> names = Names(ReadEvents());
  EXPECT_EQ(1, std::count(names.begin(), names.end(), "first"));
  EXPECT_EQ(2, std::count(names.begin(), names.end(), "num_cpus"));
}

TEST_F(TraceLogTest, ThreadNamesAreJoined) {
  ThreadNameRegistry* registry = ThreadNameRegistry::GetInstance();
  StartRecording();
  registry->SetName(PlatformThread::CurrentId(), "first");
  AddEvent('I', toplevel_, "a");
  registry->SetName(PlatformThread::CurrentId(), "second");
  AddEvent('I', toplevel_, "b");
  registry->SetName(PlatformThread::CurrentId(), "first");
  AddEvent('I', toplevel_, "c");
  trace_log_->SetDisabled();
  bool found = false;
  for (const Seen& event : ReadEvents()) {
    if (event.name != "thread_name")
      continue;
    found = true;
    EXPECT_EQ(CurrentThreadId(), event.thread_id);
    EXPECT_EQ("\"first,second\"", event.arg_text);
  }
  EXPECT_TRUE(found);
}

TEST_F(TraceLogTest, BufferKinds) {
  EXPECT_EQ(4000u * 64, trace_log_->trace_buffer_for_testing()->Capacity());
  StartRecording(TraceLog::kInternalRecordContinuously |
                 TraceLog::kInternalEchoToConsole);
  EXPECT_EQ(1000u * 64, trace_log_->trace_buffer_for_testing()->Capacity());
  StartRecording(TraceLog::kInternalEchoToConsole);
  EXPECT_EQ(256u * 64, trace_log_->trace_buffer_for_testing()->Capacity());
  StartRecording(TraceLog::kInternalRecordUntilFull);
  EXPECT_EQ(4000u * 64, trace_log_->trace_buffer_for_testing()->Capacity());
  EXPECT_FALSE(trace_log_->trace_buffer_for_testing()->IsFull());
}

TEST_F(TraceLogTest, FullBufferStopsRecording) {
  StartRecording();
  int added = 0;
  while (trace_log_->IsEnabled() && added < 4000 * 64 + 1) {
    AddEvent('I', toplevel_, "Filler");
    ++added;
  }
  // The chunk that found the buffer full is the 4000th; its first event
  // is still stored.
  EXPECT_EQ(3999 * 64 + 1, added);
  EXPECT_EQ(0, *toplevel_);
  bool overflowed = false;
  for (const Seen& event : ReadEvents())
    overflowed |= event.name == "trace_buffer_overflowed";
  EXPECT_TRUE(overflowed);
}

TEST_F(TraceLogTest, ThreadWithALoopUsesItsOwnChunk) {
  StartRecording();
  TraceEventHandle handle;
  {
    MessageLoop loop;
    handle = AddEvent('I', toplevel_, "OnLoopThread");
    EXPECT_STREQ("OnLoopThread", trace_log_->GetEventByHandle(handle)->name());
  }
  // The loop's end gave the chunk back to the buffer.
  EXPECT_EQ(std::vector<std::string>{"OnLoopThread"}, Names(ReadEvents()));
}

TEST_F(TraceLogTest, PseudoStack) {
  AllocationContextTracker::SetCaptureEnabled(true);
  AllocationContextTracker::SetCaptureEnabled(true);
  StartRecording();
  AllocationContextTracker* tracker =
      AllocationContextTracker::GetInstanceForCurrentThread();
  AddEvent('B', toplevel_, "outer");
  const TraceEventHandle handle = AddEvent('X', toplevel_, "inner");
  AddEvent('B', toplevel_, "copied", TRACE_EVENT_FLAG_COPY);
  EXPECT_EQ((std::vector<const char*>{"outer", "inner"}),
            tracker->pseudo_stack());
  trace_log_->UpdateTraceEventDuration(toplevel_, "inner", handle);
  EXPECT_EQ(std::vector<const char*>{"outer"}, tracker->pseudo_stack());
  // Pops go by position, whatever they name.
  AddEvent('E', toplevel_, "anything");
  AddEvent('E', toplevel_, "extra");
  EXPECT_TRUE(tracker->pseudo_stack().empty());
}

TEST_F(TraceLogTest, ConsoleLines) {
  StartRecording();
  const unsigned char* cat = TraceLog::GetCategoryGroupEnabled("cat");
  TraceEvent outer;
  outer.Initialize(CurrentThreadId(), TimeTicks::FromInternalValue(1000),
                   ThreadTicks(), 'B', cat, "outer", nullptr, 0, 0, 0, nullptr,
                   nullptr, nullptr, nullptr, 0);
  TraceEvent inner;
  inner.Initialize(CurrentThreadId(), TimeTicks::FromInternalValue(2000),
                   ThreadTicks(), 'B', cat, "inner", nullptr, 0, 0, 0, nullptr,
                   nullptr, nullptr, nullptr, 0);
  EXPECT_EQ(": \x1b[0;31mouter[cat]\x1b[0;m",
            trace_log_->EventToConsoleMessage(
                'B', TimeTicks::FromInternalValue(1000), &outer));
  EXPECT_EQ(": \x1b[0;31m| inner[cat]\x1b[0;m",
            trace_log_->EventToConsoleMessage(
                'B', TimeTicks::FromInternalValue(2000), &inner));
  EXPECT_EQ(": \x1b[0;31m| inner[cat] (1.500 ms)\x1b[0;m",
            trace_log_->EventToConsoleMessage(
                'E', TimeTicks::FromInternalValue(3500), &inner));
  EXPECT_EQ(": \x1b[0;31mouter[cat] (3.000 ms)\x1b[0;m",
            trace_log_->EventToConsoleMessage(
                'E', TimeTicks::FromInternalValue(4000), &outer));
  // An end without a begin shows no time.
  EXPECT_EQ(": \x1b[0;31m (0.000 ms)\x1b[0;m",
            trace_log_->EventToConsoleMessage(
                'E', TimeTicks::FromInternalValue(5000), nullptr));
}

}  // namespace
}  // namespace trace_event
}  // namespace base
