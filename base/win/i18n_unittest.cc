#include "base/win/i18n.h"

#include <string.h>

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

using internal::AppendPreferredUILanguages;
using internal::AppendUILanguagesOfLanguageId;

using Languages = std::vector<string16>;

// What the fake language function lists, and how it behaves.
struct FakeLanguages {
  std::wstring list;  // Names separated and ended by NULs.
  ULONG count = 0;
  bool fail_size_query = false;
  bool fail_fetch = false;
  bool report_no_size = false;
  DWORD flags_seen = 0;
  ULONG fetch_size_seen = 0;
};
FakeLanguages g_fake;

BOOL WINAPI FakePreferredUILanguages(DWORD flags,
                                     ULONG* count,
                                     wchar_t* buffer,
                                     ULONG* buffer_size) {
  g_fake.flags_seen = flags;
  if (!buffer) {
    if (g_fake.fail_size_query)
      return FALSE;
    *buffer_size = g_fake.report_no_size ? 0 : g_fake.list.size();
    *count = g_fake.count;
    return TRUE;
  }
  g_fake.fetch_size_seen = *buffer_size;
  if (g_fake.fail_fetch || *buffer_size < g_fake.list.size())
    return FALSE;
  memcpy(buffer, g_fake.list.data(), g_fake.list.size() * sizeof(wchar_t));
  *count = g_fake.count;
  return TRUE;
}

void SetFake(const wchar_t* list, size_t length, ULONG count) {
  g_fake = FakeLanguages();
  g_fake.list.assign(list, length);
  g_fake.count = count;
}

TEST(I18nTest, ListsThePreferredLanguagesInOrder) {
  static const wchar_t kList[] = L"fr-FR\0en-US\0en\0";  // Plus the final NUL.
  SetFake(kList, sizeof(kList) / sizeof(wchar_t), 3);
  Languages languages = {L"kept"};
  EXPECT_TRUE(
      AppendPreferredUILanguages(&FakePreferredUILanguages, &languages));
  EXPECT_EQ((Languages{L"kept", L"fr-FR", L"en-US", L"en"}), languages);
  // Names, with both fallbacks merged in; the buffer is the size learned.
  EXPECT_EQ(0x38u, g_fake.flags_seen);
  EXPECT_EQ(g_fake.list.size(), g_fake.fetch_size_seen);
}

TEST(I18nTest, FailuresOfThePreferredListAppendNothing) {
  static const wchar_t kList[] = L"de-DE\0";
  Languages languages;
  EXPECT_FALSE(AppendPreferredUILanguages(nullptr, &languages));

  SetFake(kList, sizeof(kList) / sizeof(wchar_t), 1);
  g_fake.fail_size_query = true;
  EXPECT_FALSE(
      AppendPreferredUILanguages(&FakePreferredUILanguages, &languages));
  SetFake(kList, sizeof(kList) / sizeof(wchar_t), 1);
  g_fake.report_no_size = true;
  EXPECT_FALSE(
      AppendPreferredUILanguages(&FakePreferredUILanguages, &languages));
  SetFake(kList, sizeof(kList) / sizeof(wchar_t), 1);
  g_fake.fail_fetch = true;
  EXPECT_FALSE(
      AppendPreferredUILanguages(&FakePreferredUILanguages, &languages));
  SetFake(kList, sizeof(kList) / sizeof(wchar_t), 0);
  EXPECT_FALSE(
      AppendPreferredUILanguages(&FakePreferredUILanguages, &languages));
  EXPECT_TRUE(languages.empty());
}

TEST(I18nTest, UnterminatedListStaysInsideTheBuffer) {
  // A list that fills its buffer without the terminators.
  static const wchar_t kList[] = {L'e', L'n', 0, L'd', L'e'};
  SetFake(kList, 5, 2);
  Languages languages;
  EXPECT_TRUE(
      AppendPreferredUILanguages(&FakePreferredUILanguages, &languages));
  EXPECT_EQ((Languages{L"en", L"de"}), languages);
}

TEST(I18nTest, DefaultLanguageWithAndWithoutCountry) {
  Languages languages;
  EXPECT_TRUE(AppendUILanguagesOfLanguageId(
      MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), &languages));
  EXPECT_EQ((Languages{L"en-US", L"en"}), languages);

  languages.clear();
  EXPECT_TRUE(AppendUILanguagesOfLanguageId(
      MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN_AUSTRIAN), &languages));
  EXPECT_EQ((Languages{L"de-AT", L"de"}), languages);

  // A neutral language (no sublanguage) has no country.
  languages.clear();
  EXPECT_TRUE(AppendUILanguagesOfLanguageId(LANG_ENGLISH, &languages));
  EXPECT_EQ((Languages{L"en"}), languages);
}

TEST(I18nTest, DefaultLanguageWithoutAStandardName) {
  Languages languages;
  EXPECT_FALSE(
      AppendUILanguagesOfLanguageId(LOCALE_CUSTOM_UI_DEFAULT, &languages));
  // An id that names no language at all.
  EXPECT_FALSE(AppendUILanguagesOfLanguageId(0x03FE, &languages));
  EXPECT_TRUE(languages.empty());
}

TEST(I18nTest, ThisThreadHasLanguages) {
  Languages languages;
  ASSERT_TRUE(GetThreadPreferredUILanguageList(&languages));
  ASSERT_FALSE(languages.empty());
  for (const string16& language : languages) {
    EXPECT_GE(language.size(), 2u);
    EXPECT_EQ(string16::npos, language.find(L'\0'));
  }
}

}  // namespace
}  // namespace win
}  // namespace base
