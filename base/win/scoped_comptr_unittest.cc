#include "base/win/scoped_comptr.h"

#include <objidl.h>

#include "base/test/fake_property_store.h"
#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

TEST(ScopedComPtrTest, HoldsAtMostOneReference) {
  FakePropertyStore object;
  {
    ScopedComPtr<IPropertyStore> store;
    EXPECT_FALSE(store);
    ASSERT_EQ(S_OK, store.QueryFrom(&object));
    ASSERT_EQ(S_OK, store.QueryFrom(&object));  // Replaces, not adds.
    EXPECT_EQ(&object, store.get());
    EXPECT_EQ(1u, object.references());
    // A slot handed to a call is empty and the old reference is gone.
    IPropertyStore** slot = store.Receive();
    EXPECT_EQ(nullptr, *slot);
    EXPECT_EQ(0u, object.references());
    *slot = &object;
    object.AddRef();
  }
  EXPECT_EQ(0u, object.references());
  ScopedComPtr<IUnknown> unknown;
  ASSERT_EQ(S_OK, unknown.QueryFrom(&object));
  // A failed query lets go of what was held and holds nothing.
  ScopedComPtr<IPersistFile> file;
  EXPECT_EQ(E_NOINTERFACE, file.QueryFrom(unknown.get()));
  EXPECT_FALSE(file);
  unknown.Reset();
  unknown.Reset();
  EXPECT_FALSE(unknown);
  EXPECT_EQ(0u, object.references());
}

}  // namespace
}  // namespace win
}  // namespace base
