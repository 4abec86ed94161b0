#include "base/trace_event/memory_dump_manager.h"

#include <memory>
#include <string>
#include <vector>

#include "base/bind.h"
#include "base/command_line.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/threading/thread_task_runner_handle.h"
#include "base/trace_event/heap_profiler_allocation_context_tracker.h"
#include "base/trace_event/memory_allocator_dump.h"
#include "base/trace_event/memory_dump_manager_delegate.h"
#include "base/trace_event/memory_dump_provider.h"
#include "base/trace_event/memory_dump_session_state.h"
#include "base/trace_event/process_memory_dump.h"
#include "base/trace_event/trace_event_impl.h"
#include "gtest/gtest.h"

namespace base {
namespace trace_event {
namespace {

class RecordingProvider : public MemoryDumpProvider {
 public:
  bool OnMemoryDump(const MemoryDumpArgs& /*args*/,
                    ProcessMemoryDump* /*pmd*/) override {
    return true;
  }
  void OnHeapProfilingEnabled(bool enabled) override {
    heap_profiling_calls.push_back(enabled);
  }
  std::vector<bool> heap_profiling_calls;
};

class DeletionProvider : public RecordingProvider {
 public:
  explicit DeletionProvider(bool* deleted) : deleted_(deleted) {}
  ~DeletionProvider() override { *deleted_ = true; }

 private:
  bool* const deleted_;
};

void StoreResult(uint64_t* guid_out,
                 bool* success_out,
                 uint64_t guid,
                 bool success) {
  *guid_out = guid;
  *success_out = success;
}

TEST(MemoryDumpManagerTest, HeapProfilingSwitch) {
  CommandLine::Init();
  CommandLine::ForCurrentProcess()->AppendSwitch("enable-heap-profiling");
  MemoryDumpManager* manager = MemoryDumpManager::GetInstance();
  EXPECT_TRUE(manager->IsHeapProfilingEnabled());
  EXPECT_TRUE(AllocationContextTracker::capture_enabled());
  RecordingProvider provider;
  manager->AddDumpProvider(&provider, "Recording", nullptr);
  EXPECT_EQ(std::vector<bool>{true}, provider.heap_profiling_calls);
  manager->RemoveDumpProvider(&provider);
}

TEST(MemoryDumpManagerTest, Registration) {
  MemoryDumpManager* manager = MemoryDumpManager::GetInstance();
  EXPECT_FALSE(manager->IsHeapProfilingEnabled());
  const size_t before = manager->dump_provider_count();
  RecordingProvider provider;
  manager->AddDumpProvider(&provider, "Recording", nullptr);
  manager->AddDumpProvider(&provider, "Recording", nullptr);
  EXPECT_EQ(before + 1, manager->dump_provider_count());
  MessageLoop loop;
  manager->AddDumpProvider(&provider, "Recording",
                           ThreadTaskRunnerHandle::Get());
  EXPECT_EQ(before + 2, manager->dump_provider_count());
  manager->RemoveDumpProvider(&provider);
  manager->RemoveDumpProvider(&provider);
  EXPECT_EQ(before, manager->dump_provider_count());
  EXPECT_TRUE(provider.heap_profiling_calls.empty());

  // A handed-over provider goes with its record.
  bool deleted = false;
  DeletionProvider* owned = new DeletionProvider(&deleted);
  manager->AddDumpProvider(owned, "Owned", nullptr);
  EXPECT_EQ(before + 1, manager->dump_provider_count());
  manager->RemoveDumpProviderAndDeleteOwned(
      std::unique_ptr<MemoryDumpProvider>(owned));
  EXPECT_TRUE(deleted);
  EXPECT_EQ(before, manager->dump_provider_count());
}

TEST(MemoryDumpManagerTest, RequestWhileDisabledFails) {
  uint64_t guid = 99;
  bool success = true;
  MemoryDumpManager::GetInstance()->RequestGlobalDump(
      MemoryDumpType::EXPLICITLY_TRIGGERED, MemoryDumpLevelOfDetail::LIGHT,
      Bind(&StoreResult, &guid, &success));
  EXPECT_EQ(0u, guid);
  EXPECT_FALSE(success);
}

TEST(MemoryDumpManagerTest, TraceLogReportsItsMemory) {
  ProcessMemoryDump pmd;
  const MemoryDumpArgs args = {MemoryDumpLevelOfDetail::DETAILED};
  EXPECT_TRUE(TraceLog::GetInstance()->OnMemoryDump(args, &pmd));
  EXPECT_TRUE(pmd.GetAllocatorDump("tracing/main_trace_log/TraceLog"));
  EXPECT_TRUE(pmd.GetAllocatorDump("tracing/main_trace_log/TraceBufferVector"));
  EXPECT_TRUE(
      pmd.GetAllocatorDump("tracing/main_trace_log/TraceEventMemoryOverhead"));
}

// Answers every request at once and quits the loop after |limit| of them.
class ImmediateDelegate : public MemoryDumpManagerDelegate {
 public:
  ImmediateDelegate(size_t limit, const Closure& quit)
      : limit_(limit), quit_(quit) {}

