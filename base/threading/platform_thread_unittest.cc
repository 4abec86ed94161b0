#include "base/threading/platform_thread.h"

#include <windows.h>

#include <atomic>
#include <cstring>
#include <string>

#include "base/threading/thread_name_registry.h"
#include "gtest/gtest.h"

namespace base {
namespace {

// Records where and how it ran.
class RecordingDelegate : public PlatformThread::Delegate {
 public:
  explicit RecordingDelegate(const std::string& name = std::string())
      : name_(name) {}

  void ThreadMain() override {
    thread_id_ = PlatformThread::CurrentId();
    windows_priority_ = ::GetThreadPriority(::GetCurrentThread());
    if (!name_.empty()) {
      PlatformThread::SetName(name_);
      name_seen_ = ThreadNameRegistry::GetInstance()->GetName(thread_id_);
    }
    ran_ = true;
  }

  PlatformThreadId thread_id() const { return thread_id_; }
  int windows_priority() const { return windows_priority_; }
  const std::string& name_seen() const { return name_seen_; }
  bool ran() const { return ran_; }

 private:
  const std::string name_;
  PlatformThreadId thread_id_ = 0;
  int windows_priority_ = THREAD_PRIORITY_ERROR_RETURN;
  std::string name_seen_;
  std::atomic<bool> ran_{false};
};

// Signals an event, for threads that cannot be joined.
class SignallingDelegate : public PlatformThread::Delegate {
 public:
  SignallingDelegate()
      : event_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  void ThreadMain() override { ::SetEvent(event_.Get()); }
  HANDLE event() const { return event_.Get(); }

 private:
  win::ScopedHandle event_;
};

TEST(PlatformThreadTest, RunsTheDelegateOnANewThreadAndJoins) {
  for (int round = 0; round < 20; ++round) {
    RecordingDelegate delegate;
    win::ScopedHandle handle;
    ASSERT_TRUE(PlatformThread::CreateWithPriority(0, &delegate, &handle,
                                                   ThreadPriority::kNormal));
    ASSERT_TRUE(handle.IsValid());
    PlatformThread::Join(&handle);
    EXPECT_FALSE(handle.IsValid());
    EXPECT_TRUE(delegate.ran());
    EXPECT_NE(0u, delegate.thread_id());
    EXPECT_NE(PlatformThread::CurrentId(), delegate.thread_id());
  }

  // Without a handle to keep, the thread still runs.
  SignallingDelegate signaller;
  ASSERT_TRUE(PlatformThread::CreateWithPriority(0, &signaller, nullptr,
                                                 ThreadPriority::kNormal));
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(signaller.event(), INFINITE));
}

TEST(PlatformThreadTest, PrioritiesMapToWindowsPriorities) {
  const struct {
    ThreadPriority priority;
    int windows_priority;
  } kCases[] = {
      {ThreadPriority::kBackground, THREAD_PRIORITY_LOWEST},
      {ThreadPriority::kNormal, THREAD_PRIORITY_NORMAL},
      {ThreadPriority::kDisplay, THREAD_PRIORITY_ABOVE_NORMAL},
      {ThreadPriority::kRealtimeAudio, THREAD_PRIORITY_TIME_CRITICAL},
  };
  for (const auto& test_case : kCases) {
    RecordingDelegate delegate;
    win::ScopedHandle handle;
    ASSERT_TRUE(PlatformThread::CreateWithPriority(0, &delegate, &handle,
                                                   test_case.priority));
    PlatformThread::Join(&handle);
    EXPECT_EQ(test_case.windows_priority, delegate.windows_priority())
        << static_cast<int>(test_case.priority);
  }
}

// Reads how much stack the calling thread has reserved.
class StackReservationDelegate : public PlatformThread::Delegate {
 public:
  void ThreadMain() override {
    ULONG_PTR low = 0;
    ULONG_PTR high = 0;
    ::GetCurrentThreadStackLimits(&low, &high);
    reserved_ = high - low;
  }
  size_t reserved() const { return reserved_; }

