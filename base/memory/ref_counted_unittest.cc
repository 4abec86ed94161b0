#include "base/memory/ref_counted.h"

#include <memory>

#include "base/memory/weak_ptr.h"
#include "gtest/gtest.h"

namespace base {
namespace {

int g_destructions = 0;

struct Shared : RefCountedThreadSafe<Shared> {
  virtual ~Shared() { ++g_destructions; }
};
struct Derived : Shared {};
struct Plain : RefCounted<Plain> {
  ~Plain() { ++g_destructions; }
};

TEST(RefCountedTest, TheLastReleaseDestroys) {
  g_destructions = 0;
  Shared* shared = new Shared;
  Plain* plain = new Plain;
  EXPECT_FALSE(shared->HasOneRef()) << "the count starts at 0";
  shared->AddRef();
  plain->AddRef();
  shared->AddRef();
  plain->AddRef();
  EXPECT_FALSE(shared->HasOneRef() || plain->HasOneRef());
  shared->Release();
  plain->Release();
  EXPECT_TRUE(shared->HasOneRef() && plain->HasOneRef());
  EXPECT_EQ(0, g_destructions);
  shared->Release();
  plain->Release();
  EXPECT_EQ(2, g_destructions);
}

TEST(ScopedRefptrTest, HoldsOneReferenceEach) {
  g_destructions = 0;
  scoped_refptr<Derived> derived(new Derived);
  scoped_refptr<Shared> first = derived;
  scoped_refptr<Shared> moved = std::move(derived);
  EXPECT_EQ(nullptr, derived);  // NOLINT: moved-from state is defined.
  EXPECT_EQ(first, moved);
  scoped_refptr<Shared>& alias = first;
  first = alias;
  first = first.get();
  moved = std::move(moved);
  first = nullptr;
  EXPECT_TRUE(moved->HasOneRef());
  moved = new Shared;
  EXPECT_EQ(1, g_destructions);
  moved = nullptr;
  EXPECT_EQ(2, g_destructions);
}

TEST(WeakPtrTest, FollowsTheObjectUntilInvalidated) {
  Derived object;
  auto factory = std::make_unique<WeakPtrFactory<Derived>>(&object);
  WeakPtr<Derived> weak = factory->GetWeakPtr();
  WeakPtr<Derived> copy = weak;
  WeakPtr<Shared> as_base = weak;
  WeakPtr<Derived> moved(factory->GetWeakPtr());
  WeakPtr<Derived> source = std::move(moved);
  EXPECT_EQ(nullptr, moved.get());  // NOLINT: moved-from state is defined.
  EXPECT_TRUE(&*weak == &object && copy.get() == &object &&
              as_base.get() == &object && source.get() == &object);
  copy.reset();
  EXPECT_TRUE(copy == nullptr && WeakPtr<Derived>() == nullptr);
  EXPECT_TRUE(weak);

  // Invalidation reaches every earlier pointer, but no later one.
  factory->InvalidateWeakPtrs();
  EXPECT_FALSE(weak || as_base || source);
  WeakPtr<Derived> later = factory->GetWeakPtr();
  EXPECT_EQ(&object, later.get());
  WeakPtr<Derived> copied_after = weak;
  EXPECT_EQ(nullptr, copied_after.get());
  factory.reset();
  EXPECT_EQ(nullptr, later.get());
}

TEST(WeakReferenceOwnerTest, OutstandingReferencesShareOneFlag) {
  WeakReference survivor;
  {
    WeakReferenceOwner owner;
    WeakReference first = owner.GetRef();
    WeakReference second = owner.GetRef();
    ASSERT_NE(nullptr, first.flag());
    EXPECT_EQ(first.flag(), second.flag());
    const WeakReference::Flag* old_flag = first.flag();
    first = WeakReference();
    EXPECT_EQ(old_flag, owner.GetRef().flag()) << "|second| is outstanding";
    // With every reference gone the owner starts a new flag, made while the
    // old one exists: their addresses differ.
    second = WeakReference();
    survivor = owner.GetRef();
    EXPECT_NE(old_flag, survivor.flag());
    EXPECT_TRUE(survivor.IsValid());
  }
  EXPECT_FALSE(survivor.IsValid());
  EXPECT_FALSE(WeakReference().IsValid());
}

}  // namespace
}  // namespace base
