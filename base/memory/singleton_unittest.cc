#include "base/memory/singleton.h"

#include <windows.h>

#include <atomic>
#include <thread>
#include <vector>

#include "base/at_exit.h"
#include "gtest/gtest.h"

namespace base {
namespace {

class Registry {
 public:
  static Registry* GetInstance() { return Singleton<Registry>::get(); }

  int ready() const { return ready_; }

  static std::atomic<int> constructions;
  static std::atomic<int> destructions;

 private:
  friend struct DefaultSingletonTraits<Registry>;

  Registry() {
    constructions.fetch_add(1);
    for (int i = 0; i < 200; ++i)
      ::Sleep(0);
    ready_ = 1;
  }
  ~Registry() { destructions.fetch_add(1); }

  int ready_ = 0;
};

std::atomic<int> Registry::constructions{0};
std::atomic<int> Registry::destructions{0};

class LeakyRegistry {
 public:
  static LeakyRegistry* GetInstance() {
    return Singleton<LeakyRegistry, LeakySingletonTraits<LeakyRegistry>>::get();
  }

  static std::atomic<int> destructions;

 private:
  friend struct DefaultSingletonTraits<LeakyRegistry>;
  LeakyRegistry() = default;
  ~LeakyRegistry() { destructions.fetch_add(1); }
};

std::atomic<int> LeakyRegistry::destructions{0};

TEST(SingletonTest, BuiltOnceAcrossThreadsAndRebuiltAfterExit) {
  Registry::constructions = 0;
  Registry::destructions = 0;
  {
    AtExitManager manager;
    constexpr int kThreads = 8;
    std::vector<Registry*> seen(kThreads, nullptr);
    std::vector<int> ready(kThreads, 0);
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
      threads.emplace_back([&, i] {
        while (!go.load())
          std::this_thread::yield();
        seen[i] = Registry::GetInstance();
        ready[i] = seen[i]->ready();
      });
    }
    go.store(true);
    for (std::thread& thread : threads)
      thread.join();
    EXPECT_EQ(1, Registry::constructions.load());
    for (int i = 0; i < kThreads; ++i) {
      EXPECT_EQ(seen[0], seen[i]);
      EXPECT_EQ(1, ready[i]) << "thread " << i << " saw a half-built object";
    }
  }
  EXPECT_EQ(1, Registry::destructions.load());
  {
    AtExitManager manager;
    EXPECT_EQ(1, Registry::GetInstance()->ready());
    EXPECT_EQ(2, Registry::constructions.load());
  }
  EXPECT_EQ(2, Registry::destructions.load());
}

TEST(SingletonTest, LeakyIsNeverDestroyed) {
  LeakyRegistry* first = nullptr;
  {
    AtExitManager manager;
    first = LeakyRegistry::GetInstance();
  }
  EXPECT_EQ(0, LeakyRegistry::destructions.load());
  EXPECT_EQ(first, LeakyRegistry::GetInstance());
}

}  // namespace
}  // namespace base
