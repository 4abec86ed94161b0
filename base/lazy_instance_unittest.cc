#include "base/lazy_instance.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "base/at_exit.h"
#include "base/memory/singleton.h"
#include "gtest/gtest.h"

namespace base {

// Reaches the manager chain: what a manager holds, and no manager at all.
class AtExitManagerTest : public testing::Test {
 protected:
  void SetUp() override { order_.clear(); }

  static AtExitManager* ExchangeCurrent(AtExitManager* manager) {
    return AtExitManager::current_.exchange(manager);
  }
  static size_t Pending(AtExitManager* manager) {
    AutoLock lock(manager->lock_);
    return manager->stack_.size();
  }
  // Registers a callback that appends |text|; "R" registers "C" when run.
  static void Register(const char* text) {
    AtExitManager::RegisterCallback(
        [](void* text) {
          order_ += static_cast<const char*>(text);
          if (order_.back() == 'R')
            Register("C");
        },
        const_cast<char*>(text));
  }

  static inline std::string order_;
};

TEST_F(AtExitManagerTest, RunsTheCurrentManagersCallbacksLastRegisteredFirst) {
  {
    AtExitManager outer;
    Register("A");
    {
      AtExitManager inner;
      Register("B");
      Register("R");
      Register("D");
      // What a callback registers waits for the next pass.
      AtExitManager::ProcessCallbacksNow();
      EXPECT_EQ("DRB", order_);
      AtExitManager::ProcessCallbacksNow();
      AtExitManager::ProcessCallbacksNow();
      EXPECT_EQ("DRBC", order_);
      // What the inner manager's last pass registers is dropped.
      Register("R");
      EXPECT_EQ(1u, Pending(&outer));
    }
    EXPECT_EQ("DRBCR", order_);
    Register("E");
  }
  EXPECT_EQ("DRBCREA", order_);
}

TEST_F(AtExitManagerTest, WithoutAManagerNothingIsRegistered) {
  AtExitManager* hidden = ExchangeCurrent(nullptr);
  const size_t hidden_pending = hidden ? Pending(hidden) : 0;
  Register("A");
  AtExitManager::ProcessCallbacksNow();
  {
    AtExitManager manager;
    EXPECT_EQ(0u, Pending(&manager));
  }
  EXPECT_EQ(nullptr, ExchangeCurrent(hidden));
  EXPECT_EQ(hidden_pending, hidden ? Pending(hidden) : 0);
  EXPECT_EQ("", order_);
}

namespace {

// Slow to build, so that racing callers really overlap with the builder,
// and checkable, so that a caller handed a half-built object notices.
struct SlowToBuild {
  SlowToBuild() {
    ++constructions;
    for (int i = 0; i < 200; ++i)
      ::Sleep(0);
    built = true;
  }
  ~SlowToBuild() { ++destructions; }

  bool built = false;
  static inline std::atomic<int> constructions{0};
  static inline std::atomic<int> destructions{0};
};

LazyInstance::Leaky<SlowToBuild> g_leaky;
LazyInstance::DestroyedAtExit<SlowToBuild> g_destroyed_at_exit;

bool AllGetOneBuiltInstance(SlowToBuild* (*get)()) {
  SlowToBuild* seen[8] = {};
  std::vector<std::thread> threads;
  for (SlowToBuild*& mine : seen)
    threads.emplace_back([&] { mine = get()->built ? get() : nullptr; });
  for (std::thread& thread : threads)
    thread.join();
  return seen[0] && std::count(seen, seen + 8, seen[0]) == 8;
}

TEST(LazyInstanceTest, RacersBuildOnceAndTheManagerDestroysUnlessLeaky) {
  const struct {
    SlowToBuild* (*get)();
    bool destroyed_at_exit;
  } kCases[] = {
      {[] { return g_destroyed_at_exit.Pointer(); }, true},
      {[] { return &g_leaky.Get(); }, false},
      {&Singleton<SlowToBuild>::get, true},
      {&Singleton<SlowToBuild, LeakySingletonTraits<SlowToBuild>>::get, false},
  };
  for (const auto& c : kCases) {
    for (int round = 0; round < 2; ++round) {
      SlowToBuild::constructions = 0;
      SlowToBuild::destructions = 0;
      {
        AtExitManager manager;
        EXPECT_TRUE(AllGetOneBuiltInstance(c.get));
      }
      EXPECT_TRUE(c.destroyed_at_exit
                      ? SlowToBuild::constructions == 1
                      : SlowToBuild::constructions <= 1 - round);
      EXPECT_EQ(c.destroyed_at_exit, SlowToBuild::destructions == 1);
    }
  }
}

int g_destructor_runs = 0;
void CountDestructorRun(void* state_word) {
  ++g_destructor_runs;
  static_cast<LazyInstance::StateWord*>(state_word)->store(0);
}

TEST(LazyInstanceTest, AFailedCreationRegistersNothingAndIsTriedAgain) {
  g_destructor_runs = 0;
  LazyInstance::StateWord state{0};
  int instance = 7;
  {
    AtExitManager manager;
    ASSERT_TRUE(LazyInstance::NeedsInstance(&state));
    EXPECT_EQ(LazyInstance::kBeingCreated, state.load());
    LazyInstance::CompleteInstance(&state, nullptr, &state,
                                   &CountDestructorRun);
    ASSERT_TRUE(LazyInstance::NeedsInstance(&state));
    LazyInstance::CompleteInstance(&state, &instance, &state,
                                   &CountDestructorRun);
    EXPECT_FALSE(LazyInstance::NeedsInstance(&state));
    EXPECT_EQ(&instance, LazyInstance::WaitForInstance(&state));
  }
  EXPECT_EQ(1, g_destructor_runs);
}

}  // namespace
}  // namespace base
