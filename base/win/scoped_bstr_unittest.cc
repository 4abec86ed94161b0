#include "base/win/scoped_bstr.h"

#include <string.h>

#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

TEST(ScopedBstrTest, HoldsACopy) {
  wchar_t text[] = L"install";
  ScopedBstr bstr(text);
  text[0] = L'X';
  ASSERT_TRUE(bstr.Get());
  EXPECT_STREQ(L"install", bstr.Get());
  EXPECT_NE(text, bstr.Get());
  EXPECT_EQ(7u, bstr.Length());
}

TEST(ScopedBstrTest, NullAndEmpty) {
  ScopedBstr none(nullptr);
  EXPECT_EQ(nullptr, none.Get());
  EXPECT_EQ(0u, none.Length());
  ScopedBstr empty(L"");
  ASSERT_TRUE(empty.Get());
  EXPECT_EQ(0u, empty.Length());
}

}  // namespace
}  // namespace win
}  // namespace base
