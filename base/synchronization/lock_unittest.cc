#include "base/synchronization/lock.h"

#include <windows.h>

#include <atomic>
#include <thread>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

TEST(LockTest, HolderMayAcquireAgain) {
  Lock lock;
  lock.Acquire();
  lock.Acquire();
  { AutoLock third(lock); }
  lock.Release();
  lock.Release();

  // Released as often as taken: another thread gets it now.
  bool acquired_elsewhere = false;
  std::thread other([&] {
    AutoLock auto_lock(lock);
    acquired_elsewhere = true;
  });
  other.join();
  EXPECT_TRUE(acquired_elsewhere);
}

TEST(LockTest, OtherThreadWaitsWhileHeld) {
  Lock lock;
  std::atomic<int> stage{0};
  lock.Acquire();
  std::thread other([&] {
    stage.store(1);
    AutoLock auto_lock(lock);
    stage.store(2);
  });
  while (stage.load() != 1)
    std::this_thread::yield();
  // The other thread cannot get past the lock until it is released; whatever
  // the scheduling, it must not have reached stage 2 yet.
  for (int i = 0; i < 100; ++i)
    ::Sleep(0);
  EXPECT_EQ(1, stage.load());
  lock.Release();
  other.join();
  EXPECT_EQ(2, stage.load());
}

TEST(LockTest, ExcludesConcurrentUpdates) {
  Lock lock;
  // Not atomic on purpose: only the lock keeps the updates whole.
  volatile long long total = 0;
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&] {
      while (!go.load())
        std::this_thread::yield();
      for (int round = 0; round < 20000; ++round) {
        AutoLock auto_lock(lock);
        total = total + 1;
      }
    });
  }
  go.store(true);
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(8 * 20000, total);
}

}  // namespace
}  // namespace base
