#include "base/threading/platform_thread.h"

#include <windows.h>

#include <string>

#include "base/threading/thread_name_registry.h"
#include "gtest/gtest.h"

namespace base {
namespace {

constexpr size_t kLargeStack = 16 * 1024 * 1024;

struct RecordingDelegate : PlatformThread::Delegate {
  void ThreadMain() override {
    thread_id = PlatformThread::CurrentId();
    priority = ::GetThreadPriority(::GetCurrentThread());
    ULONG_PTR low = 0, high = 0;
    ::GetCurrentThreadStackLimits(&low, &high);
    reserved = high - low;
    PlatformThread::SetName("PlatformThreadTest worker");
    name = ThreadNameRegistry::GetInstance()->GetName(thread_id);
    ::SetEvent(done.Get());
  }
  PlatformThreadId thread_id = 0;
  int priority = THREAD_PRIORITY_ERROR_RETURN;
  size_t reserved = 0;
  std::string name;
  win::ScopedHandle done{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

TEST(PlatformThreadTest, RunsTheDelegateAsAskedAndNamesTheThreadWhileItRuns) {
  ThreadNameRegistry* registry = ThreadNameRegistry::GetInstance();
  const std::string main_name = registry->GetName(PlatformThread::CurrentId());
  const struct {
    ThreadPriority priority;
    int windows_priority;
    size_t stack_size;
    bool joinable;
  } kCases[] = {
      {ThreadPriority::kBackground, THREAD_PRIORITY_LOWEST, 0, true},
      {ThreadPriority::kNormal, THREAD_PRIORITY_NORMAL, kLargeStack, true},
      {ThreadPriority::kDisplay, THREAD_PRIORITY_ABOVE_NORMAL, 0, true},
      {ThreadPriority::kRealtimeAudio, THREAD_PRIORITY_TIME_CRITICAL, 0, true},
      {ThreadPriority::kNormal, THREAD_PRIORITY_NORMAL, 0, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(static_cast<int>(c.priority));
    RecordingDelegate delegate;
    win::ScopedHandle handle;
    ASSERT_TRUE(PlatformThread::CreateWithPriority(
        c.stack_size, &delegate, c.joinable ? &handle : nullptr, c.priority));
    EXPECT_EQ(c.joinable, handle.IsValid());
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(delegate.done.Get(), 20000));
    EXPECT_EQ(c.windows_priority, delegate.priority);
    EXPECT_EQ(c.stack_size != 0, delegate.reserved >= kLargeStack);
    EXPECT_EQ("PlatformThreadTest worker", delegate.name);
    EXPECT_EQ(main_name, registry->GetName(PlatformThread::CurrentId()));
    if (!c.joinable)
      continue;
    PlatformThread::Join(&handle);
    EXPECT_FALSE(handle.IsValid());
    EXPECT_STREQ("", registry->GetName(delegate.thread_id));
  }
}

TEST(ThreadNameRegistryTest, NamesFollowTheThreadHandleElseTheMainThread) {
  ThreadNameRegistry* registry = ThreadNameRegistry::GetInstance();
  // Real ids and handles are multiples of 4: odd ones never collide.
  const PlatformThreadId id = 0x7001;
  const HANDLE old_handle = reinterpret_cast<HANDLE>(0x9001);
  const HANDLE new_handle = reinterpret_cast<HANDLE>(0x9003);
  registry->RegisterThread(old_handle, id);
  registry->SetName(id, "name");
  const char* name = registry->GetName(id);
  // The id is recycled for a new thread before the old one is removed.
  registry->RegisterThread(new_handle, id);
  EXPECT_STREQ("", registry->GetName(id));
  registry->SetName(id, "name");
  EXPECT_EQ(name, registry->GetName(id)) << "names are interned";
  registry->RemoveName(old_handle, id);
  EXPECT_STREQ("name", registry->GetName(id));
  registry->RemoveName(new_handle, id);
  EXPECT_STREQ("", registry->GetName(id));
  // A thread that names itself unregistered is taken as the main thread.
  const PlatformThreadId main_id = PlatformThread::CurrentId();
  const std::string main_name = registry->GetName(main_id);
  registry->SetName(id, "other");
  EXPECT_STREQ("other", registry->GetName(id));
  EXPECT_STREQ("", registry->GetName(main_id));
  registry->SetName(main_id, main_name);
}

}  // namespace
}  // namespace base
