#include "base/win/scoped_variant.h"

#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

TEST(ScopedVariantTest, EmptyAndString) {
  ScopedVariant empty;
  EXPECT_EQ(VT_EMPTY, empty.type());

  ScopedVariant text(L"Vexlo");
  EXPECT_EQ(VT_BSTR, text.type());
  ASSERT_TRUE(text.Get().bstrVal);
  EXPECT_STREQ(L"Vexlo", text.Get().bstrVal);
  EXPECT_EQ(5u, SysStringLen(text.Get().bstrVal));
}

TEST(ScopedVariantTest, TakesAnArrayOfKnownElementType) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, 2);
  ASSERT_TRUE(array);
  ScopedVariant variant;
  EXPECT_TRUE(variant.Set(array));
  EXPECT_EQ(VT_ARRAY | VT_BSTR, variant.type());
  EXPECT_EQ(array, variant.Get().parray);

  // A variant that held a value frees it and takes the new array.
  ScopedVariant reused(L"old");
  SAFEARRAY* numbers = SafeArrayCreateVector(VT_I4, 0, 3);
  ASSERT_TRUE(numbers);
  EXPECT_TRUE(reused.Set(numbers));
  EXPECT_EQ(VT_ARRAY | VT_I4, reused.type());
  EXPECT_EQ(numbers, reused.Get().parray);
}

TEST(ScopedVariantTest, LeavesAnArrayOfUnknownElementTypeToTheCaller) {
  // A bare descriptor carries no element type.
  SAFEARRAY* array = nullptr;
  ASSERT_EQ(S_OK, SafeArrayAllocDescriptor(1, &array));
  VARTYPE element_type;
  ASSERT_TRUE(FAILED(SafeArrayGetVartype(array, &element_type)));
  {
    ScopedVariant variant;
    EXPECT_FALSE(variant.Set(array));
    EXPECT_EQ(VT_EMPTY, variant.type());
  }
  // Still the caller's: the variant did not free it.
  EXPECT_EQ(S_OK, SafeArrayDestroyDescriptor(array));
}

}  // namespace
}  // namespace win
}  // namespace base
