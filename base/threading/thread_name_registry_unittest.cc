#include "base/threading/thread_name_registry.h"

#include <windows.h>

#include <string>
#include <thread>

#include "gtest/gtest.h"

namespace base {
namespace {

// Thread ids and handles of Windows are multiples of 4, so odd values never
// collide with a real thread.
HANDLE FakeHandle(uintptr_t value) {
  return reinterpret_cast<HANDLE>(value);
}

TEST(ThreadNameRegistryTest, RegisteredThreadsKeepTheirNamesByHandle) {
  ThreadNameRegistry* registry = ThreadNameRegistry::GetInstance();
  const PlatformThreadId id = 0x7001;
  EXPECT_STREQ("", registry->GetName(id));

  registry->RegisterThread(FakeHandle(0x9001), id);
  EXPECT_STREQ("", registry->GetName(id));
  registry->SetName(id, "first name");
  EXPECT_STREQ("first name", registry->GetName(id));

  // Names are interned: equal names share one text, which outlives renames.
  const char* first = registry->GetName(id);
  registry->RegisterThread(FakeHandle(0x9003), id + 2);
  registry->SetName(id + 2, "first name");
  EXPECT_EQ(first, registry->GetName(id + 2));
  registry->SetName(id, "second name");
  EXPECT_STREQ("second name", registry->GetName(id));
  EXPECT_STREQ("first name", first);

  registry->RemoveName(FakeHandle(0x9001), id);
  registry->RemoveName(FakeHandle(0x9003), id + 2);
  EXPECT_STREQ("", registry->GetName(id));
  EXPECT_STREQ("", registry->GetName(id + 2));
}

TEST(ThreadNameRegistryTest, ARecycledIdIsNotForgottenByItsOldThread) {
  ThreadNameRegistry* registry = ThreadNameRegistry::GetInstance();
  const PlatformThreadId id = 0x7101;
  registry->RegisterThread(FakeHandle(0x9101), id);
  registry->SetName(id, "old thread");
  // The id now belongs to a new thread before the old one is removed.
  registry->RegisterThread(FakeHandle(0x9103), id);
  registry->SetName(id, "new thread");
  registry->RemoveName(FakeHandle(0x9101), id);
  EXPECT_STREQ("new thread", registry->GetName(id));
  registry->RemoveName(FakeHandle(0x9103), id);
  EXPECT_STREQ("", registry->GetName(id));
}

TEST(ThreadNameRegistryTest, AnUnregisteredThreadIsTakenAsTheMainThread) {
  ThreadNameRegistry* registry = ThreadNameRegistry::GetInstance();
  const PlatformThreadId this_thread = ::GetCurrentThreadId();
  registry->SetName(this_thread, "main thread");
  EXPECT_STREQ("main thread", registry->GetName(this_thread));

  // Another thread that the library did not create takes the main name over.
  PlatformThreadId other = 0;
  std::thread foreign([&other, registry] {
    other = ::GetCurrentThreadId();
    registry->SetName(other, "foreign thread");
  });
  foreign.join();
  EXPECT_STREQ("foreign thread", registry->GetName(other));
  EXPECT_STREQ("", registry->GetName(this_thread));

  registry->SetName(this_thread, "main thread");
  EXPECT_STREQ("main thread", registry->GetName(this_thread));
}

}  // namespace
}  // namespace base
