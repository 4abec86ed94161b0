#include "base/win/scoped_propvariant.h"

#include "base/test/fake_property_store.h"
#include "base/win/propvariant_util.h"
#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

// Makes |variant| hold a reference to |object|, as a call filling it would.
void HoldObject(FakePropertyStore* object, PROPVARIANT* variant) {
  object->AddRef();
  variant->vt = VT_UNKNOWN;
  variant->punkVal = object;
}

TEST(ScopedPropVariantTest, ClearsWhatItHolds) {
  FakePropertyStore object;
  {
    ScopedPropVariant variant;
    EXPECT_EQ(VT_EMPTY, variant.type());
    HoldObject(&object, variant.Receive());
    EXPECT_EQ(VT_UNKNOWN, variant.type());
    EXPECT_EQ(1u, object.references());
  }
  // Destroyed: the reference went with it.
  EXPECT_EQ(0u, object.references());

  ScopedPropVariant variant;
  HoldObject(&object, variant.Receive());
  // Receiving again frees the old value before the slot is handed out.
  PROPVARIANT* slot = variant.Receive();
  EXPECT_EQ(0u, object.references());
  EXPECT_EQ(VT_EMPTY, slot->vt);

  HoldObject(&object, variant.Receive());
  variant.Reset();
  EXPECT_EQ(0u, object.references());
  EXPECT_EQ(VT_EMPTY, variant.type());
  variant.Reset();  // An empty variant stays empty.
  EXPECT_EQ(VT_EMPTY, variant.type());
}

TEST(ScopedPropVariantTest, HoldsAString) {
  ScopedPropVariant variant;
  ASSERT_EQ(S_OK, InitStringPropVariant(L"Vexlo.App", variant.Receive()));
  EXPECT_EQ(VT_LPWSTR, variant.type());
  EXPECT_STREQ(L"Vexlo.App", variant.get().pwszVal);
  variant.Reset();
  EXPECT_EQ(VT_EMPTY, variant.type());
  EXPECT_EQ(nullptr, variant.get().pwszVal);
}

}  // namespace
}  // namespace win
}  // namespace base
