#include "base/bind.h"

#include <memory>
#include <string>

#include "base/callback.h"
#include "base/memory/ref_counted.h"
#include "base/memory/weak_ptr.h"
#include "gtest/gtest.h"

namespace base {
namespace {

int Sum3(int a, int b, int c) {
  return 100 * a + 10 * b + c;
}

std::string Join(const std::string& first, std::string second) {
  return first + "+" + second;
}

int TakeUnique(std::unique_ptr<int> value) {
  return *value;
}

class Recorder {
 public:
  Recorder() : weak_factory_(this) {}

  void Record(int value) {
    last_ = value;
    ++record_calls;
  }
  void RecordSum(int a, int b) { last_ = a + b; }
  int Last() const { return last_; }
  void AddTo(int* total) const { *total += last_; }

  WeakPtr<Recorder> AsWeakPtr() { return weak_factory_.GetWeakPtr(); }
  void InvalidateWeakPtrs() { weak_factory_.InvalidateWeakPtrs(); }

  static int record_calls;

 private:
  int last_ = 0;
  WeakPtrFactory<Recorder> weak_factory_;
};

int Recorder::record_calls = 0;

class Counted : public RefCountedThreadSafe<Counted> {
 public:
  explicit Counted(bool* destroyed) : destroyed_(destroyed) {}
  void Set(int value) { value_ = value; }
  int value() const { return value_; }

 private:
  friend class RefCountedThreadSafe<Counted>;
  ~Counted() { *destroyed_ = true; }

  bool* destroyed_;
  int value_ = 0;
};

class OwnedThing {
 public:
  explicit OwnedThing(int* deletions) : deletions_(deletions) {}
  ~OwnedThing() { ++*deletions_; }
  int Use() { return ++uses_; }

 private:
  int* deletions_;
  int uses_ = 0;
};

int UseOwned(OwnedThing* thing) {
  return thing->Use();
}

TEST(BindTest, FunctionsWithBoundAndCallArguments) {
  EXPECT_EQ(123, Bind(&Sum3, 1, 2, 3).Run());
  EXPECT_EQ(123, Bind(&Sum3, 1, 2).Run(3));
  EXPECT_EQ(123, Bind(&Sum3, 1).Run(2, 3));
  EXPECT_EQ(123, Bind(&Sum3).Run(1, 2, 3));
  Callback<int(int)> partial = Bind(&Sum3, 4, 5);
  EXPECT_EQ(456, partial.Run(6));
  EXPECT_EQ(457, partial.Run(7)) << "bound arguments are reused";
}

TEST(BindTest, BoundArgumentsAreCopiedAtBinding) {
  std::string text = "left";
  Callback<std::string(std::string)> join = Bind(&Join, text);
  text = "changed";
  EXPECT_EQ("left+right", join.Run("right"));
  EXPECT_EQ("left+lit", Bind(&Join, "left", "lit").Run());
}

TEST(BindTest, MoveOnlyCallArgumentsAreMovedThrough) {
  Callback<int(std::unique_ptr<int>)> take = Bind(&TakeUnique);
  EXPECT_EQ(42, take.Run(std::make_unique<int>(42)));
}

TEST(BindTest, MethodsOnRawReceivers) {
  Recorder recorder;
  Bind(&Recorder::Record, &recorder, 5).Run();
  EXPECT_EQ(5, recorder.Last());
  Callback<void(int)> record_sum = Bind(&Recorder::RecordSum, &recorder, 10);
  record_sum.Run(7);
  EXPECT_EQ(17, recorder.Last());
  EXPECT_EQ(17, Bind(&Recorder::Last, &recorder).Run());
  int total = 1;
  const Recorder* const_recorder = &recorder;
  Bind(&Recorder::AddTo, const_recorder, &total).Run();
  EXPECT_EQ(18, total);
  Callback<void(Recorder*, int)> unbound_receiver = Bind(&Recorder::Record);
  unbound_receiver.Run(&recorder, 9);
  EXPECT_EQ(9, recorder.Last());
}

TEST(BindTest, CountedReceiverLivesAsLongAsTheCallback) {
  bool destroyed = false;
  Closure set;
  {
    scoped_refptr<Counted> counted(new Counted(&destroyed));
    set = Bind(&Counted::Set, counted, 8);
  }
  EXPECT_FALSE(destroyed);
  set.Run();
  set.Reset();
  EXPECT_TRUE(destroyed);
}

TEST(BindTest, OwnedPointerIsDeletedWithTheBindState) {
  int deletions = 0;
  Callback<int()> use = Bind(&UseOwned, Owned(new OwnedThing(&deletions)));
  EXPECT_EQ(1, use.Run());
  EXPECT_EQ(2, use.Run()) << "the same object on every run";
  Callback<int()> copy = use;
  use.Reset();
  EXPECT_EQ(0, deletions);
  EXPECT_EQ(3, copy.Run());
  copy.Reset();
  EXPECT_EQ(1, deletions);

  // A callback that never runs still deletes what it owns.
  Bind(&UseOwned, Owned(new OwnedThing(&deletions)));
  EXPECT_EQ(2, deletions);
}

TEST(BindTest, WeakReceiverCallsOnlyWhileValid) {
  Recorder recorder;
  Closure record = Bind(&Recorder::Record, recorder.AsWeakPtr(), 1);
  Callback<void(int)> record_later =
      Bind(&Recorder::Record, recorder.AsWeakPtr());
  record.Run();
  EXPECT_EQ(1, recorder.Last());

  // Invalidated before the posted call gets to run: nothing happens.
  recorder.InvalidateWeakPtrs();
  record_later.Run(2);
  record.Run();
  EXPECT_EQ(1, recorder.Last());

  // Weak pointers taken afterwards work again.
  Bind(&Recorder::Record, recorder.AsWeakPtr(), 3).Run();
  EXPECT_EQ(3, recorder.Last());
}

TEST(BindTest, WeakReceiverDestroyedBeforeTheCallRuns) {
  Recorder* recorder = new Recorder;
  Closure record = Bind(&Recorder::Record, recorder->AsWeakPtr(), 4);
  Closure copy = record;
  delete recorder;
  Recorder::record_calls = 0;
  record.Run();
  copy.Run();
  EXPECT_EQ(0, Recorder::record_calls);
}

}  // namespace
}  // namespace base
