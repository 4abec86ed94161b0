#include "base/win/extended_startup_info.h"

#include <windows.h>

#include "base/test/scoped_windows_version_override.h"
#include "gtest/gtest.h"

namespace base {
namespace win {

TEST(ExtendedStartupInfoTest, FormFollowsTheWindowsVersion) {
  {
    ScopedWindowsVersionOverride xp(VERSION_XP);
    ExtendedStartupInfo plain;
    EXPECT_FALSE(plain.is_extended());
    EXPECT_EQ(104u, plain.startup_info()->cb);
    EXPECT_FALSE(plain.InitializeAttributeList(1));
    EXPECT_FALSE(plain.has_attribute_list());
  }
  ScopedWindowsVersionOverride vista(VERSION_VISTA);
  ExtendedStartupInfo extended;
  EXPECT_TRUE(extended.is_extended());
  EXPECT_EQ(112u, extended.startup_info()->cb);
  EXPECT_EQ(0u, extended.startup_info()->dwFlags);
  EXPECT_EQ(nullptr, extended.startup_info()->lpDesktop);
  EXPECT_EQ(nullptr, reinterpret_cast<STARTUPINFOEXW*>(extended.startup_info())
                         ->lpAttributeList);
}

TEST(ExtendedStartupInfoTest, AttributeListIsMadeOnceAndThenUpdated) {
  ExtendedStartupInfo info;
  ASSERT_TRUE(info.is_extended());
  HANDLE handles[1] = {::GetCurrentProcess()};
  EXPECT_FALSE(info.UpdateAttribute(PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles,
                                    sizeof(handles)));

  ASSERT_TRUE(info.InitializeAttributeList(1));
  EXPECT_TRUE(info.has_attribute_list());
  EXPECT_NE(
      nullptr,
      reinterpret_cast<STARTUPINFOEXW*>(info.startup_info())->lpAttributeList);
  EXPECT_FALSE(info.InitializeAttributeList(1));
  EXPECT_TRUE(info.UpdateAttribute(PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles,
                                   sizeof(handles)));
  // A list made for one attribute has no room for a second.
  DWORD_PTR parent = 0;
  EXPECT_FALSE(info.UpdateAttribute(PROC_THREAD_ATTRIBUTE_PARENT_PROCESS,
                                    &parent, sizeof(parent)));
}

}  // namespace win
}  // namespace base
