#include "base/win/i18n.h"

#include <string.h>

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

using Languages = std::vector<string16>;

// What the fake language function lists (names separated and ended by NULs)
// and how it fails.
struct FakeList {
  std::wstring list;
  ULONG count;
  bool fail_size_query, report_no_size, fail_fetch;
};
const FakeList* g_list = nullptr;
DWORD g_flags_seen = 0;

BOOL WINAPI FakePreferredUILanguages(DWORD flags,
                                     ULONG* count,
                                     wchar_t* buffer,
                                     ULONG* buffer_size) {
  g_flags_seen = flags;
  const ULONG size = static_cast<ULONG>(g_list->list.size());
  *count = g_list->count;
  if (!buffer) {
    *buffer_size = g_list->report_no_size ? 0 : size;
    return !g_list->fail_size_query;
  }
  if (g_list->fail_fetch || *buffer_size != size)
    return FALSE;
  memcpy(buffer, g_list->list.data(), size * sizeof(wchar_t));
  return TRUE;
}

TEST(I18nTest, PreferredLanguagesInOrderOrNothing) {
  const std::wstring de(L"de-DE\0\0", 7);
  const struct {
    FakeList list;
    Languages expected;  // Only what was there: the call fails.
  } kCases[] = {
      {{std::wstring(L"fr-FR\0en-US\0en\0\0", 16), 3},
       {L"kept", L"fr-FR", L"en-US", L"en"}},
      // Filled to the end without the terminators.
      {{std::wstring(L"en\0de", 5), 2}, {L"kept", L"en", L"de"}},
      {{de, 1, true}, {L"kept"}},
      {{de, 1, false, true}, {L"kept"}},
      {{de, 1, false, false, true}, {L"kept"}},
      {{de, 0}, {L"kept"}},
  };
  for (const auto& test_case : kCases) {
    g_list = &test_case.list;
    Languages languages = {L"kept"};
    EXPECT_EQ(test_case.expected.size() > 1,
              internal::AppendPreferredUILanguages(&FakePreferredUILanguages,
                                                   &languages));
    EXPECT_EQ(test_case.expected, languages);
  }
  EXPECT_EQ(static_cast<DWORD>(MUI_LANGUAGE_NAME | MUI_MERGE_USER_FALLBACK |
                               MUI_MERGE_SYSTEM_FALLBACK),
            g_flags_seen);
  Languages languages;
  EXPECT_FALSE(internal::AppendPreferredUILanguages(nullptr, &languages));
}

TEST(I18nTest, LanguagesOfALanguageId) {
  const struct {
    LANGID id;
    Languages expected;  // Empty: the call fails.
  } kIds[] = {
      {MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), {L"en-US", L"en"}},
      {MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN_AUSTRIAN), {L"de-AT", L"de"}},
      {LANG_ENGLISH, {L"en"}},  // Neutral: no country.
      {LOCALE_CUSTOM_UI_DEFAULT, {}},
      {0x03FE, {}},  // Names no language.
  };
  for (const auto& id : kIds) {
    Languages languages;
    EXPECT_EQ(!id.expected.empty(),
              internal::AppendUILanguagesOfLanguageId(id.id, &languages));
    EXPECT_EQ(id.expected, languages) << id.id;
  }
  Languages languages;
  ASSERT_TRUE(GetThreadPreferredUILanguageList(&languages));
  ASSERT_FALSE(languages.empty());
  for (const string16& language : languages)
    EXPECT_EQ(wcslen(language.c_str()), language.size());
}

}  // namespace
}  // namespace win
}  // namespace base
