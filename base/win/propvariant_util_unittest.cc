#include "base/win/propvariant_util.h"

#include <string.h>

#include <string>

#include "base/test/fake_property_store.h"
#include "base/win/scoped_propvariant.h"
#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

TEST(PropVariantUtilTest, InitStringPropVariantCopiesOrClears) {
  PROPVARIANT variant;
  memset(&variant, 0xCD, sizeof(variant));
  EXPECT_EQ(E_INVALIDARG, InitStringPropVariant(nullptr, &variant));
  const PROPVARIANT zero = {};
  EXPECT_EQ(0, memcmp(&zero, &variant, sizeof(variant)));
  for (const wchar_t* text : {L"Vexlo.Browser \"x\" \u00e9\u4e2d", L""}) {
    ScopedPropVariant value;
    ASSERT_EQ(S_OK, InitStringPropVariant(text, value.Receive()));
    EXPECT_EQ(VT_LPWSTR, value.type());
    EXPECT_NE(text, value.get().pwszVal);
    EXPECT_STREQ(text, value.get().pwszVal);
  }
}

TEST(PropVariantUtilTest, StoresCommitOnlyAWriteThatGaveS_OK) {
  const struct {
    HRESULT set_result, commit_result;
    bool stored;
    const char* calls;
  } kCases[] = {
      {S_OK, S_OK, true, "SetValue Commit "},
      {E_ACCESSDENIED, S_OK, false, "SetValue "},
      {S_OK, E_FAIL, false, "SetValue Commit "},
      {S_FALSE, S_OK, true, "SetValue "},
  };
  for (const auto& test_case : kCases) {
    for (bool dual_mode : {false, true}) {
      FakePropertyStore store;
      store.set_set_value_result(test_case.set_result);
      store.set_commit_result(test_case.commit_result);
      const PROPERTYKEY& key =
          dual_mode ? kAppUserModelIsDualModeKey : kAppUserModelIdKey;
      EXPECT_EQ(test_case.stored,
                dual_mode ? StoreBooleanProperty(&store, key, dual_mode)
                          : StoreAppUserModelId(&store, L"Vexlo.Stable"))
          << test_case.set_result << dual_mode;
      EXPECT_EQ(test_case.calls, store.calls());
    }
  }
  FakePropertyStore store;
  EXPECT_FALSE(StoreAppUserModelId(&store, nullptr));
  EXPECT_EQ("", store.calls());
  ScopedPropVariant value;
  for (bool dual_mode : {true, false}) {
    ASSERT_TRUE(
        StoreBooleanProperty(&store, kAppUserModelIsDualModeKey, dual_mode));
    ASSERT_EQ(S_OK,
              store.GetValue(kAppUserModelIsDualModeKey, value.Receive()));
    EXPECT_EQ(VT_BOOL, value.type());
    EXPECT_EQ(dual_mode ? VARIANT_TRUE : VARIANT_FALSE, value.get().boolVal);
  }
  ASSERT_TRUE(StoreAppUserModelId(&store, L"Vexlo.Stable"));
  ASSERT_EQ(S_OK, store.GetValue(kAppUserModelIdKey, value.Receive()));
  EXPECT_STREQ(L"Vexlo.Stable", value.get().pwszVal);
  EXPECT_EQ(0u, store.references());
}

TEST(ScopedPropVariantTest, ReceiveResetAndDestructionFreeTheValue) {
  EXPECT_EQ(VT_EMPTY, ScopedPropVariant().type());
  FakePropertyStore object;
  auto hold = [&object](PROPVARIANT* variant) {
    object.AddRef();
    variant->vt = VT_UNKNOWN;
    variant->punkVal = &object;
  };
  {
    ScopedPropVariant variant;
    hold(variant.Receive());
  }
  ScopedPropVariant variant;
  hold(variant.Receive());
  EXPECT_EQ(VT_EMPTY, variant.Receive()->vt);
  hold(variant.Receive());
  variant.Reset();
  EXPECT_EQ(0u, object.references());
  EXPECT_EQ(nullptr, variant.get().punkVal);
}

}  // namespace
}  // namespace win
}  // namespace base
