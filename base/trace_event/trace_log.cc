#include "base/trace_event/trace_log.h"

#include <windows.h>

#include <string.h>

#include <utility>

#include "base/lazy_instance.h"
#include "base/logging.h"
#include "base/message_loop/message_loop.h"
#include "base/strings/string_split.h"
#include "base/strings/stringprintf.h"
#include "base/threading/platform_thread.h"
#include "base/threading/thread_name_registry.h"
#include "base/threading/thread_task_runner_handle.h"
#include "base/trace_event/heap_profiler_allocation_context_tracker.h"
#include "base/trace_event/memory_dump_manager.h"
#include "base/trace_event/process_memory_dump.h"
#include "base/trace_event/trace_buffer.h"
#include "base/trace_event/trace_event.h"
#include "base/trace_event/trace_event_etw_export_win.h"
#include "base/trace_event/trace_event_impl.h"
#include "base/trace_event/trace_event_memory_overhead.h"

namespace base {
namespace trace_event {

namespace {

// The category registry: slot i's name and enabled-flag byte.
constexpr size_t kMaxCategoryGroups = 100;
constexpr size_t kCategoryAlreadyShutdown = 1;
constexpr size_t kCategoryCategoriesExhausted = 2;
constexpr size_t kCategoryMetadata = 3;
constexpr size_t kNumBuiltinCategories = 4;
const char* g_category_groups[kMaxCategoryGroups] = {
    "toplevel", "tracing already shutdown",
    "tracing categories exhausted; must increase MAX_CATEGORY_GROUPS",
    "__metadata"};
unsigned char g_category_group_enabled[kMaxCategoryGroups] = {0};
std::atomic<size_t> g_category_index{kNumBuiltinCategories};

// Buffer sizes, in chunks of 64 events.
constexpr size_t kTraceEventVectorBigBufferChunks = 8000000;
constexpr size_t kTraceEventVectorBufferChunks = 4000;
constexpr size_t kTraceEventRingBufferChunks = 1000;
constexpr size_t kEchoToConsoleTraceEventBufferChunks = 256;

// Where the console echo says it comes from.
const char kConsoleLogFile[] = "base/trace_event/trace_log";
constexpr int kConsoleLogLineForEvent = 1288;
constexpr int kConsoleLogLineForEnd = 1455;
constexpr int kThreadColorCount = 6;

// FNV-1a, 64 bits.
constexpr unsigned long long kFnvOffsetBasis = 14695981039346656037ull;
constexpr unsigned long long kFnvPrime = 1099511628211ull;

LazyInstance::Leaky<TraceLog> g_instance;

ThreadTicks ThreadNow() {
  return ThreadTicks::IsSupported() ? ThreadTicks::Now() : ThreadTicks();
}

TraceEventHandle MakeHandle(uint32_t chunk_seq,
                            size_t chunk_index,
                            size_t event_index) {
  TraceEventHandle handle;
  handle.chunk_seq = chunk_seq;
  // The handle keeps the low 16 bits of the index.
  handle.chunk_index = static_cast<uint16_t>(chunk_index);
  handle.event_index = static_cast<uint32_t>(event_index);
  return handle;
}

// Marks the calling thread as inside the trace log while it lives.
class ScopedInTraceEvent {
 public:
  explicit ScopedInTraceEvent(ThreadLocalPointer<void>* flag) : flag_(flag) {
    flag_->Set(this);
  }
  ScopedInTraceEvent(const ScopedInTraceEvent&) = delete;
  ScopedInTraceEvent& operator=(const ScopedInTraceEvent&) = delete;
  ~ScopedInTraceEvent() { flag_->Set(nullptr); }

