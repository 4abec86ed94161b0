#include "base/threading/platform_thread.h"

#include <algorithm>

#include "base/debug/alias.h"
#include "base/debug/profiler.h"
#include "base/logging.h"
#include "base/threading/thread_name_registry.h"
#include "base/tracked_objects.h"
#include "base/win/windows_version.h"

namespace base {

namespace {

// The exception by which a program tells a debugger a thread's name, and the
// record it carries.
constexpr DWORD kThreadNameException = 0x406D1388;
constexpr DWORD kThreadNameRecordType = 0x1000;

struct ThreadNameRecord {
  DWORD type;
  const char* name;
  DWORD thread_id;
  DWORD flags;
};
static_assert(sizeof(ThreadNameRecord) % sizeof(ULONG_PTR) == 0,
              "the record is passed as whole argument words");

// Handed from the creating thread to the new one, which frees it.
struct ThreadStartRecord {
  PlatformThread::Delegate* delegate;
  ThreadPriority priority;
};

// The longest finite wait of ::Sleep; INFINITE would never return.
constexpr int64_t kLongestSleepMilliseconds = INFINITE - 1;

LONG CALLBACK SwallowThreadNameException(EXCEPTION_POINTERS* exception) {
  if (exception->ExceptionRecord->ExceptionCode != kThreadNameException)
    return EXCEPTION_CONTINUE_SEARCH;
  return EXCEPTION_CONTINUE_EXECUTION;
}

int ToWindowsPriority(ThreadPriority priority) {
  switch (priority) {
    case ThreadPriority::kBackground:
      return THREAD_PRIORITY_LOWEST;
    case ThreadPriority::kDisplay:
      return THREAD_PRIORITY_ABOVE_NORMAL;
    case ThreadPriority::kRealtimeAudio:
      return THREAD_PRIORITY_TIME_CRITICAL;
    case ThreadPriority::kNormal:
      break;
  }
  return THREAD_PRIORITY_NORMAL;
}

DWORD WINAPI ThreadEntry(void* parameter) {
  auto* record = static_cast<ThreadStartRecord*>(parameter);
  if (record->priority != ThreadPriority::kNormal) {
    ::SetThreadPriority(::GetCurrentThread(),
                        ToWindowsPriority(record->priority));
  }

  // A real handle of this thread (GetCurrentThread gives only a stand-in)
  // identifies it in the name registry while it runs. Without one the
  // thread runs unregistered.
  win::ScopedHandle thread_handle;
  HANDLE duplicate = nullptr;
  if (::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentThread(),
                        ::GetCurrentProcess(), &duplicate, 0, FALSE,
                        DUPLICATE_SAME_ACCESS)) {
    thread_handle.Set(duplicate);
    ThreadNameRegistry::GetInstance()->RegisterThread(
        duplicate, PlatformThread::CurrentId());
  }

  PlatformThread::Delegate* delegate = record->delegate;
  delete record;
  delegate->ThreadMain();

  if (thread_handle.IsValid()) {
    ThreadNameRegistry::GetInstance()->RemoveName(thread_handle.Get(),
                                                  PlatformThread::CurrentId());
    thread_handle.Close();
  }
  return 0;
}

}  // namespace

// static
bool PlatformThread::CreateWithPriority(size_t stack_size,
                                        Delegate* delegate,
                                        win::ScopedHandle* thread_handle,
                                        ThreadPriority priority) {
  DWORD flags = 0;
  if (stack_size > 0 && win::GetVersion() >= win::VERSION_XP)
    flags = STACK_SIZE_PARAM_IS_A_RESERVATION;
  else
    stack_size = 0;

  auto* record = new ThreadStartRecord{delegate, priority};
  win::ScopedHandle handle(::CreateThread(nullptr, stack_size, &ThreadEntry,
                                          record, flags, nullptr));
  if (!handle.IsValid()) {
    LOG(ERROR) << "CreateThread failed: " << ::GetLastError();
    delete record;
    return false;
  }
  if (thread_handle)
    thread_handle->Set(handle.Take());
  return true;
}

// static
void PlatformThread::Join(win::ScopedHandle* thread_handle) {
  const DWORD result = ::WaitForSingleObject(thread_handle->Get(), INFINITE);
  if (result != WAIT_OBJECT_0) {
    DWORD last_error = ::GetLastError();
    Alias(&last_error);
    LOG(FATAL) << "Waiting for a thread to end failed: " << result << ", "
               << last_error;
    return;
  }
  thread_handle->Close();
}

// static
void PlatformThread::SetName(const std::string& name) {
  ThreadNameRegistry::GetInstance()->SetName(CurrentId(), name);
  // A thread named "BrokerEvent" gets no task-profiler record.
  if (name != "BrokerEvent")
    ThreadData::InitializeThreadContext(name);
  if (::IsDebuggerPresent() || debug::IsBinaryInstrumented())
    internal::RaiseThreadNameException(name.c_str(), CurrentId());
}

// static
PlatformThreadId PlatformThread::CurrentId() {
  return ::GetCurrentThreadId();
}

// static
uint32_t PlatformThread::CurrentProcessId() {
  return ::GetCurrentProcessId();
}

// static
void PlatformThread::Sleep(TimeDelta duration) {
  const TimeTicks end = TimeTicks::Now() + duration;
  for (TimeTicks now = TimeTicks::Now(); now < end; now = TimeTicks::Now()) {
    const int64_t milliseconds = std::min((end - now).InMillisecondsRoundedUp(),
                                          kLongestSleepMilliseconds);
    ::Sleep(static_cast<DWORD>(milliseconds));
  }
}

// static
void PlatformThread::YieldCurrentThread() {
  ::Sleep(0);
}

namespace internal {

void RaiseThreadNameException(const char* name, PlatformThreadId thread_id) {
  ThreadNameRecord record = {kThreadNameRecordType, name, thread_id, 0};
  // Called after every handler already installed, so that a debugger or
  // another handler sees the exception first; it never escapes.
  void* swallow = ::AddVectoredExceptionHandler(0, &SwallowThreadNameException);
  if (!swallow)
    return;
  // The record's real size in argument words; more would have the system
  // copy memory beyond the record.
  ::RaiseException(kThreadNameException, 0, sizeof(record) / sizeof(ULONG_PTR),
                   reinterpret_cast<const ULONG_PTR*>(&record));
  ::RemoveVectoredExceptionHandler(swallow);
}

}  // namespace internal

}  // namespace base
