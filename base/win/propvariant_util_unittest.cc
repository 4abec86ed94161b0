#include "base/win/propvariant_util.h"

#include <string.h>

#include <string>
#include <vector>

#include "base/test/fake_property_store.h"
#include "base/win/scoped_propvariant.h"
#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

using Calls = std::vector<std::string>;

// The committed value of |key| in |store|, read through the interface.
void ReadCommitted(FakePropertyStore* store,
                   const PROPERTYKEY& key,
                   ScopedPropVariant* value) {
  ASSERT_EQ(S_OK, store->GetValue(key, value->Receive()));
}

TEST(PropVariantUtilTest, InitStringPropVariant) {
  PROPVARIANT variant;
  // Garbage in the output must not survive a failure.
  memset(&variant, 0xCD, sizeof(variant));
  EXPECT_EQ(E_INVALIDARG, InitStringPropVariant(nullptr, &variant));
  EXPECT_EQ(VT_EMPTY, variant.vt);
  const PROPVARIANT zero = {};
  EXPECT_EQ(0, memcmp(&zero, &variant, sizeof(variant)));

  const wchar_t text[] = L"Vexlo.Browser \"x\" \u00e9\u4e2d";
  ScopedPropVariant value;
  ASSERT_EQ(S_OK, InitStringPropVariant(text, value.Receive()));
  EXPECT_EQ(VT_LPWSTR, value.type());
  // A copy, not the caller's string.
  EXPECT_NE(text, value.get().pwszVal);
  EXPECT_STREQ(text, value.get().pwszVal);

  ASSERT_EQ(S_OK, InitStringPropVariant(L"", value.Receive()));
  EXPECT_EQ(VT_LPWSTR, value.type());
  ASSERT_TRUE(value.get().pwszVal);
  EXPECT_EQ(L'\0', value.get().pwszVal[0]);
}

TEST(PropVariantUtilTest, StoreAppUserModelIdWritesAndCommits) {
  FakePropertyStore store;
  EXPECT_TRUE(StoreAppUserModelId(&store, L"Vexlo.Stable"));
  EXPECT_EQ((Calls{"SetValue", "Commit"}), store.calls());
  EXPECT_EQ(0u, store.references());

  ScopedPropVariant value;
  ReadCommitted(&store, kAppUserModelIdKey, &value);
  ASSERT_EQ(VT_LPWSTR, value.type());
  EXPECT_STREQ(L"Vexlo.Stable", value.get().pwszVal);
  // Nothing landed under the dual-mode key of the same property set.
  ReadCommitted(&store, kAppUserModelIsDualModeKey, &value);
  EXPECT_EQ(VT_EMPTY, value.type());
}

TEST(PropVariantUtilTest, StoreAppUserModelIdFailures) {
  {
    // No id: the store is not touched.
    FakePropertyStore store;
    EXPECT_FALSE(StoreAppUserModelId(&store, nullptr));
    EXPECT_TRUE(store.calls().empty());
  }
  {
    // A refused write is not committed.
    FakePropertyStore store;
    store.set_set_value_result(E_ACCESSDENIED);
    EXPECT_FALSE(StoreAppUserModelId(&store, L"Vexlo"));
    EXPECT_EQ((Calls{"SetValue"}), store.calls());
  }
  {
    // A failed commit fails the store.
    FakePropertyStore store;
    store.set_commit_result(E_FAIL);
    EXPECT_FALSE(StoreAppUserModelId(&store, L"Vexlo"));
    EXPECT_EQ((Calls{"SetValue", "Commit"}), store.calls());
  }
  {
    // A write that succeeds with a code other than S_OK counts as done and
    // is not committed.
    FakePropertyStore store;
    store.set_set_value_result(S_FALSE);
    EXPECT_TRUE(StoreAppUserModelId(&store, L"Vexlo"));
    EXPECT_EQ((Calls{"SetValue"}), store.calls());
    ScopedPropVariant value;
    ReadCommitted(&store, kAppUserModelIdKey, &value);
    EXPECT_EQ(VT_EMPTY, value.type());
  }
}

TEST(PropVariantUtilTest, StoreBooleanProperty) {
  FakePropertyStore store;
  EXPECT_TRUE(StoreBooleanProperty(&store, kAppUserModelIsDualModeKey, true));
  ScopedPropVariant value;
  ReadCommitted(&store, kAppUserModelIsDualModeKey, &value);
  ASSERT_EQ(VT_BOOL, value.type());
  EXPECT_EQ(VARIANT_TRUE, value.get().boolVal);

  EXPECT_TRUE(StoreBooleanProperty(&store, kAppUserModelIsDualModeKey, false));
  ReadCommitted(&store, kAppUserModelIsDualModeKey, &value);
  ASSERT_EQ(VT_BOOL, value.type());
  EXPECT_EQ(VARIANT_FALSE, value.get().boolVal);
  EXPECT_EQ((Calls{"SetValue", "Commit", "GetValue", "SetValue", "Commit",
                   "GetValue"}),
            store.calls());

  FakePropertyStore failing;
  failing.set_commit_result(STG_E_ACCESSDENIED);
  EXPECT_FALSE(
      StoreBooleanProperty(&failing, kAppUserModelIsDualModeKey, true));
  failing.set_commit_result(S_OK);
  failing.set_set_value_result(E_INVALIDARG);
  EXPECT_FALSE(
      StoreBooleanProperty(&failing, kAppUserModelIsDualModeKey, true));
  EXPECT_EQ((Calls{"SetValue", "Commit", "SetValue"}), failing.calls());
}

}  // namespace
}  // namespace win
}  // namespace base
