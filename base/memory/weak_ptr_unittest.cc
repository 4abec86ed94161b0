#include "base/memory/weak_ptr.h"

#include <atomic>
#include <thread>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

struct Base {
  int value = 0;
};
struct Derived : Base {};

class Target {
 public:
  Target() : weak_factory_(this) {}
  WeakPtr<Target> AsWeakPtr() { return weak_factory_.GetWeakPtr(); }
  void InvalidateWeakPtrs() { weak_factory_.InvalidateWeakPtrs(); }

 private:
  WeakPtrFactory<Target> weak_factory_;
};

TEST(WeakPtrTest, PointsAtTheObjectWhileValid) {
  Derived object;
  WeakPtrFactory<Derived> factory(&object);
  WeakPtr<Derived> weak = factory.GetWeakPtr();
  EXPECT_EQ(&object, weak.get());
  EXPECT_TRUE(weak);
  weak->value = 5;
  EXPECT_EQ(5, (*weak).value);
  WeakPtr<Base> as_base = weak;
  EXPECT_EQ(&object, as_base.get());
  WeakPtr<Derived> copy = weak;
  EXPECT_EQ(&object, copy.get());

  WeakPtr<Derived> none;
  EXPECT_EQ(nullptr, none.get());
  EXPECT_TRUE(none == nullptr);
  copy.reset();
  EXPECT_EQ(nullptr, copy.get());
  EXPECT_EQ(&object, weak.get());
}

TEST(WeakPtrTest, MoveLeavesTheSourceNull) {
  Base object;
  WeakPtrFactory<Base> factory(&object);
  WeakPtr<Base> source = factory.GetWeakPtr();
  WeakPtr<Base> target(std::move(source));
  EXPECT_EQ(&object, target.get());
  EXPECT_EQ(nullptr, source.get());  // NOLINT: moved-from state is defined.
  WeakPtr<Base> assigned;
  assigned = std::move(target);
  EXPECT_EQ(&object, assigned.get());
  EXPECT_EQ(nullptr, target.get());  // NOLINT
}

TEST(WeakPtrTest, InvalidationAffectsOnlyEarlierPointers) {
  Target target;
  WeakPtr<Target> first = target.AsWeakPtr();
  WeakPtr<Target> second = target.AsWeakPtr();
  WeakPtr<Target> copy_of_first = first;
  target.InvalidateWeakPtrs();
  EXPECT_EQ(nullptr, first.get());
  EXPECT_EQ(nullptr, second.get());
  EXPECT_EQ(nullptr, copy_of_first.get());
  EXPECT_FALSE(first);

  WeakPtr<Target> later = target.AsWeakPtr();
  EXPECT_EQ(&target, later.get());
  EXPECT_EQ(nullptr, first.get()) << "an old pointer stays invalid";
}

TEST(WeakPtrTest, DestroyingTheFactoryInvalidates) {
  WeakPtr<Target> weak;
  WeakPtr<Target> copy;
  {
    Target target;
    weak = target.AsWeakPtr();
    copy = weak;
  }
  EXPECT_EQ(nullptr, weak.get());
  EXPECT_EQ(nullptr, copy.get());
  WeakPtr<Target> copied_after = weak;
  EXPECT_EQ(nullptr, copied_after.get());
}

TEST(WeakReferenceOwnerTest, FlagSharingAndRenewal) {
  WeakReferenceOwner owner;
  WeakReference first = owner.GetRef();
  WeakReference second = owner.GetRef();
  ASSERT_NE(nullptr, first.flag());
  EXPECT_EQ(first.flag(), second.flag())
      << "outstanding references share one record";
  const WeakReference::Flag* old_flag = first.flag();

  first = WeakReference();
  WeakReference third = owner.GetRef();
  EXPECT_EQ(old_flag, third.flag()) << "|second| is still outstanding";

  // With every reference gone the owner starts a new record. The new one is
  // allocated while the old one still exists, so their addresses differ.
  second = WeakReference();
  third = WeakReference();
  WeakReference renewed = owner.GetRef();
  EXPECT_NE(old_flag, renewed.flag());
  EXPECT_TRUE(renewed.IsValid());
}

TEST(WeakReferenceOwnerTest, ReferencesOutliveTheOwner) {
  WeakReference reference;
  {
    WeakReferenceOwner owner;
    reference = owner.GetRef();
    EXPECT_TRUE(reference.IsValid());
  }
  EXPECT_FALSE(reference.IsValid());
  EXPECT_FALSE(WeakReference().IsValid());
}

TEST(WeakPtrTest, CopiedAndDestroyedOnOtherThreads) {
  Target target;
  WeakPtr<Target> weak = target.AsWeakPtr();
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&] {
      while (!go.load())
        std::this_thread::yield();
      for (int round = 0; round < 20000; ++round) {
        WeakPtr<Target> copy = weak;
        WeakPtr<Target> moved = std::move(copy);
        moved.reset();
      }
    });
  }
  go.store(true);
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(&target, weak.get());
  target.InvalidateWeakPtrs();
  EXPECT_EQ(nullptr, weak.get());
}

}  // namespace
}  // namespace base
