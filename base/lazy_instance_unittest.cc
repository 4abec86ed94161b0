#include "base/lazy_instance.h"

#include <windows.h>

#include <atomic>
#include <thread>
#include <vector>

#include "base/at_exit.h"
#include "gtest/gtest.h"

namespace base {
namespace {

// Slow to build, so that racing callers really overlap with the builder,
// and checkable, so that a caller handed a half-built object notices.
class SlowToBuild {
 public:
  static constexpr int kMagic = 0x5EED;

  SlowToBuild() {
    constructions.fetch_add(1);
    for (int i = 0; i < 200; ++i)
      ::Sleep(0);
    magic_ = kMagic;
  }
  ~SlowToBuild() { destructions.fetch_add(1); }

  int magic() const { return magic_; }

  static std::atomic<int> constructions;
  static std::atomic<int> destructions;

 private:
  int magic_ = 0;
};

std::atomic<int> SlowToBuild::constructions{0};
std::atomic<int> SlowToBuild::destructions{0};

// Calls |get| from several threads released at once; returns what each saw.
template <typename Getter>
std::vector<SlowToBuild*> RaceForInstance(Getter get) {
  constexpr int kThreads = 8;
  std::vector<SlowToBuild*> seen(kThreads, nullptr);
  std::vector<int> magic(kThreads, 0);
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      while (!go.load())
        std::this_thread::yield();
      seen[i] = get();
      magic[i] = seen[i]->magic();
    });
  }
  go.store(true);
  for (std::thread& thread : threads)
    thread.join();
  for (int i = 0; i < kThreads; ++i)
    EXPECT_EQ(SlowToBuild::kMagic, magic[i]) << "thread " << i;
  return seen;
}

LazyInstance::Leaky<SlowToBuild> g_leaky;
LazyInstance::DestroyedAtExit<SlowToBuild> g_destroyed_at_exit;

TEST(LazyInstanceTest, RacingThreadsBuildOnceAndTheManagerDestroys) {
  SlowToBuild::constructions = 0;
  SlowToBuild::destructions = 0;
  {
    AtExitManager manager;
    std::vector<SlowToBuild*> seen =
        RaceForInstance([] { return g_destroyed_at_exit.Pointer(); });
    for (SlowToBuild* instance : seen)
      EXPECT_EQ(seen[0], instance);
    EXPECT_EQ(seen[0], &g_destroyed_at_exit.Get());
    EXPECT_EQ(1, SlowToBuild::constructions.load());
    EXPECT_EQ(0, SlowToBuild::destructions.load());
  }
  EXPECT_EQ(1, SlowToBuild::destructions.load());
  {
    AtExitManager manager;
    EXPECT_EQ(SlowToBuild::kMagic, g_destroyed_at_exit.Get().magic());
    EXPECT_EQ(2, SlowToBuild::constructions.load());
  }
  EXPECT_EQ(2, SlowToBuild::destructions.load());
}

TEST(LazyInstanceTest, LeakyIsNotDestroyedByTheManager) {
  SlowToBuild::destructions = 0;
  SlowToBuild* first = nullptr;
  {
    AtExitManager manager;
    first = g_leaky.Pointer();
  }
  EXPECT_EQ(0, SlowToBuild::destructions.load());
  EXPECT_EQ(first, &g_leaky.Get());
  EXPECT_EQ(SlowToBuild::kMagic, g_leaky.Get().magic());
}

TEST(LazyInstanceTest, ProtocolOnARawStateWord) {
  LazyInstance::StateWord state{0};
  ASSERT_TRUE(LazyInstance::NeedsInstance(&state));
  EXPECT_EQ(LazyInstance::kBeingCreated, state.load());

  // Others wait while the word reads 1 and then get the published value.
  int instance = 7;
  std::atomic<bool> waiter_started{false};
  void* waited_for = nullptr;
  bool needs_instance_in_other = true;
  void* seen_by_other = nullptr;
  std::thread waiter([&] {
    waiter_started.store(true);
    waited_for = LazyInstance::WaitForInstance(&state);
  });
  std::thread asker([&] {
    needs_instance_in_other = LazyInstance::NeedsInstance(&state);
    seen_by_other = reinterpret_cast<void*>(state.load());
  });
  while (!waiter_started.load())
    std::this_thread::yield();
  LazyInstance::CompleteInstance(&state, &instance, nullptr, nullptr);
  waiter.join();
  asker.join();
  EXPECT_EQ(&instance, waited_for);
  EXPECT_FALSE(needs_instance_in_other);
  EXPECT_EQ(&instance, seen_by_other);

  // Once published, no one else builds.
  EXPECT_FALSE(LazyInstance::NeedsInstance(&state));
  EXPECT_EQ(&instance, LazyInstance::WaitForInstance(&state));
}

int g_destructor_runs = 0;
void CountDestructorRun(void* state_word) {
  ++g_destructor_runs;
  static_cast<LazyInstance::StateWord*>(state_word)->store(0);
}

TEST(LazyInstanceTest, CompleteInstanceRegistersTheDestructor) {
  g_destructor_runs = 0;
  LazyInstance::StateWord state{0};
  int instance = 1;
  {
    AtExitManager manager;
    ASSERT_TRUE(LazyInstance::NeedsInstance(&state));
    LazyInstance::CompleteInstance(&state, &instance, &state,
                                   &CountDestructorRun);
  }
  EXPECT_EQ(1, g_destructor_runs);
  EXPECT_EQ(0u, state.load());

  // A creation that failed publishes 0 and leaves nothing to destroy; the
  // next caller tries again.
  {
    AtExitManager manager;
    ASSERT_TRUE(LazyInstance::NeedsInstance(&state));
    LazyInstance::CompleteInstance(&state, nullptr, &state,
                                   &CountDestructorRun);
    EXPECT_TRUE(LazyInstance::NeedsInstance(&state));
    LazyInstance::CompleteInstance(&state, &instance, nullptr, nullptr);
  }
  EXPECT_EQ(1, g_destructor_runs);
}

}  // namespace
}  // namespace base