  void RequestGlobalMemoryDump(const MemoryDumpRequestArgs& args,
                               const MemoryDumpCallback& callback) override {
    requests.push_back(args);
    callback.Run(args.dump_guid, true);
    if (requests.size() == limit_)
      quit_.Run();
  }

  std::vector<MemoryDumpRequestArgs> requests;

 private:
  const size_t limit_;
  const Closure quit_;
};

TraceConfig MemoryInfraConfig() {
  TraceConfig config;
  config.disabled_categories()->push_back(MemoryDumpManager::kTraceCategory);
  config.mutable_memory_dump_config()->push_back(
      {10, static_cast<int32_t>(MemoryDumpLevelOfDetail::LIGHT)});
  config.mutable_memory_dump_config()->push_back(
      {80, static_cast<int32_t>(MemoryDumpLevelOfDetail::DETAILED)});
  return config;
}

TEST(MemoryDumpManagerTest, PeriodicDumpsWhileTracing) {
  MessageLoop loop;
  RunLoop run_loop;
  ImmediateDelegate delegate(10, run_loop.QuitClosure());
  MemoryDumpManager* manager = MemoryDumpManager::GetInstance();
  manager->Initialize(&delegate, true);
  TraceLog* trace_log = TraceLog::GetInstance();
  trace_log->SetEnabled(MemoryInfraConfig(),
                        TraceLog::kInternalRecordUntilFull);
  EXPECT_TRUE(manager->IsMemoryTracingEnabled());
  EXPECT_TRUE(manager->session_state());
  run_loop.Run();

  // A heavy rate of 8: the first and the ninth dump are detailed.
  ASSERT_EQ(10u, delegate.requests.size());
  for (size_t i = 0; i < delegate.requests.size(); ++i) {
    EXPECT_EQ(i % 8 == 0 ? MemoryDumpLevelOfDetail::DETAILED
                         : MemoryDumpLevelOfDetail::LIGHT,
              delegate.requests[i].level_of_detail)
        << i;
    EXPECT_EQ(MemoryDumpType::PERIODIC_INTERVAL,
              delegate.requests[i].dump_type);
  }
  EXPECT_NE(delegate.requests[0].dump_guid, delegate.requests[1].dump_guid);

  // Each request is bracketed in the trace by a begin and an end.
  trace_log->SetDisabled();
  EXPECT_FALSE(manager->IsMemoryTracingEnabled());
  EXPECT_FALSE(manager->session_state());
  int begins = 0;
  int ends = 0;
  trace_log->ReadEventsForTesting([&](const TraceEvent& event) {
    if (std::string(event.name()) != "GlobalMemoryDump")
      return;
    if (event.phase() == 'b') {
      ++begins;
    } else if (event.phase() == 'e') {
      ++ends;
      EXPECT_STREQ("success", event.arg_name(0));
      EXPECT_TRUE(event.arg_value(0).as_bool);
    }
  });
  EXPECT_GE(begins, 10);
  EXPECT_EQ(begins, ends);

  // Requests fail again once tracing stops.
  uint64_t guid = 5;
  bool success = true;
  manager->RequestGlobalDump(MemoryDumpType::EXPLICITLY_TRIGGERED,
                             MemoryDumpLevelOfDetail::LIGHT,
                             Bind(&StoreResult, &guid, &success));
  EXPECT_FALSE(success);
}

TEST(MemoryDumpManagerTest, HeapProfilingMetadata) {
  CommandLine::Init();
  CommandLine::ForCurrentProcess()->AppendSwitch("enable-heap-profiling");
  MessageLoop loop;
  ImmediateDelegate delegate(0, Closure());
  MemoryDumpManager* manager = MemoryDumpManager::GetInstance();
  manager->Initialize(&delegate, false);
  TraceLog* trace_log = TraceLog::GetInstance();
  trace_log->SetEnabled(MemoryInfraConfig(),
                        TraceLog::kInternalRecordUntilFull);
  ASSERT_TRUE(manager->session_state()->stack_frame_deduplicator());
  ASSERT_TRUE(manager->session_state()->type_name_deduplicator());
  trace_log->SetDisabled();
  // Not the coordinator: no periodic dumps.
  EXPECT_TRUE(delegate.requests.empty());

  std::vector<std::string> metadata;
  trace_log->ReadEventsForTesting([&metadata](const TraceEvent& event) {
    if (event.phase() != 'M' ||
        event.arg_type(0) != TRACE_VALUE_TYPE_CONVERTABLE)
      return;
    std::string text = std::string(event.name()) + "=";
    event.convertable_value(0)->AppendAsTraceFormat(&text);
    metadata.push_back(text);
  });
  EXPECT_EQ((std::vector<std::string>{"typeNames={\"0\":\"[unknown]\"}",
                                      "stackFrames={}"}),
            metadata);
}

}  // namespace
}  // namespace trace_event
}  // namespace base
