#ifndef BASE_TRACE_EVENT_MEMORY_DUMP_MANAGER_H_
#define BASE_TRACE_EVENT_MEMORY_DUMP_MANAGER_H_

#include <stdint.h>

#include <atomic>
#include <memory>
#include <set>

#include "base/lazy_instance.h"
#include "base/memory/ref_counted.h"
#include "base/single_thread_task_runner.h"
#include "base/synchronization/lock.h"
#include "base/timer/timer.h"
#include "base/trace_event/memory_dump_request_args.h"
#include "base/trace_event/trace_log.h"

namespace base {

class Thread;

namespace trace_event {

class MemoryDumpManagerDelegate;
class MemoryDumpProvider;
class MemoryDumpSessionState;

// One registered provider.
struct MemoryDumpProviderInfo
    : public RefCountedThreadSafe<MemoryDumpProviderInfo> {
  // Providers are ordered by (task runner, provider), larger first.
  struct Comparator {
    bool operator()(const scoped_refptr<MemoryDumpProviderInfo>& a,
                    const scoped_refptr<MemoryDumpProviderInfo>& b) const;
  };

  MemoryDumpProviderInfo(MemoryDumpProvider* dump_provider,
                         const char* name,
                         scoped_refptr<SingleThreadTaskRunner> task_runner);

  MemoryDumpProvider* const dump_provider;
  // Set when the provider was handed over with its removal.
  std::unique_ptr<MemoryDumpProvider> owned_dump_provider;
  const char* const name;
  const scoped_refptr<SingleThreadTaskRunner> task_runner;
  // Options: the target process (0 for this one) and one flag.
  int32_t target_pid;
  int32_t options_flag;
  int32_t consecutive_failures;
  bool disabled;

 private:
  friend class RefCountedThreadSafe<MemoryDumpProviderInfo>;
  ~MemoryDumpProviderInfo();
};

// The process-wide registry of memory-dump providers, and the requester of
// global dumps while memory tracing is on. Until something gives it a
// delegate and makes it observe the trace log, it only keeps the providers.
class MemoryDumpManager : public TraceLog::EnabledStateObserver {
 public:
  // The category that switches memory tracing on.
  static const char kTraceCategory[];

  // Made on first use, never destroyed.
  static MemoryDumpManager* GetInstance();

  MemoryDumpManager(const MemoryDumpManager&) = delete;
  MemoryDumpManager& operator=(const MemoryDumpManager&) = delete;

  // Gives the manager its delegate and role and makes it follow the trace
  // log. The program never does; tools and tests do.
  void Initialize(MemoryDumpManagerDelegate* delegate, bool is_coordinator);

  // |task_runner| (may be null) is where the provider must be called.
  void AddDumpProvider(MemoryDumpProvider* mdp,
                       const char* name,
                       scoped_refptr<SingleThreadTaskRunner> task_runner);
  void RemoveDumpProvider(MemoryDumpProvider* mdp);
  // Removes |mdp| and deletes it once no record holder needs it.
  void RemoveDumpProviderAndDeleteOwned(
      std::unique_ptr<MemoryDumpProvider> mdp);

  // Asks the delegate for a dump of every process; |callback| (may be
  // null) hears the dump number and the outcome.
  void RequestGlobalDump(MemoryDumpType dump_type,
                         MemoryDumpLevelOfDetail level_of_detail,
                         const MemoryDumpCallback& callback);

  // TraceLog::EnabledStateObserver:
  void OnTraceLogEnabled() override;
  void OnTraceLogDisabled() override;

  bool IsHeapProfilingEnabled() const;
  bool IsMemoryTracingEnabled() const {
    return memory_tracing_enabled_.load() != 0;
  }
  scoped_refptr<MemoryDumpSessionState> session_state() const;
  // How many records are registered now.
  size_t dump_provider_count() const;

 private:
  friend class LazyInstance::StaticInstance<MemoryDumpManager, false>;

  MemoryDumpManager();
  ~MemoryDumpManager() override;

  void EnableHeapProfilingIfRequested();
  void RemoveDumpProviderInternal(MemoryDumpProvider* mdp,
                                  std::unique_ptr<MemoryDumpProvider> owned);
  void RunPeriodicGlobalDump();
  static void FinishGlobalDump(MemoryDumpCallback callback,
                               uint64_t dump_guid,
                               bool success);

  std::set<scoped_refptr<MemoryDumpProviderInfo>,
           MemoryDumpProviderInfo::Comparator>
      dump_providers_;
  scoped_refptr<MemoryDumpSessionState> session_state_;
  MemoryDumpManagerDelegate* delegate_;
  bool is_coordinator_;
  mutable Lock lock_;
  std::atomic<int32_t> memory_tracing_enabled_;
  RepeatingTimer periodic_dump_timer_;
  std::unique_ptr<Thread> dump_thread_;
  bool dumper_registrations_ignored_for_testing_;
  bool heap_profiling_enabled_;
  // Every rate-th periodic dump is detailed; 0 for none.
  uint32_t periodic_dumps_count_;
  uint32_t heavy_dump_rate_;
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_MEMORY_DUMP_MANAGER_H_
