#include "base/callback.h"

#include <memory>

#include "base/bind.h"
#include "base/memory/ref_counted.h"
#include "base/memory/weak_ptr.h"
#include "gtest/gtest.h"

namespace base {
namespace {

int g_calls = 0;
int g_deletions = 0;

struct Target : RefCountedThreadSafe<Target> {
  ~Target() { ++g_deletions; }
  void Record(int value) {
    last = value;
    ++g_calls;
  }
  int Add(int a, int b) const { return last + a + b; }
  int last = 0;
  WeakPtrFactory<Target> weak_factory{this};
};

int Sum3(int a, int b, int c) {
  return 100 * a + 10 * b + c;
}
int TakeUnique(std::unique_ptr<int> value) {
  return *value;
}
int Use(Target* target) {
  return ++target->last;
}
void Touch(Target*) {}
Closure Counted() {
  return Bind(&Touch, Owned(new Target));
}

TEST(BindTest, ArgumentsAreBoundByCopyAndCalledWithTheRest) {
  EXPECT_EQ(123, Bind(&Sum3).Run(1, 2, 3));
  Callback<int(int)> partial = Bind(&Sum3, 4, 5);
  EXPECT_EQ(456, partial.Run(6));
  EXPECT_EQ(457, partial.Run(7)) << "bound arguments are reused";
  int bound = 1;
  Callback<int()> copied = Bind(&Sum3, bound, 2, 3);
  bound = 9;
  EXPECT_EQ(123, copied.Run());
  EXPECT_EQ(42, Bind(&TakeUnique).Run(std::make_unique<int>(42)));
}

TEST(BindTest, ReceiversRawCountedOwnedOrWeak) {
  Target raw;
  Bind(&Target::Record, &raw, 5).Run();
  const Target* const_raw = &raw;
  EXPECT_EQ(8, Bind(&Target::Add, const_raw, 1).Run(2));
  Bind(&Target::Record).Run(&raw, 9);
  EXPECT_EQ(9, raw.last);
  // A counted receiver lives with the callback; an owned one dies with it.
  g_deletions = 0;
  Closure record = Bind(&Target::Record, scoped_refptr<Target>(new Target), 1);
  Callback<int()> use = Bind(&Use, Owned(new Target));
  Counted();
  EXPECT_EQ(1, g_deletions);
  record.Run();
  EXPECT_EQ(1, use.Run());
  EXPECT_EQ(2, Callback<int()>(use).Run());
  record.Reset();
  use.Reset();
  EXPECT_EQ(3, g_deletions);
  auto target = std::make_unique<Target>();
  Closure record_weak =
      Bind(&Target::Record, target->weak_factory.GetWeakPtr(), 1);
  g_calls = 0;
  record_weak.Run();
  target.reset();
  record_weak.Run();
  EXPECT_EQ(1, g_calls);
}

TEST(CallbackTest, CopiesShareOneBindStateUntilTheLastGoes) {
  g_deletions = 0;
  Closure kept = Counted();
  EXPECT_FALSE(kept.is_null() || kept.Equals(Closure()));
  EXPECT_FALSE(kept.Equals(Counted())) << "another binding is not equal";
  {
    Closure copy(kept);
    Closure assigned;
    assigned = copy;
    EXPECT_TRUE(copy.Equals(kept) && kept.Equals(copy));
    // Assigning a callback to itself, by copy or move, keeps its state.
    Closure& alias = assigned;
    assigned = alias;
    assigned = std::move(alias);
    EXPECT_TRUE(assigned.Equals(kept));
    assigned.Run();
    Closure target = Counted();
    target = std::move(assigned);
    EXPECT_EQ(2, g_deletions) << "the target's old state goes at once";
    EXPECT_TRUE(assigned.is_null());  // NOLINT: moved-from state is defined.
  }
  EXPECT_EQ(2, g_deletions);
  kept.Reset();
  EXPECT_EQ(3, g_deletions);
  EXPECT_TRUE(kept.is_null() && kept.Equals(Closure()));
}

void CountCall() {
  ++g_calls;
}

// Bound data that owns a closure, and notes whether |watched| is null by
// the time it is destroyed.
bool g_watched_was_null = false;
struct Holder {
  ~Holder() {
    g_watched_was_null = watched && watched->is_null();
    closure.Reset();
  }
  Closure closure = Bind(&CountCall);
  Closure* watched = nullptr;
};
void TouchHolder(Holder*) {}

TEST(CallbackTest, AssigningOrResetLeavesNoWindowOnTheOldState) {
  // Releasing the target's old bind state destroys the source of the copy
  // or move.
  g_calls = 0;
  for (bool move : {false, true}) {
    Holder* holder = new Holder;
    Closure target = Bind(&TouchHolder, Owned(holder));
    if (move)
      target = std::move(holder->closure);
    else
      target = holder->closure;
    target.Run();
  }
  EXPECT_EQ(2, g_calls);
  Holder* holder = new Holder;
  Closure closure = Bind(&TouchHolder, Owned(holder));
  holder->watched = &closure;
  closure.Reset();
  EXPECT_TRUE(g_watched_was_null);
}

}  // namespace
}  // namespace base
