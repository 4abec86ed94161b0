#ifndef BASE_TRACE_EVENT_TRACE_LOG_H_
#define BASE_TRACE_EVENT_TRACE_LOG_H_

#include <stddef.h>
#include <stdint.h>

#include <atomic>
#include <functional>
#include <memory>
#include <stack>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/callback.h"
#include "base/lazy_instance.h"
#include "base/synchronization/lock.h"
#include "base/threading/thread_local.h"
#include "base/time/time.h"
#include "base/trace_event/memory_dump_provider.h"
#include "base/trace_event/trace_config.h"

// The process-wide collector of trace events. Trace sites look a category
// group's enabled-flag byte up once and test it before building an event;
// while nothing switches recording on, every byte stays 0 and a site costs
// one load and one test.

namespace base {

class MessageLoop;

namespace trace_event {

class ConvertableToTraceFormat;
class TraceBuffer;
class TraceBufferChunk;
class TraceEvent;

// Names a stored event so that the end of a complete event can be written
// into it later; all zero for no event.
struct TraceEventHandle {
  uint32_t chunk_seq = 0;
  uint32_t chunk_index : 26;
  uint32_t event_index : 6;

  TraceEventHandle() : chunk_index(0), event_index(0) {}
};

// Reports its own memory use to the memory-dump manager.
class TraceLog : public MemoryDumpProvider {
 public:
  enum Mode { DISABLED = 0, RECORDING_MODE = 1 };

  // Bits of the trace options.
  enum InternalTraceOptions {
    kInternalNone = 0,
    kInternalRecordUntilFull = 1 << 0,
    kInternalRecordContinuously = 1 << 1,
    kInternalEchoToConsole = 1 << 3,
    kInternalRecordAsMuchAsPossible = 1 << 4,
  };

  // Told whenever recording is switched on or off, with no lock held.
  class EnabledStateObserver {
   public:
    virtual ~EnabledStateObserver() = default;
    virtual void OnTraceLogEnabled() = 0;
    virtual void OnTraceLogDisabled() = 0;
  };

  // Receives the events of the categories enabled for it.
  typedef void (*EventCallback)(TimeTicks timestamp,
                                char phase,
                                const unsigned char* category_group_enabled,
                                const char* name,
                                const char* scope,
                                unsigned long long id,
                                int num_args,
                                const char* const arg_names[],
                                const unsigned char arg_types[],
                                const unsigned long long arg_values[],
                                unsigned int flags);

  TraceLog(const TraceLog&) = delete;
  TraceLog& operator=(const TraceLog&) = delete;

  // The process's trace log, created on first use and never destroyed.
  static TraceLog* GetInstance();

  // The enabled-flag byte of |category_group|, registering it on first
  // use; the "exhausted" byte once 100 groups exist.
  static const unsigned char* GetCategoryGroupEnabled(
      const char* category_group);
  // The name registered for a flag byte.
  static const char* GetCategoryGroupName(
      const unsigned char* category_group_enabled);

  // The one entry of every trace site: adds an event of |phase| ('X' for a
  // complete event) and returns its handle.
  TraceEventHandle AddTraceEventWithThreadIdAndTimestamp(
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
      unsigned int flags);

  // Ends the complete event |handle|, setting its duration.
  void UpdateTraceEventDuration(const unsigned char* category_group_enabled,
                                const char* name,
                                TraceEventHandle handle);

  // Keeps a metadata event ('M') to be written when recording stops.
  void AddMetadataEvent(
      const unsigned char* category_group_enabled,
      const char* name,
      int num_args,
      const char* const* arg_names,
      const unsigned char* arg_types,
      const unsigned long long* arg_values,
      std::unique_ptr<ConvertableToTraceFormat>* convertable_values,
      unsigned int flags);

  TraceConfig GetCurrentTraceConfig() const;
  void AddEnabledStateObserver(EnabledStateObserver* listener);
  void RemoveEnabledStateObserver(EnabledStateObserver* listener);

  // Gives the calling thread an event buffer of its own when it runs a
  // message loop that tracing may rely on.
  void InitializeThreadLocalEventBufferIfSupported();
  // Marks the calling thread as one whose loop may block: it writes through
  // the shared chunk.
  void SetCurrentThreadBlocksMessageLoop();

  // |id| made unique to this process.
  unsigned long long MangleEventId(unsigned long long id) const {
    return id ^ process_id_hash_;
  }
  int process_id() const { return process_id_; }

