#include "base/callback.h"

#include <atomic>
#include <thread>
#include <vector>

#include "base/bind.h"
#include "gtest/gtest.h"

namespace base {
namespace {

// Counts its destructions, so that tests see when a bind state goes.
class DestructionCounter {
 public:
  explicit DestructionCounter(int* destroyed) : destroyed_(destroyed) {}
  ~DestructionCounter() { ++*destroyed_; }

 private:
  int* destroyed_;
};

void Nothing() {}
void TouchCounter(DestructionCounter*) {}
int Twice(int value) {
  return 2 * value;
}

TEST(CallbackTest, NullCallbacks) {
  Closure null_closure;
  EXPECT_TRUE(null_closure.is_null());
  EXPECT_TRUE(null_closure.Equals(Closure()));
  Closure bound = Bind(&Nothing);
  EXPECT_FALSE(bound.is_null());
  EXPECT_FALSE(bound.Equals(null_closure));
  bound.Reset();
  EXPECT_TRUE(bound.is_null());
  EXPECT_TRUE(bound.Equals(null_closure));
}

TEST(CallbackTest, EqualsOnlyForCopies) {
  Callback<int(int)> first = Bind(&Twice);
  Callback<int(int)> second = Bind(&Twice);
  EXPECT_FALSE(first.Equals(second));
  Callback<int(int)> copy = first;
  EXPECT_TRUE(copy.Equals(first));
  EXPECT_TRUE(first.Equals(copy));
  EXPECT_EQ(14, copy.Run(7));
}

TEST(CallbackTest, BindStateLivesUntilTheLastCopyGoes) {
  int destroyed = 0;
  Closure original =
      Bind(&TouchCounter, Owned(new DestructionCounter(&destroyed)));
  {
    Closure copy(original);
    Closure assigned;
    assigned = copy;
    original.Reset();
    EXPECT_EQ(0, destroyed);
    copy.Run();
    assigned.Run();
    EXPECT_EQ(0, destroyed) << "running does not release the bound data";
  }
  EXPECT_EQ(1, destroyed);
}

TEST(CallbackTest, SelfAssignmentKeepsTheBindState) {
  int destroyed = 0;
  Closure closure =
      Bind(&TouchCounter, Owned(new DestructionCounter(&destroyed)));
  const Closure before = closure;
  Closure& alias = closure;
  closure = alias;
  EXPECT_EQ(0, destroyed);
  EXPECT_TRUE(closure.Equals(before));
  closure = std::move(alias);
  EXPECT_EQ(0, destroyed);
  EXPECT_TRUE(closure.Equals(before));
  closure.Run();
}

TEST(CallbackTest, AssignmentReleasesThePreviousBindState) {
  int first_destroyed = 0;
  int second_destroyed = 0;
  Closure target =
      Bind(&TouchCounter, Owned(new DestructionCounter(&first_destroyed)));
  Closure source =
      Bind(&TouchCounter, Owned(new DestructionCounter(&second_destroyed)));
  const Closure source_copy = source;
  target = std::move(source);
  EXPECT_EQ(1, first_destroyed);
  EXPECT_TRUE(source.is_null());  // NOLINT: the moved-from state is defined.
  EXPECT_TRUE(target.Equals(source_copy));

  Closure other = Bind(&Nothing);
  target = other;
  EXPECT_EQ(0, second_destroyed) << "source_copy still holds it";
  EXPECT_TRUE(target.Equals(other));
}

// A closure owned by the bound data of another closure.
struct ClosureHolder {
  ~ClosureHolder() {
    // Clear eagerly, so that a read of this closure after its holder is
    // gone shows up as a null invoke function.
    closure.Reset();
  }
  Closure closure;
};

int g_holder_runs = 0;
void CountHolderRun() {
  ++g_holder_runs;
}
void TouchHolder(ClosureHolder*) {}

TEST(CallbackTest, AssigningFromDataOwnedByTheOldBindState) {
  ClosureHolder* holder = new ClosureHolder;
  holder->closure = Bind(&CountHolderRun);
  Closure target = Bind(&TouchHolder, Owned(holder));
  // Releasing target's old bind state destroys the source of the copy.
  target = holder->closure;
  g_holder_runs = 0;
  target.Run();
  EXPECT_EQ(1, g_holder_runs);

  holder = new ClosureHolder;
  holder->closure = Bind(&CountHolderRun);
  target = Bind(&TouchHolder, Owned(holder));
  target = std::move(holder->closure);
  target.Run();
  EXPECT_EQ(2, g_holder_runs);
}

Closure* g_closure_being_reset = nullptr;
bool g_seen_null_during_release = false;

class ResetObserver {
 public:
  ~ResetObserver() {
    g_seen_null_during_release = g_closure_being_reset->is_null();
  }
};
void TouchObserver(ResetObserver*) {}

TEST(CallbackTest, ResetClearsBeforeReleasing) {
  Closure closure = Bind(&TouchObserver, Owned(new ResetObserver));
  g_closure_being_reset = &closure;
  g_seen_null_during_release = false;
  closure.Reset();
  EXPECT_TRUE(g_seen_null_during_release);
  g_closure_being_reset = nullptr;
}

TEST(CallbackTest, CopiesOnManyThreadsReleaseTheBindStateOnce) {
  int destroyed = 0;
  Closure shared =
      Bind(&TouchCounter, Owned(new DestructionCounter(&destroyed)));
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&shared, &go] {
      while (!go.load())
        std::this_thread::yield();
      for (int round = 0; round < 20000; ++round) {
        Closure copy = shared;
        Closure another;
        another = copy;
        another.Run();
      }
    });
  }
  go.store(true);
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(0, destroyed);
  shared.Reset();
  EXPECT_EQ(1, destroyed);
}

}  // namespace
}  // namespace base