 private:
  size_t reserved_ = 0;
};

TEST(PlatformThreadTest, StackSizeIsReserved) {
  constexpr size_t kStackSize = 16 * 1024 * 1024;
  StackReservationDelegate delegate;
  win::ScopedHandle handle;
  ASSERT_TRUE(PlatformThread::CreateWithPriority(kStackSize, &delegate, &handle,
                                                 ThreadPriority::kNormal));
  PlatformThread::Join(&handle);
  EXPECT_GE(delegate.reserved(), kStackSize);

  // The system's default is far smaller.
  StackReservationDelegate default_delegate;
  ASSERT_TRUE(PlatformThread::CreateWithPriority(0, &default_delegate, &handle,
                                                 ThreadPriority::kNormal));
  PlatformThread::Join(&handle);
  EXPECT_GT(default_delegate.reserved(), 0u);
  EXPECT_LT(default_delegate.reserved(), kStackSize);
}

TEST(PlatformThreadTest, ThreadsAreNamedWhileTheyRun) {
  ThreadNameRegistry* registry = ThreadNameRegistry::GetInstance();
  const std::string main_name = registry->GetName(PlatformThread::CurrentId());

  RecordingDelegate delegate("PlatformThreadTest worker");
  win::ScopedHandle handle;
  ASSERT_TRUE(PlatformThread::CreateWithPriority(0, &delegate, &handle,
                                                 ThreadPriority::kNormal));
  PlatformThread::Join(&handle);
  EXPECT_EQ("PlatformThreadTest worker", delegate.name_seen());
  // The thread was registered, so its name did not replace the main one,
  // and its name left with it.
  EXPECT_EQ(main_name, registry->GetName(PlatformThread::CurrentId()));
  EXPECT_STREQ("", registry->GetName(delegate.thread_id()));
}

TEST(PlatformThreadTest, SleepNeverEndsEarly) {
  for (int64_t microseconds : {-5000, 0, 1, 999, 1000, 1500, 15600, 20000}) {
    const TimeDelta duration = TimeDelta::FromMicroseconds(microseconds);
    const TimeTicks start = TimeTicks::Now();
    PlatformThread::Sleep(duration);
    EXPECT_GE(TimeTicks::Now() - start, duration) << microseconds;
  }
  PlatformThread::YieldCurrentThread();
  EXPECT_EQ(::GetCurrentProcessId(), PlatformThread::CurrentProcessId());
}

// Sees the thread-naming exception before the handler that swallows it.
struct SeenException {
  int count = 0;
  DWORD flags = 0;
  DWORD parameters = 0;
  ULONG_PTR information[EXCEPTION_MAXIMUM_PARAMETERS] = {};
};
SeenException g_seen;

LONG CALLBACK WatchThreadNameException(EXCEPTION_POINTERS* exception) {
  const EXCEPTION_RECORD* record = exception->ExceptionRecord;
  if (record->ExceptionCode != 0x406D1388)
    return EXCEPTION_CONTINUE_SEARCH;
  ++g_seen.count;
  g_seen.flags = record->ExceptionFlags;
  g_seen.parameters = record->NumberParameters;
  memcpy(g_seen.information, record->ExceptionInformation,
         sizeof(g_seen.information));
  return EXCEPTION_CONTINUE_SEARCH;
}

TEST(PlatformThreadTest, ThreadNameExceptionCarriesItsRecordAndIsSwallowed) {
  g_seen = SeenException();
  void* watcher = ::AddVectoredExceptionHandler(1, &WatchThreadNameException);
  ASSERT_NE(nullptr, watcher);

  const char* name = "named for a debugger";
  internal::RaiseThreadNameException(name, 0x1234);
  // Returning here at all means that nothing let the exception escape.
  ASSERT_EQ(1, g_seen.count);
  EXPECT_EQ(0u, g_seen.flags);
  // {type, name, thread id, flags}: three argument words on x64.
  ASSERT_EQ(3u, g_seen.parameters);
  EXPECT_EQ(0x1000u, g_seen.information[0] & 0xFFFFFFFF);
  EXPECT_EQ(reinterpret_cast<ULONG_PTR>(name), g_seen.information[1]);
  EXPECT_EQ(0x1234u, g_seen.information[2]);

  // Without a debugger, naming a thread raises nothing.
  if (!::IsDebuggerPresent()) {
    PlatformThread::SetName(ThreadNameRegistry::GetInstance()->GetName(
        PlatformThread::CurrentId()));
    EXPECT_EQ(1, g_seen.count);
  }
  ::RemoveVectoredExceptionHandler(watcher);
}

}  // namespace
}  // namespace base
