#include "base/win/scoped_comptr.h"

#include <objidl.h>

#include "base/test/fake_property_store.h"
#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

TEST(ScopedComPtrTest, HoldsOneReferenceAndReleasesIt) {
  FakePropertyStore object;
  {
    ScopedComPtr<IPropertyStore> store;
    EXPECT_FALSE(store);
    ASSERT_EQ(S_OK, store.QueryFrom(&object));
    EXPECT_TRUE(store);
    EXPECT_EQ(&object, store.get());
    EXPECT_EQ(1u, object.references());

    // Asking again replaces the reference rather than adding one.
    ASSERT_EQ(S_OK, store.QueryFrom(&object));
    EXPECT_EQ(1u, object.references());

    // A slot handed to a call is empty and the old reference is gone.
    IPropertyStore** slot = store.Receive();
    EXPECT_EQ(nullptr, *slot);
    EXPECT_EQ(0u, object.references());

    object.AddRef();
    *slot = &object;
    EXPECT_EQ(&object, store.get());
  }
  // Going out of scope released the reference the slot received.
  EXPECT_EQ(0u, object.references());

  ScopedComPtr<IPropertyStore> reset;
  ASSERT_EQ(S_OK, reset.QueryFrom(&object));
  reset.Reset();
  EXPECT_FALSE(reset);
  EXPECT_EQ(0u, object.references());
  reset.Reset();  // Nothing held: nothing released.
  EXPECT_EQ(0u, object.references());
}

TEST(ScopedComPtrTest, FailedQueryLeavesNothingHeld) {
  FakePropertyStore object;
  FakePropertyStore other;
  ScopedComPtr<IPersistFile> file;
  EXPECT_EQ(E_NOINTERFACE, file.QueryFrom(&object));
  EXPECT_FALSE(file);
  EXPECT_EQ(0u, object.references());

  // A failed query also lets go of what was held before.
  ScopedComPtr<IUnknown> unknown;
  ASSERT_EQ(S_OK, unknown.QueryFrom(&other));
  EXPECT_EQ(1u, other.references());
  ScopedComPtr<IPersistFile> from_unknown;
  EXPECT_EQ(E_NOINTERFACE, from_unknown.QueryFrom(unknown.get()));
  EXPECT_FALSE(from_unknown);
  unknown.Reset();
  EXPECT_EQ(0u, other.references());
}

}  // namespace
}  // namespace win
}  // namespace base