  // Switching. The program itself never records: these are for tools and
  // tests. SetEnabled starts recording the categories |trace_config|
  // enables, with |options| (InternalTraceOptions) choosing the buffer.
  void SetEnabled(const TraceConfig& trace_config, int options);
  // Stops recording and writes the metadata events.
  void SetDisabled();
  bool IsEnabled() const;
  int trace_options() const;
  void SetEventCallbackEnabled(const TraceConfig& trace_config,
                               EventCallback cb);
  void SetEventCallbackDisabled();
  // Runs |callback| whenever an event |event_name| of |category_name| is
  // added.
  void SetWatchEvent(const std::string& category_name,
                     const std::string& event_name,
                     const Closure& callback);
  void SetProcessName(const std::string& process_name);
  void SetProcessSortIndex(int sort_index);
  void UpdateProcessLabel(int label_id, const std::string& current_label);
  void SetThreadSortIndex(int thread_id, int sort_index);

  // The stored event of |handle|, or null.
  TraceEvent* GetEventByHandle(TraceEventHandle handle);
  // Calls |visitor| with every event stored so far in the trace buffer,
  // the shared chunk and the calling thread's chunk, once; the buffer's
  // reading place moves past them. For tests.
  void ReadEventsForTesting(
      const std::function<void(const TraceEvent&)>& visitor);
  const TraceBuffer* trace_buffer_for_testing() const {
    return logged_events_.get();
  }

  // MemoryDumpProvider: the buffer's and the metadata's memory, under
  // "tracing/main_trace_log".
  bool OnMemoryDump(const MemoryDumpArgs& args,
                    ProcessMemoryDump* pmd) override;

  // The coloured one-line echo of an event, for the console option.
  std::string EventToConsoleMessage(char phase,
                                    const TimeTicks& timestamp,
                                    TraceEvent* trace_event);

 private:
  friend class LazyInstance::StaticInstance<TraceLog, false>;

  class ThreadLocalEventBuffer;

  TraceLog();
  ~TraceLog() override;

  const unsigned char* GetCategoryGroupEnabledInternal(const char* name);
  void UpdateCategoryGroupEnabledFlag(size_t category_index);
  void UpdateCategoryGroupEnabledFlags();

  std::unique_ptr<TraceBuffer> CreateTraceBuffer() const;
  TimeTicks OffsetNow() const;
  void UpdateThreadNames(int thread_id);

  TraceEvent* AddEventToThreadSharedChunkWhileLocked(TraceEventHandle* handle,
                                                     bool check_buffer_is_full);
  void CheckIfBufferIsFullWhileLocked();
  void SetDisabledWhileLocked();
  void AddMetadataEventsWhileLocked();
  ThreadLocalEventBuffer* thread_local_event_buffer() const;

  // Guards the buffer, the shared chunk, the metadata events, both
  // configurations, the observers, the watch and the message loops.
  mutable Lock lock_;
  // Guards the thread names, start times and colours.
  Lock thread_info_lock_;
  int mode_;
  std::unique_ptr<TraceBuffer> logged_events_;
  std::vector<std::unique_ptr<TraceEvent>> metadata_events_;
  std::atomic<EventCallback> event_callback_;
  bool dispatching_to_observer_list_;
  std::vector<EnabledStateObserver*> enabled_state_observer_list_;
  std::string process_name_;
  std::unordered_map<int, std::string> process_labels_;
  int process_sort_index_;
  std::unordered_map<int, int> thread_sort_indices_;
  std::unordered_map<int, std::string> thread_names_;
  std::unordered_map<int, std::stack<TimeTicks>> thread_event_start_times_;
  std::unordered_map<std::string, int> thread_colors_;
  TimeTicks buffer_limit_reached_timestamp_;
  unsigned long long process_id_hash_;
  int process_id_;
  TimeDelta time_offset_;
  Closure watch_event_callback_;
  std::atomic<const unsigned char*> watch_category_;
  std::string watch_event_name_;
  int trace_options_;
  TraceConfig trace_config_;
  TraceConfig event_callback_trace_config_;
  ThreadLocalPointer<ThreadLocalEventBuffer> thread_local_event_buffer_;
  ThreadLocalPointer<void> thread_blocks_message_loop_;
  ThreadLocalPointer<void> thread_is_in_trace_event_;
  // The registry's name pointer this thread last reported.
  ThreadLocalPointer<const char> current_thread_name_;
  std::unordered_set<MessageLoop*> thread_message_loops_;
  std::unique_ptr<TraceBufferChunk> thread_shared_chunk_;
  size_t thread_shared_chunk_index_;
  // Thread buffers made under another generation are stale.
  std::atomic<int> generation_;
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_TRACE_LOG_H_
