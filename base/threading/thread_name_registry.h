#ifndef BASE_THREADING_THREAD_NAME_REGISTRY_H_
#define BASE_THREADING_THREAD_NAME_REGISTRY_H_

#include <windows.h>

#include <map>
#include <set>
#include <string>

#include "base/memory/singleton.h"
#include "base/synchronization/lock.h"
#include "base/threading/platform_thread.h"

namespace base {

// The process-wide names of threads, by thread id, for the trace log and the
// task profiler. Threads started by PlatformThread are registered by their
// handle while they run; any other thread that names itself (such as the
// process's first thread) is taken as the main thread. Names are interned
// and never freed, so a name returned stays valid for the whole process.
class ThreadNameRegistry {
 public:
  static ThreadNameRegistry* GetInstance();

  ThreadNameRegistry(const ThreadNameRegistry&) = delete;
  ThreadNameRegistry& operator=(const ThreadNameRegistry&) = delete;

  void SetName(PlatformThreadId id, const std::string& name);
  // "" for a thread that has no name.
  const char* GetName(PlatformThreadId id);

  // Registers a thread started by PlatformThread, unnamed, under |handle|.
  void RegisterThread(HANDLE handle, PlatformThreadId id);
  // Forgets the thread registered under |handle|; |id| is forgotten only
  // while it still belongs to that handle.
  void RemoveName(HANDLE handle, PlatformThreadId id);

 private:
  friend struct DefaultSingletonTraits<ThreadNameRegistry>;

  ThreadNameRegistry();
  ~ThreadNameRegistry();

  const std::string* Intern(const std::string& name);

  Lock lock_;
  std::set<std::string> interned_names_;
  std::map<PlatformThreadId, HANDLE> handles_by_id_;
  std::map<HANDLE, const std::string*> names_by_handle_;
  const std::string* default_name_;
  const std::string* main_process_name_;
  PlatformThreadId main_process_id_;
};

}  // namespace base

#endif  // BASE_THREADING_THREAD_NAME_REGISTRY_H_
