#include "base/win/scoped_variant.h"

#include "base/win/scoped_bstr.h"
#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

TEST(ScopedVariantTest, HoldsAStringOrAnArrayOfKnownElementType) {
  EXPECT_EQ(VT_EMPTY, ScopedVariant().type());
  ScopedVariant variant(L"Vexlo");
  ASSERT_EQ(VT_BSTR, variant.type());
  EXPECT_STREQ(L"Vexlo", variant.Get().bstrVal);
  // Taking an array frees the string held before.
  SAFEARRAY* numbers = SafeArrayCreateVector(VT_I4, 0, 3);
  EXPECT_TRUE(variant.Set(numbers));
  EXPECT_EQ(VT_ARRAY | VT_I4, variant.type());
  EXPECT_EQ(numbers, variant.Get().parray);
  // A bare descriptor has no element type: it stays the caller's.
  SAFEARRAY* bare = nullptr;
  ASSERT_EQ(S_OK, SafeArrayAllocDescriptor(1, &bare));
  EXPECT_FALSE(variant.Set(bare));
  EXPECT_EQ(VT_EMPTY, variant.type());
  EXPECT_EQ(S_OK, SafeArrayDestroyDescriptor(bare));
}

TEST(ScopedBstrTest, HoldsACopyOrNothing) {
  wchar_t text[] = L"install";
  ScopedBstr copy(text);
  text[0] = L'X';
  EXPECT_STREQ(L"install", copy.Get());
  EXPECT_EQ(7u, copy.Length());
  EXPECT_EQ(0u, ScopedBstr(L"").Length());
  EXPECT_EQ(nullptr, ScopedBstr(nullptr).Get());
}

}  // namespace
}  // namespace win
}  // namespace base
