#include "base/trace_event/memory_dump_manager.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "base/bind.h"
#include "base/command_line.h"
#include "base/lazy_instance.h"
#include "base/logging.h"
#include "base/threading/thread.h"
#include "base/trace_event/heap_profiler_allocation_context_tracker.h"
#include "base/trace_event/heap_profiler_stack_frame_deduplicator.h"
#include "base/trace_event/heap_profiler_type_name_deduplicator.h"
#include "base/trace_event/memory_dump_manager_delegate.h"
#include "base/trace_event/memory_dump_provider.h"
#include "base/trace_event/memory_dump_session_state.h"
#include "base/trace_event/trace_event.h"

namespace base {
namespace trace_event {

namespace {

const char kEnableHeapProfilingSwitch[] = "enable-heap-profiling";
const char kEnableMemoryBenchmarkingSwitch[] = "enable-memory-benchmarking";
const char kGlobalDumpEventName[] = "GlobalMemoryDump";

LazyInstance::Leaky<MemoryDumpManager> g_instance;
std::atomic<uint32_t> g_next_dump_number{0};

const unsigned char* MemoryInfraCategory() {
  static const unsigned char* const category =
      TraceLog::GetCategoryGroupEnabled(MemoryDumpManager::kTraceCategory);
  return category;
}

bool MemoryInfraCategoryEnabled() {
  return (*MemoryInfraCategory() & kEnabledForAnyMask) != 0;
}

// A nestable asynchronous event of the global dump |dump_guid|.
void AddGlobalDumpEvent(char phase,
                        uint64_t dump_guid,
                        int num_args,
                        const char* const* arg_names,
                        const unsigned char* arg_types,
                        const unsigned long long* arg_values) {
  TraceLog::GetInstance()->AddTraceEventWithThreadIdAndTimestamp(
      phase, MemoryInfraCategory(), kGlobalDumpEventName, nullptr, dump_guid, 0,
      static_cast<int>(PlatformThread::CurrentId()), TimeTicks::Now(), num_args,
      arg_names, arg_types, arg_values, nullptr, TRACE_EVENT_FLAG_HAS_ID);
}

ConvertableToTraceFormat* GetStackFrameDeduplicator(
    const MemoryDumpSessionState& session_state) {
  return session_state.stack_frame_deduplicator();
}

ConvertableToTraceFormat* GetTypeNameDeduplicator(
    const MemoryDumpSessionState& session_state) {
  return session_state.type_name_deduplicator();
}

// Metadata named like its one convertable argument.
void AddDeduplicatorMetadata(
    const char* name,
    scoped_refptr<MemoryDumpSessionState> session_state,
    SessionStateConvertableProxy::GetterFunction getter) {
  std::unique_ptr<ConvertableToTraceFormat> convertables[1];
  convertables[0].reset(
      new SessionStateConvertableProxy(std::move(session_state), getter));
  const unsigned char arg_types[] = {TRACE_VALUE_TYPE_CONVERTABLE};
  const unsigned long long arg_values[] = {0};
  TraceLog::GetInstance()->AddMetadataEvent(
      TraceLog::GetCategoryGroupEnabled("__metadata"), name, 1, &name,
      arg_types, arg_values, convertables, TRACE_EVENT_FLAG_NONE);
}

}  // namespace

const char MemoryDumpManager::kTraceCategory[] =
    "disabled-by-default-memory-infra";

bool MemoryDumpProviderInfo::Comparator::operator()(
    const scoped_refptr<MemoryDumpProviderInfo>& a,
    const scoped_refptr<MemoryDumpProviderInfo>& b) const {
  const std::pair<const void*, const void*> key_a(a->task_runner.get(),
                                                  a->dump_provider);
  const std::pair<const void*, const void*> key_b(b->task_runner.get(),
                                                  b->dump_provider);
  return std::greater<std::pair<const void*, const void*>>()(key_a, key_b);
}

MemoryDumpProviderInfo::MemoryDumpProviderInfo(
    MemoryDumpProvider* dump_provider,
    const char* name,
    scoped_refptr<SingleThreadTaskRunner> task_runner)
    : dump_provider(dump_provider),
      name(name),
      task_runner(std::move(task_runner)),
      target_pid(0),
      options_flag(1),
      consecutive_failures(0),
      disabled(false) {}

MemoryDumpProviderInfo::~MemoryDumpProviderInfo() = default;

// static
MemoryDumpManager* MemoryDumpManager::GetInstance() {
  return g_instance.Pointer();
}

MemoryDumpManager::MemoryDumpManager()
    : delegate_(nullptr),
      is_coordinator_(false),
      memory_tracing_enabled_(0),
      dumper_registrations_ignored_for_testing_(false),
      heap_profiling_enabled_(false),
      periodic_dumps_count_(0),
      heavy_dump_rate_(0) {
  g_next_dump_number.fetch_add(1);
  EnableHeapProfilingIfRequested();
}

MemoryDumpManager::~MemoryDumpManager() = default;

void MemoryDumpManager::EnableHeapProfilingIfRequested() {
  if (heap_profiling_enabled_ || !CommandLine::InitializedForCurrentProcess())
    return;
  if (!CommandLine::ForCurrentProcess()->HasSwitch(kEnableHeapProfilingSwitch))
    return;
  AllocationContextTracker::SetCaptureEnabled(true);
  std::vector<scoped_refptr<MemoryDumpProviderInfo>> providers;
  {
    AutoLock lock(lock_);
    providers.assign(dump_providers_.begin(), dump_providers_.end());
    heap_profiling_enabled_ = true;
  }
  // Providers are called with no lock held, each kept alive by a reference.
  for (const scoped_refptr<MemoryDumpProviderInfo>& info : providers)
    info->dump_provider->OnHeapProfilingEnabled(true);
}

void MemoryDumpManager::Initialize(MemoryDumpManagerDelegate* delegate,
                                   bool is_coordinator) {
  {
    AutoLock lock(lock_);
    delegate_ = delegate;
    is_coordinator_ = is_coordinator;
  }
  TraceLog::GetInstance()->AddEnabledStateObserver(this);
}

void MemoryDumpManager::AddDumpProvider(
    MemoryDumpProvider* mdp,
    const char* name,
    scoped_refptr<SingleThreadTaskRunner> task_runner) {
  scoped_refptr<MemoryDumpProviderInfo> info(
      new MemoryDumpProviderInfo(mdp, name, std::move(task_runner)));
  bool tell_heap_profiling;
  {
    AutoLock lock(lock_);
    if (dumper_registrations_ignored_for_testing_)
      return;
    const bool inserted = dump_providers_.insert(info).second;
    tell_heap_profiling = inserted && heap_profiling_enabled_;
  }
  if (tell_heap_profiling)
    mdp->OnHeapProfilingEnabled(true);
}

void MemoryDumpManager::RemoveDumpProvider(MemoryDumpProvider* mdp) {
  RemoveDumpProviderInternal(mdp, nullptr);
}

void MemoryDumpManager::RemoveDumpProviderAndDeleteOwned(
    std::unique_ptr<MemoryDumpProvider> mdp) {
  MemoryDumpProvider* const provider = mdp.get();
  RemoveDumpProviderInternal(provider, std::move(mdp));
}

void MemoryDumpManager::RemoveDumpProviderInternal(
    MemoryDumpProvider* mdp,
    std::unique_ptr<MemoryDumpProvider> owned) {
  scoped_refptr<MemoryDumpProviderInfo> removed;
  {
    AutoLock lock(lock_);
    for (auto it = dump_providers_.begin(); it != dump_providers_.end(); ++it) {
      if ((*it)->dump_provider != mdp)
        continue;
      removed = *it;
      removed->disabled = true;
      removed->owned_dump_provider = std::move(owned);
      dump_providers_.erase(it);
      break;
    }
  }
  // The record, and an owned provider with it, goes with its last holder;
  // outside the lock, since a provider's destructor may come back here.
}

void MemoryDumpManager::RequestGlobalDump(
    MemoryDumpType dump_type,
    MemoryDumpLevelOfDetail level_of_detail,
    const MemoryDumpCallback& callback) {
  if (!IsMemoryTracingEnabled()) {
    if (!callback.is_null())
      callback.Run(0, false);
    return;
  }
  const uint64_t dump_guid =
      TraceLog::GetInstance()->MangleEventId(g_next_dump_number.fetch_add(1));
  if (MemoryInfraCategoryEnabled()) {
    AddGlobalDumpEvent(TRACE_EVENT_PHASE_NESTABLE_ASYNC_BEGIN, dump_guid, 0,
                       nullptr, nullptr, nullptr);
  }
  const MemoryDumpCallback finish_callback =
      Bind(&MemoryDumpManager::FinishGlobalDump, callback);
  MemoryDumpManagerDelegate* delegate;
  {
    AutoLock lock(lock_);
    delegate = delegate_;
  }
  const MemoryDumpRequestArgs args = {dump_guid, dump_type, level_of_detail};
  delegate->RequestGlobalMemoryDump(args, finish_callback);
}

// static
void MemoryDumpManager::FinishGlobalDump(MemoryDumpCallback callback,
                                         uint64_t dump_guid,
                                         bool success) {
  if (MemoryInfraCategoryEnabled()) {
    const char* const arg_names[] = {"success"};
    const unsigned char arg_types[] = {TRACE_VALUE_TYPE_BOOL};
    const unsigned long long arg_values[] = {success ? 1u : 0u};
    AddGlobalDumpEvent(TRACE_EVENT_PHASE_NESTABLE_ASYNC_END, dump_guid, 1,
                       arg_names, arg_types, arg_values);
  }
  if (!callback.is_null()) {
    callback.Run(dump_guid, success);
    callback.Reset();
  }
}

void MemoryDumpManager::OnTraceLogEnabled() {
  if (!MemoryInfraCategoryEnabled())
    return;
  TraceLog::GetInstance()->InitializeThreadLocalEventBufferIfSupported();

  std::unique_ptr<Thread> dump_thread(new Thread("MemoryInfra"));
  if (!dump_thread->Start()) {
    LOG(ERROR) << "Failed to start the memory-infra thread for tracing";
    return;
  }

  AutoLock lock(lock_);
  session_state_ = new MemoryDumpSessionState;
  if (heap_profiling_enabled_) {
    session_state_->SetStackFrameDeduplicator(
        std::unique_ptr<StackFrameDeduplicator>(new StackFrameDeduplicator));
    session_state_->SetTypeNameDeduplicator(
        std::unique_ptr<TypeNameDeduplicator>(new TypeNameDeduplicator));
    AddDeduplicatorMetadata("stackFrames", session_state_,
                            &GetStackFrameDeduplicator);
    AddDeduplicatorMetadata("typeNames", session_state_,
                            &GetTypeNameDeduplicator);
  }
  dump_thread_ = std::move(dump_thread);
  memory_tracing_enabled_.store(1);

  if (!is_coordinator_ || (CommandLine::InitializedForCurrentProcess() &&
                           CommandLine::ForCurrentProcess()->HasSwitch(
                               kEnableMemoryBenchmarkingSwitch))) {
    return;
  }
  periodic_dumps_count_ = 0;
  const std::vector<TraceConfig::MemoryDumpTriggerConfig> triggers =
      TraceLog::GetInstance()->GetCurrentTraceConfig().memory_dump_config();
  if (triggers.empty())
    return;
  uint32_t min_period_ms = triggers[0].periodic_interval_ms;
  uint32_t heavy_period_ms = 0;
  for (const TraceConfig::MemoryDumpTriggerConfig& trigger : triggers) {
    min_period_ms = std::min(min_period_ms, trigger.periodic_interval_ms);
    if (trigger.level_of_detail ==
        static_cast<int32_t>(MemoryDumpLevelOfDetail::DETAILED)) {
      heavy_period_ms = trigger.periodic_interval_ms;
    }
  }
  // A trigger without a period cannot set a timer.
  if (min_period_ms == 0)
    return;
  heavy_dump_rate_ = heavy_period_ms / min_period_ms;
  periodic_dump_timer_.Start(
      LOCATION_FROM_HERE(
          "base::trace_event::MemoryDumpManager::OnTraceLogEnabled"),
      TimeDelta::FromMilliseconds(min_period_ms),
      Bind(&MemoryDumpManager::RunPeriodicGlobalDump, this));
}

void MemoryDumpManager::OnTraceLogDisabled() {
  memory_tracing_enabled_.store(0);
  std::unique_ptr<Thread> dump_thread;
  {
    AutoLock lock(lock_);
    dump_thread = std::move(dump_thread_);
    session_state_ = nullptr;
  }
  periodic_dump_timer_.Stop();
  if (dump_thread)
    dump_thread->Stop();
}

void MemoryDumpManager::RunPeriodicGlobalDump() {
  MemoryDumpLevelOfDetail level_of_detail = MemoryDumpLevelOfDetail::LIGHT;
  if (heavy_dump_rate_ > 0) {
    if (periodic_dumps_count_ == 0)
      level_of_detail = MemoryDumpLevelOfDetail::DETAILED;
    if (++periodic_dumps_count_ == heavy_dump_rate_)
      periodic_dumps_count_ = 0;
  }
  RequestGlobalDump(MemoryDumpType::PERIODIC_INTERVAL, level_of_detail,
                    MemoryDumpCallback());
}

bool MemoryDumpManager::IsHeapProfilingEnabled() const {
  AutoLock lock(lock_);
  return heap_profiling_enabled_;
}

scoped_refptr<MemoryDumpSessionState> MemoryDumpManager::session_state() const {
  AutoLock lock(lock_);
  return session_state_;
}

size_t MemoryDumpManager::dump_provider_count() const {
  AutoLock lock(lock_);
  return dump_providers_.size();
}

}  // namespace trace_event
}  // namespace base