 private:
  ThreadLocalPointer<void>* const flag_;
};

void WriteConsoleLine(int line, const std::string& text) {
  if (!text.empty())
    LogMessage(kConsoleLogFile, line, LOG_ERROR).stream() << text;
}

// A metadata event of one argument on |thread_id|, in |trace_event|.
void InitializeMetadataEvent(TraceEvent* trace_event,
                             int thread_id,
                             const char* metadata_name,
                             const char* arg_name,
                             unsigned char arg_type,
                             unsigned long long arg_value) {
  if (!trace_event)
    return;
  trace_event->Initialize(
      thread_id, TimeTicks(), ThreadTicks(), TRACE_EVENT_PHASE_METADATA,
      &g_category_group_enabled[kCategoryMetadata], metadata_name, nullptr, 0,
      0, 1, &arg_name, &arg_type, &arg_value, nullptr, TRACE_EVENT_FLAG_NONE);
}

unsigned long long AsArgument(const std::string& text) {
  return reinterpret_cast<uintptr_t>(text.c_str());
}

int NumberOfProcessors() {
  SYSTEM_INFO info;
  ::GetSystemInfo(&info);
  return static_cast<int>(info.dwNumberOfProcessors);
}

}  // namespace

// The event buffer of one thread with a message loop: it fills a chunk
// without the trace log's lock until the chunk is full.
class TraceLog::ThreadLocalEventBuffer
    : public MessageLoop::DestructionObserver,
      public MemoryDumpProvider {
 public:
  explicit ThreadLocalEventBuffer(TraceLog* trace_log);
  ThreadLocalEventBuffer(const ThreadLocalEventBuffer&) = delete;
  ThreadLocalEventBuffer& operator=(const ThreadLocalEventBuffer&) = delete;
  ~ThreadLocalEventBuffer() override;

  TraceEvent* AddTraceEvent(TraceEventHandle* handle);

  TraceEvent* GetEventByHandle(TraceEventHandle handle) {
    if (!chunk_ || handle.chunk_seq != chunk_->seq() ||
        handle.chunk_index != chunk_index_) {
      return nullptr;
    }
    return chunk_->GetEventAt(handle.event_index);
  }

  const TraceBufferChunk* chunk() const { return chunk_.get(); }
  int generation() const { return generation_; }

  // MemoryDumpProvider: the chunk's memory, under "tracing/thread_%d".
  bool OnMemoryDump(const MemoryDumpArgs& args,
                    ProcessMemoryDump* pmd) override;

 private:
  void WillDestroyCurrentMessageLoop() override { delete this; }
  // Gives the chunk back to the buffer, unless the buffer has changed.
  void FlushWhileLocked();

  TraceLog* const trace_log_;
  std::unique_ptr<TraceBufferChunk> chunk_;
  size_t chunk_index_;
  const int generation_;
};

TraceLog::ThreadLocalEventBuffer::ThreadLocalEventBuffer(TraceLog* trace_log)
    : trace_log_(trace_log),
      chunk_index_(0),
      generation_(trace_log->generation_.load()) {
  MessageLoop* const message_loop = MessageLoop::current();
  message_loop->AddDestructionObserver(this);
  MemoryDumpManager::GetInstance()->AddDumpProvider(
      this, "ThreadLocalEventBuffer", ThreadTaskRunnerHandle::Get());
  AutoLock lock(trace_log->lock_);
  trace_log->thread_message_loops_.insert(message_loop);
}

TraceLog::ThreadLocalEventBuffer::~ThreadLocalEventBuffer() {
  MessageLoop* const message_loop = MessageLoop::current();
  message_loop->RemoveDestructionObserver(this);
  MemoryDumpManager::GetInstance()->RemoveDumpProvider(this);
  {
    AutoLock lock(trace_log_->lock_);
    FlushWhileLocked();
    trace_log_->thread_message_loops_.erase(message_loop);
  }
  trace_log_->thread_local_event_buffer_.Set(nullptr);
}

TraceEvent* TraceLog::ThreadLocalEventBuffer::AddTraceEvent(
    TraceEventHandle* handle) {
  if (chunk_ && chunk_->IsFull()) {
    AutoLock lock(trace_log_->lock_);
    FlushWhileLocked();
    chunk_.reset();
  }
  if (!chunk_) {
    AutoLock lock(trace_log_->lock_);
    chunk_ = trace_log_->logged_events_->GetChunk(&chunk_index_);
    trace_log_->CheckIfBufferIsFullWhileLocked();
  }
  if (!chunk_)
    return nullptr;
  size_t event_index;
  TraceEvent* const trace_event = chunk_->AddTraceEvent(&event_index);
  if (trace_event && handle)
    *handle = MakeHandle(chunk_->seq(), chunk_index_, event_index);
  return trace_event;
}

bool TraceLog::ThreadLocalEventBuffer::OnMemoryDump(
    const MemoryDumpArgs& /*args*/,
    ProcessMemoryDump* pmd) {
  if (!chunk_)
    return true;
  TraceEventMemoryOverhead overhead;
  chunk_->EstimateTraceMemoryOverhead(&overhead);
  overhead.DumpInto(StringPrintf("tracing/thread_%d",
                                 static_cast<int>(PlatformThread::CurrentId()))
                        .c_str(),
                    pmd);
  return true;
}

void TraceLog::ThreadLocalEventBuffer::FlushWhileLocked() {
  if (!chunk_)
    return;
  if (trace_log_->generation_.load() == generation_)
    trace_log_->logged_events_->ReturnChunk(chunk_index_, std::move(chunk_));
}

// static
TraceLog* TraceLog::GetInstance() {
  return g_instance.Pointer();
}

TraceLog::TraceLog()
    : mode_(DISABLED),
      event_callback_(nullptr),
      dispatching_to_observer_list_(false),
      process_sort_index_(0),
      process_id_hash_(0),
      process_id_(0),
      watch_category_(nullptr),
      trace_options_(kInternalRecordUntilFull),
      thread_shared_chunk_index_(0),
      generation_(0) {
  process_id_ = static_cast<int>(PlatformThread::CurrentProcessId());
  process_id_hash_ =
      (kFnvOffsetBasis ^
       static_cast<unsigned long long>(static_cast<long long>(process_id_))) *
      kFnvPrime;
  logged_events_ = CreateTraceBuffer();
  MemoryDumpManager::GetInstance()->AddDumpProvider(this, "TraceLog", nullptr);
}

TraceLog::~TraceLog() = default;

bool TraceLog::OnMemoryDump(const MemoryDumpArgs& /*args*/,
                            ProcessMemoryDump* pmd) {
  TraceEventMemoryOverhead overhead;
  overhead.Add("TraceLog", sizeof(*this));
  {
    AutoLock lock(lock_);
    if (logged_events_)
      logged_events_->EstimateTraceMemoryOverhead(&overhead);
    for (const std::unique_ptr<TraceEvent>& metadata_event : metadata_events_)
      metadata_event->EstimateTraceMemoryOverhead(&overhead);
  }
  overhead.AddSelf();
  overhead.DumpInto("tracing/main_trace_log", pmd);
  return true;
}

std::unique_ptr<TraceBuffer> TraceLog::CreateTraceBuffer() const {
  if (trace_options_ & kInternalRecordContinuously)
    return TraceBuffer::CreateTraceBufferRingBuffer(
        kTraceEventRingBufferChunks);
  if (trace_options_ & kInternalEchoToConsole) {
    return TraceBuffer::CreateTraceBufferRingBuffer(
        kEchoToConsoleTraceEventBufferChunks);
  }
  if (trace_options_ & kInternalRecordAsMuchAsPossible) {
    return TraceBuffer::CreateTraceBufferVectorOfSize(
        kTraceEventVectorBigBufferChunks);
  }
  return TraceBuffer::CreateTraceBufferVectorOfSize(
      kTraceEventVectorBufferChunks);
}

// static
const unsigned char* TraceLog::GetCategoryGroupEnabled(
    const char* category_group) {
  TraceLog* const trace_log = GetInstance();
  if (!trace_log)
    return &g_category_group_enabled[kCategoryAlreadyShutdown];
  return trace_log->GetCategoryGroupEnabledInternal(category_group);
}

// static
const char* TraceLog::GetCategoryGroupName(
    const unsigned char* category_group_enabled) {
  return g_category_groups[category_group_enabled - g_category_group_enabled];
}

const unsigned char* TraceLog::GetCategoryGroupEnabledInternal(
    const char* name) {
  // Most lookups find a registered name without the lock.
  size_t category_index = g_category_index.load(std::memory_order_acquire);
  for (size_t i = 0; i < category_index; ++i) {
    if (strcmp(g_category_groups[i], name) == 0)
      return &g_category_group_enabled[i];
  }

  AutoLock lock(lock_);
  category_index = g_category_index.load(std::memory_order_acquire);
  for (size_t i = 0; i < category_index; ++i) {
    if (strcmp(g_category_groups[i], name) == 0)
      return &g_category_group_enabled[i];
  }
  if (category_index >= kMaxCategoryGroups)
    return &g_category_group_enabled[kCategoryCategoriesExhausted];

  // Names are kept for the process's life.
  g_category_groups[category_index] = strdup(name);
  UpdateCategoryGroupEnabledFlag(category_index);
  g_category_index.store(category_index + 1, std::memory_order_release);
  return &g_category_group_enabled[category_index];
}

void TraceLog::UpdateCategoryGroupEnabledFlag(size_t category_index) {
  const char* const category_group = g_category_groups[category_index];
  unsigned char enabled_flag = 0;
  if (mode_ == RECORDING_MODE &&
      trace_config_.IsCategoryGroupEnabled(category_group)) {
    enabled_flag |= kEnabledForRecording;
  }
  if (event_callback_.load() &&
      event_callback_trace_config_.IsCategoryGroupEnabled(category_group)) {
    enabled_flag |= kEnabledForEventCallback;
  }
  if (TraceEventETWExport::IsCategoryGroupEnabled(category_group))
    enabled_flag |= kEnabledForEtwExport;
  g_category_group_enabled[category_index] = enabled_flag;
}

void TraceLog::UpdateCategoryGroupEnabledFlags() {
  const size_t category_index =
      g_category_index.load(std::memory_order_acquire);
  for (size_t i = 0; i < category_index; ++i)
    UpdateCategoryGroupEnabledFlag(i);
}

TimeTicks TraceLog::OffsetNow() const {
  return TimeTicks::Now() - time_offset_;
}

TraceLog::ThreadLocalEventBuffer* TraceLog::thread_local_event_buffer() const {
  return thread_local_event_buffer_.Get();
}

void TraceLog::InitializeThreadLocalEventBufferIfSupported() {
  if (thread_blocks_message_loop_.Get() || !MessageLoop::current())
    return;
  ThreadLocalEventBuffer* const buffer = thread_local_event_buffer();
  if (buffer) {
    if (buffer->generation() == generation_.load())
      return;
    delete buffer;
  }
  thread_local_event_buffer_.Set(new ThreadLocalEventBuffer(this));
}

void TraceLog::SetCurrentThreadBlocksMessageLoop() {
  thread_blocks_message_loop_.Set(this);
}

void TraceLog::UpdateThreadNames(int thread_id) {
  const char* const new_name =
      ThreadNameRegistry::GetInstance()->GetName(thread_id);
  if (!new_name || !*new_name || new_name == current_thread_name_.Get())
    return;
  current_thread_name_.Set(new_name);
  AutoLock thread_info_lock(thread_info_lock_);
  const std::unordered_map<int, std::string>::iterator existing =
      thread_names_.find(thread_id);
  if (existing == thread_names_.end()) {
    thread_names_[thread_id] = new_name;
    return;
  }
  const std::vector<StringPiece> names = SplitStringPiece(
      existing->second, ",", KEEP_WHITESPACE, SPLIT_WANT_NONEMPTY);
  for (const StringPiece& name : names) {
    if (name == new_name)
      return;
  }
  if (!names.empty())
    existing->second.push_back(',');
  existing->second.append(new_name);
}

TraceEventHandle TraceLog::AddTraceEventWithThreadIdAndTimestamp(
    char phase,
    const unsigned char* category_group_enabled,
    const char* name,
    const char* scope,
    unsigned long long id,
    unsigned long long bind_id,
    int thread_id,
    const TimeTicks& timestamp,
    int num_args,
    const char* const* arg_names,
    const unsigned char* arg_types,
    const unsigned long long* arg_values,
    std::unique_ptr<ConvertableToTraceFormat>* convertable_values,
    unsigned int flags) {
  TraceEventHandle handle;
  if (!*category_group_enabled)
    return handle;
  // No events from inside the trace log's own work.
  if (thread_is_in_trace_event_.Get())
    return handle;
  ScopedInTraceEvent in_trace_event(&thread_is_in_trace_event_);

  if (flags & TRACE_EVENT_FLAG_MANGLE_ID) {
    id = MangleEventId(id);
    if (flags & (TRACE_EVENT_FLAG_FLOW_IN | TRACE_EVENT_FLAG_FLOW_OUT))
      bind_id = MangleEventId(bind_id);
  }
  const TimeTicks offset_event_timestamp = timestamp - time_offset_;
  const ThreadTicks thread_now = ThreadNow();

  InitializeThreadLocalEventBufferIfSupported();
  ThreadLocalEventBuffer* const thread_local_event_buffer =
      this->thread_local_event_buffer();

  if (thread_id == static_cast<int>(PlatformThread::CurrentId()))
    UpdateThreadNames(thread_id);

  if (*category_group_enabled & kEnabledForEtwExport) {
    TraceEventETWExport::AddEvent(phase, category_group_enabled, name, id,
                                  num_args, arg_names, arg_types, arg_values,
                                  convertable_values);
  }

  std::string console_message;
  if (*category_group_enabled & kEnabledForRecording) {
    std::unique_ptr<AutoLock> lock;
    TraceEvent* trace_event = nullptr;
    if (thread_local_event_buffer) {
      trace_event = thread_local_event_buffer->AddTraceEvent(&handle);
    } else {
      lock.reset(new AutoLock(lock_));
      trace_event = AddEventToThreadSharedChunkWhileLocked(&handle, true);
    }
    if (trace_event) {
      trace_event->Initialize(thread_id, offset_event_timestamp, thread_now,
                              phase, category_group_enabled, name, scope, id,
                              bind_id, num_args, arg_names, arg_types,
                              arg_values, convertable_values, flags);
      if (trace_options_ & kInternalEchoToConsole) {
        console_message = EventToConsoleMessage(
            phase == TRACE_EVENT_PHASE_COMPLETE ? TRACE_EVENT_PHASE_BEGIN
                                                : phase,
            timestamp, trace_event);
      }
    }
  }
  WriteConsoleLine(kConsoleLogLineForEvent, console_message);

  if (watch_category_.load() == category_group_enabled) {
    bool event_name_matches;
    Closure watch_event_callback_copy;
    {
      AutoLock lock(lock_);
      event_name_matches = watch_event_name_ == name;
      watch_event_callback_copy = watch_event_callback_;
    }
    if (event_name_matches && !watch_event_callback_copy.is_null())
      watch_event_callback_copy.Run();
  }

  if (*category_group_enabled & kEnabledForEventCallback) {
    const EventCallback event_callback = event_callback_.load();
    if (event_callback) {
      event_callback(
          offset_event_timestamp,
          phase == TRACE_EVENT_PHASE_COMPLETE ? TRACE_EVENT_PHASE_BEGIN : phase,
          category_group_enabled, name, scope, id, num_args, arg_names,
          arg_types, arg_values, flags);
    }
  }

  if (!(flags & TRACE_EVENT_FLAG_COPY) &&
      AllocationContextTracker::capture_enabled()) {
    if (phase == TRACE_EVENT_PHASE_BEGIN ||
        phase == TRACE_EVENT_PHASE_COMPLETE) {
      AllocationContextTracker::GetInstanceForCurrentThread()
          ->PushPseudoStackFrame(name);
    } else if (phase == TRACE_EVENT_PHASE_END) {
      AllocationContextTracker::GetInstanceForCurrentThread()
          ->PopPseudoStackFrame(name);
    }
  }
  return handle;
}

void TraceLog::UpdateTraceEventDuration(
    const unsigned char* category_group_enabled,
    const char* name,
    TraceEventHandle handle) {
  if (!*category_group_enabled || thread_is_in_trace_event_.Get())
    return;
  ScopedInTraceEvent in_trace_event(&thread_is_in_trace_event_);

  const ThreadTicks thread_now = ThreadNow();
  const TimeTicks now = OffsetNow();

  if (*category_group_enabled & kEnabledForEtwExport)
    TraceEventETWExport::AddCompleteEndEvent(name);

  std::string console_message;
  if (*category_group_enabled & kEnabledForRecording) {
    TraceEvent* const trace_event = GetEventByHandle(handle);
    if (trace_event)
      trace_event->UpdateDuration(now, thread_now);
    if (trace_options_ & kInternalEchoToConsole)
      console_message =
          EventToConsoleMessage(TRACE_EVENT_PHASE_END, now, trace_event);
    if (AllocationContextTracker::capture_enabled()) {
      AllocationContextTracker::GetInstanceForCurrentThread()
          ->PopPseudoStackFrame(name);
    }
  }
  WriteConsoleLine(kConsoleLogLineForEnd, console_message);

  if (*category_group_enabled & kEnabledForEventCallback) {
    const EventCallback event_callback = event_callback_.load();
    if (event_callback) {
      event_callback(now, TRACE_EVENT_PHASE_END, category_group_enabled, name,
                     nullptr, 0, 0, nullptr, nullptr, nullptr,
                     TRACE_EVENT_FLAG_NONE);
    }
  }
}

TraceEvent* TraceLog::AddEventToThreadSharedChunkWhileLocked(
    TraceEventHandle* handle,
    bool check_buffer_is_full) {
  if (thread_shared_chunk_ && thread_shared_chunk_->IsFull()) {
    logged_events_->ReturnChunk(thread_shared_chunk_index_,
                                std::move(thread_shared_chunk_));
  }
  if (!thread_shared_chunk_) {
    thread_shared_chunk_ =
        logged_events_->GetChunk(&thread_shared_chunk_index_);
    if (check_buffer_is_full)
      CheckIfBufferIsFullWhileLocked();
  }
  if (!thread_shared_chunk_)
    return nullptr;
  size_t event_index;
  TraceEvent* const trace_event =
      thread_shared_chunk_->AddTraceEvent(&event_index);
  if (trace_event && handle) {
    *handle = MakeHandle(thread_shared_chunk_->seq(),
                         thread_shared_chunk_index_, event_index);
  }
  return trace_event;
}

void TraceLog::CheckIfBufferIsFullWhileLocked() {
  if (!logged_events_->IsFull())
    return;
  if (buffer_limit_reached_timestamp_.is_null())
    buffer_limit_reached_timestamp_ = OffsetNow();
  SetDisabledWhileLocked();
}

TraceEvent* TraceLog::GetEventByHandle(TraceEventHandle handle) {
  if (!handle.chunk_seq)
    return nullptr;
  ThreadLocalEventBuffer* const buffer = thread_local_event_buffer();
  if (buffer) {
    TraceEvent* const trace_event = buffer->GetEventByHandle(handle);
    if (trace_event)
      return trace_event;
  }
  AutoLock lock(lock_);
  if (thread_shared_chunk_ &&
      handle.chunk_index == thread_shared_chunk_index_) {
    return handle.chunk_seq == thread_shared_chunk_->seq()
               ? thread_shared_chunk_->GetEventAt(handle.event_index)
               : nullptr;
  }
  return logged_events_->GetEventByHandle(handle);
}

void TraceLog::SetEnabled(const TraceConfig& trace_config, int options) {
  std::vector<EnabledStateObserver*> observers;
  {
    AutoLock lock(lock_);
    if (dispatching_to_observer_list_)
      return;
    if (options != trace_options_) {
      // A new buffer of the kind the options ask for; chunks of the old
      // one held by threads are dropped as stale.
      trace_options_ = options;
      thread_shared_chunk_.reset();
      generation_.fetch_add(1);
      logged_events_ = CreateTraceBuffer();
    }
    mode_ = RECORDING_MODE;
    trace_config_ = trace_config;
    UpdateCategoryGroupEnabledFlags();
    observers = enabled_state_observer_list_;
    dispatching_to_observer_list_ = true;
  }
  for (EnabledStateObserver* observer : observers)
    observer->OnTraceLogEnabled();
  AutoLock lock(lock_);
  dispatching_to_observer_list_ = false;
}

void TraceLog::SetDisabled() {
  AutoLock lock(lock_);
  SetDisabledWhileLocked();
}

void TraceLog::SetDisabledWhileLocked() {
  if (mode_ != RECORDING_MODE || dispatching_to_observer_list_)
    return;
  mode_ = DISABLED;
  trace_config_.Clear();
  watch_category_.store(nullptr);
  watch_event_name_.clear();
  UpdateCategoryGroupEnabledFlags();
  AddMetadataEventsWhileLocked();
  metadata_events_.clear();

  const std::vector<EnabledStateObserver*> observers =
      enabled_state_observer_list_;
  dispatching_to_observer_list_ = true;
  lock_.Release();
  for (EnabledStateObserver* observer : observers)
    observer->OnTraceLogDisabled();
  lock_.Acquire();
  dispatching_to_observer_list_ = false;
}

bool TraceLog::IsEnabled() const {
  AutoLock lock(lock_);
  return mode_ == RECORDING_MODE;
}

int TraceLog::trace_options() const {
  AutoLock lock(lock_);
  return trace_options_;
}

void TraceLog::SetEventCallbackEnabled(const TraceConfig& trace_config,
                                       EventCallback cb) {
  AutoLock lock(lock_);
  event_callback_.store(cb);
  event_callback_trace_config_ = trace_config;
  UpdateCategoryGroupEnabledFlags();
}

void TraceLog::SetEventCallbackDisabled() {
  AutoLock lock(lock_);
  event_callback_.store(nullptr);
  UpdateCategoryGroupEnabledFlags();
}

void TraceLog::SetWatchEvent(const std::string& category_name,
                             const std::string& event_name,
                             const Closure& callback) {
  const unsigned char* const category =
      GetCategoryGroupEnabled(category_name.c_str());
  AutoLock lock(lock_);
  watch_category_.store(category);
  watch_event_name_ = event_name;
  watch_event_callback_ = callback;
}

void TraceLog::SetProcessName(const std::string& process_name) {
  AutoLock lock(lock_);
  process_name_ = process_name;
}

void TraceLog::SetProcessSortIndex(int sort_index) {
  AutoLock lock(lock_);
  process_sort_index_ = sort_index;
}

void TraceLog::UpdateProcessLabel(int label_id,
                                  const std::string& current_label) {
  AutoLock lock(lock_);
  if (current_label.empty())
    process_labels_.erase(label_id);
  else
    process_labels_[label_id] = current_label;
}

void TraceLog::SetThreadSortIndex(int thread_id, int sort_index) {
  AutoLock lock(lock_);
  thread_sort_indices_[thread_id] = sort_index;
}

TraceConfig TraceLog::GetCurrentTraceConfig() const {
  AutoLock lock(lock_);
  return trace_config_;
}

void TraceLog::AddEnabledStateObserver(EnabledStateObserver* listener) {
  AutoLock lock(lock_);
  enabled_state_observer_list_.push_back(listener);
}

void TraceLog::RemoveEnabledStateObserver(EnabledStateObserver* listener) {
  AutoLock lock(lock_);
  for (auto it = enabled_state_observer_list_.begin();
       it != enabled_state_observer_list_.end(); ++it) {
    if (*it == listener) {
      enabled_state_observer_list_.erase(it);
      return;
    }
  }
}

void TraceLog::AddMetadataEvent(
    const unsigned char* category_group_enabled,
    const char* name,
    int num_args,
    const char* const* arg_names,
    const unsigned char* arg_types,
    const unsigned long long* arg_values,
    std::unique_ptr<ConvertableToTraceFormat>* convertable_values,
    unsigned int flags) {
  std::unique_ptr<TraceEvent> trace_event(new TraceEvent);
  trace_event->Initialize(
      static_cast<int>(PlatformThread::CurrentId()), OffsetNow(), ThreadNow(),
      TRACE_EVENT_PHASE_METADATA, category_group_enabled, name, nullptr, 0, 0,
      num_args, arg_names, arg_types, arg_values, convertable_values, flags);
  AutoLock lock(lock_);
  metadata_events_.push_back(std::move(trace_event));
}

void TraceLog::AddMetadataEventsWhileLocked() {
  while (!metadata_events_.empty()) {
    TraceEvent* const slot =
        AddEventToThreadSharedChunkWhileLocked(nullptr, false);
    if (slot)
      slot->MoveFrom(std::move(metadata_events_.back()));
    metadata_events_.pop_back();
  }

  InitializeMetadataEvent(
      AddEventToThreadSharedChunkWhileLocked(nullptr, false), 0, "num_cpus",
      "number", TRACE_VALUE_TYPE_INT,
      static_cast<unsigned long long>(NumberOfProcessors()));

  const int current_thread_id = static_cast<int>(PlatformThread::CurrentId());
  if (process_sort_index_ != 0) {
    InitializeMetadataEvent(
        AddEventToThreadSharedChunkWhileLocked(nullptr, false),
        current_thread_id, "process_sort_index", "sort_index",
        TRACE_VALUE_TYPE_INT,
        static_cast<unsigned long long>(process_sort_index_));
  }
  if (!process_name_.empty()) {
    InitializeMetadataEvent(
        AddEventToThreadSharedChunkWhileLocked(nullptr, false),
        current_thread_id, "process_name", "name", TRACE_VALUE_TYPE_COPY_STRING,
        AsArgument(process_name_));
  }
  if (!process_labels_.empty()) {
    std::string labels;
    for (const auto& label : process_labels_) {
      if (!labels.empty())
        labels.push_back(',');
      labels.append(label.second);
    }
    InitializeMetadataEvent(
        AddEventToThreadSharedChunkWhileLocked(nullptr, false),
        current_thread_id, "process_labels", "labels",
        TRACE_VALUE_TYPE_COPY_STRING, AsArgument(labels));
  }
  for (const auto& sort_index : thread_sort_indices_) {
    if (sort_index.second == 0)
      continue;
    InitializeMetadataEvent(
        AddEventToThreadSharedChunkWhileLocked(nullptr, false),
        sort_index.first, "thread_sort_index", "sort_index",
        TRACE_VALUE_TYPE_INT,
        static_cast<unsigned long long>(sort_index.second));
  }
  {
    AutoLock thread_info_lock(thread_info_lock_);
    for (const auto& thread_name : thread_names_) {
      if (thread_name.second.empty())
        continue;
      InitializeMetadataEvent(
          AddEventToThreadSharedChunkWhileLocked(nullptr, false),
          thread_name.first, "thread_name", "name",
          TRACE_VALUE_TYPE_COPY_STRING, AsArgument(thread_name.second));
    }
  }
  if (!buffer_limit_reached_timestamp_.is_null()) {
    InitializeMetadataEvent(
        AddEventToThreadSharedChunkWhileLocked(nullptr, false),
        current_thread_id, "trace_buffer_overflowed", "overflowed_at_ts",
        TRACE_VALUE_TYPE_INT,
        static_cast<unsigned long long>(
            buffer_limit_reached_timestamp_.ToInternalValue()));
  }
}

std::string TraceLog::EventToConsoleMessage(char phase,
                                            const TimeTicks& timestamp,
                                            TraceEvent* trace_event) {
  AutoLock thread_info_lock(thread_info_lock_);
  const int thread_id = trace_event
                            ? trace_event->thread_id()
                            : static_cast<int>(PlatformThread::CurrentId());
  std::stack<TimeTicks>& start_times = thread_event_start_times_[thread_id];

  // An end whose begin was never echoed has no duration to show: 0.
  TimeDelta duration;
  if (phase == TRACE_EVENT_PHASE_END && !start_times.empty()) {
    duration = timestamp - start_times.top();
    start_times.pop();
  }

  const std::string thread_name = thread_names_[thread_id];
  if (thread_colors_.find(thread_name) == thread_colors_.end()) {
    const int color =
        static_cast<int>(thread_colors_.size() % kThreadColorCount) + 1;
    thread_colors_[thread_name] = color;
  }

  std::string log;
  StringAppendF(&log, "%s: \x1b[0;3%dm", thread_name.c_str(),
                thread_colors_[thread_name]);
  for (size_t i = 0; i < start_times.size(); ++i)
    log.append("| ");
  if (trace_event)
    trace_event->AppendPrettyPrinted(&log);
  if (phase == TRACE_EVENT_PHASE_END)
    StringAppendF(&log, " (%.3f ms)", duration.InMillisecondsF());
  log.append("\x1b[0;m");

  if (phase == TRACE_EVENT_PHASE_BEGIN)
    start_times.push(timestamp);
  return log;
}

void TraceLog::ReadEventsForTesting(
    const std::function<void(const TraceEvent&)>& visitor) {
  auto visit_chunk = [&visitor](const TraceBufferChunk* chunk) {
    for (size_t i = 0; i < chunk->size(); ++i)
      visitor(*chunk->GetEventAt(i));
  };
  AutoLock lock(lock_);
  while (const TraceBufferChunk* chunk = logged_events_->GetChunkAtCursor())
    visit_chunk(chunk);
  if (thread_shared_chunk_)
    visit_chunk(thread_shared_chunk_.get());
  ThreadLocalEventBuffer* const buffer = thread_local_event_buffer();
  if (buffer && buffer->chunk())
    visit_chunk(buffer->chunk());
}

}  // namespace trace_event
}  // namespace base
