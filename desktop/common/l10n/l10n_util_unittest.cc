#include "desktop/common/l10n/l10n_util.h"

#include <windows.h>

#include <memory>
#include <vector>

#include "base/files/file_path.h"
#include "base/path_service.h"
#include "base/strings/string16.h"
#include "desktop/launcher/installer/host/installer_host_resource_ids.h"
#include "desktop/launcher/installer/package_fetcher/test/package_test_util.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace l10n {
namespace {

using Locales = std::vector<base::string16>;

constexpr uint16_t kEnglish = 1033;
constexpr uint16_t kGerman = 1031;

// One tag per line, trimmed; empty lines, a final line feed's among them,
// stay as empty tags.
TEST(L10nUtilTest, ParsesOneTagPerLine) {
  EXPECT_EQ(Locales({L"en", L"de", L"zh-tw"}),
            ParseAvailableLocales("en\r\n de \r\n\tzh-tw"));
  EXPECT_EQ(Locales({L"en", L"", L"de", L""}),
            ParseAvailableLocales("en\r\n\r\nde\r\n"));
  EXPECT_EQ(Locales(), ParseAvailableLocales(""));
  // The test executable carries no locale list.
  EXPECT_EQ(Locales(), GetAvailableLocales());
}

// Each tag's normal form and Windows language identifier.
TEST(L10nUtilTest, NormalizesAndMapsTags) {
  const struct {
    const wchar_t* tag;
    const wchar_t* normalized;
    uint16_t language_id;
  } kCases[] = {
      {L"EN", L"EN", 1033},
      {L"en-us", L"en-us", 0},
      {L"", L"", 0},
      {L"de ", L"de ", 0},
      {L"tl", L"fil", 1024},
      {L"fil", L"fil", 1124},
      {L"He", L"He", 1037},
      {L"fake-bidi", L"fake-bidi", 1037},
      {L"NO", L"nb", 1044},
      {L"nob", L"nob", 0},
      {L"neutral", L"neutral", 0},
      {L"es-419", L"es-419", 2058},
      {L"Pt", L"pt-PT", 0},
      {L"pt-br", L"pt-br", 1046},
      {L"or", L"or", 1096},
      {L"az", L"az", 1068},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(c.normalized, NormalizeLocale(c.tag)) << c.tag;
    EXPECT_EQ(c.language_id, GetLanguageIdForLocale(c.tag)) << c.tag;
  }
  // Membership ignores the case of A-Z only.
  EXPECT_TRUE(internal::IsLocaleInList(L"DE", {L"en", L"dE"}));
  EXPECT_FALSE(internal::IsLocaleInList(L"d\u00e9", {L"d\u00e9"}));
}

// The choice of UI locale for a request, the host's list and the user's
// preferred languages in order.
TEST(L10nUtilTest, ChoosesTheUILocale) {
  const struct {
    const wchar_t* requested;
    Locales available;
    Locales preferred;
    const wchar_t* chosen;
  } kCases[] = {
      // The request itself, normalised.
      {L"pt", {L"pt-pt"}, {L"de-DE"}, L"pt-PT"},
      {L"DE", {L"de"}, {}, L"DE"},
      // es-ES keeps "es", which is not offered; de-DE gives "de".
      {L"xx", {L"en", L"es-419", L"de"}, {L"es-ES", L"de-DE"}, L"de"},
      {L"", {L"es-419"}, {L"es-MX"}, L"es-419"},
      {L"", {L"es"}, {L"ES-es"}, L"ES"},
      // A whole name before its relatives.
      {L"", {L"de-at", L"de"}, {L"de-AT"}, L"de-AT"},
      {L"", {L"zh-tw", L"zh-cn"}, {L"zh-MO"}, L"zh-TW"},
      {L"", {L"zh-tw", L"zh-cn"}, {L"zh-SG"}, L"zh-CN"},
      {L"", {L"en-gb", L"en-us"}, {L"en-ZA"}, L"en-GB"},
      {L"", {L"en-gb", L"en-us"}, {L"en-IN"}, L"en-US"},
      {L"", {L"nb"}, {L"no-NO"}, L"nb"},
      {L"", {L"tl"}, {L"fil-PH"}, L"tl"},
      // "fil" is not tried for fil-PH: the next language decides.
      {L"", {L"fil", L"sv"}, {L"fil-PH", L"sv-SE"}, L"sv"},
      // A name without a dash, or with one first, is tried whole only.
      {L"", {L"x"}, {L"-x"}, L"en"},
      {L"q", {L""}, {L"-x"}, L"en"},
      // Nothing offered: English.
      {L"de", {}, {L"de-DE"}, L"en"},
      {L"de", {L"fr"}, {}, L"en"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(c.chosen,
              internal::ChooseUILocale(c.requested, c.available, c.preferred))
        << c.requested << " " << (c.preferred.empty() ? L"" : c.preferred[0]);
  }
}

// Reads the string tables of the real installer executable.
class LocalizedStringTest : public testing::Test {
 protected:
  void SetUp() override {
    base::FilePath folder;
    ASSERT_TRUE(base::PathService::Get(base::DIR_EXE, &folder));
    host_ = ::LoadLibraryExW(folder.Append(L"installer.exe").value().c_str(),
                             nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(host_);
    module_override_.reset(new internal::ScopedStringModuleForTesting(host_));
    saved_language_ = *GetCurrentLanguageIdStorage();
  }
  void TearDown() override {
    *GetCurrentLanguageIdStorage() = saved_language_;
    module_override_.reset();
    if (host_)
      ::FreeLibrary(host_);
  }

  HMODULE host_ = nullptr;
  std::unique_ptr<internal::ScopedStringModuleForTesting> module_override_;
  uint16_t saved_language_ = 0;
};

TEST_F(LocalizedStringTest, LoadsByNumberAndLanguage) {
  const struct {
    uint16_t language_id;
    int string_id;
    std::vector<base::string16> substitutions;
    const wchar_t* text;
  } kCases[] = {
      {kEnglish, IDS_LANGUAGE_LABEL, {}, L"Language:"},
      {kGerman, IDS_LANGUAGE_LABEL, {}, L"Sprache:"},
      // First and last entries of their blocks.
      {kEnglish, IDS_CAPTION, {}, L"Vexlo Installer"},
      {kEnglish, IDS_OK, {}, L"OK"},
      {kEnglish,
       IDS_ERROR_GENERIC,
       {},
       L"The installation could not be "
       L"completed.\n$1"},
      {kGerman,
       IDS_AUTOUPDATE_TASK_DESCRIPTION,
       {},
       L"H\u00e4lt Vexlo aktuell, indem regelm\u00e4\u00dfig nach Updates "
       L"gesucht wird."},
      {kEnglish, IDS_TITLE, {L"Vexlo"}, L"Welcome to Vexlo"},
      {kEnglish, IDS_TITLE, {L"$1 $$"}, L"Welcome to $1 $$"},
      {kGerman, IDS_TITLE, {L"A", L"B"}, L"Willkommen bei A"},
      // No table in that language, no such block, no such entry.
      {1036, IDS_OK, {}, L""},
      {kEnglish, 1, {}, L""},
      {kEnglish, IDS_ERROR_NO_SSE2 + 1, {}, L""},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(c.text,
              LoadLocalizedString(c.language_id, c.string_id, c.substitutions))
        << c.language_id << " " << c.string_id;
  }
  installer::ScopedLogCapture log;
  EXPECT_EQ(L"", LoadLocalizedString(kEnglish, 1, {}));
  EXPECT_TRUE(log.Saw("Failed to find string"));
  // Back to the test program, which has no strings.
  module_override_.reset();
  EXPECT_EQ(L"", LoadLocalizedString(kEnglish, IDS_OK, {}));
}

// The host's locale list, the choice of language from it, and the strings
// in the chosen language.
TEST_F(LocalizedStringTest, UsesTheChosenLanguage) {
  EXPECT_EQ(Locales({L"en", L"de"}), GetAvailableLocales());
  EXPECT_TRUE(IsLocaleAvailable(L"DE"));
  EXPECT_FALSE(IsLocaleAvailable(L"fr"));
  base::string16 locale = L"De";
  uint16_t language_id = 0;
  EXPECT_EQ(kGerman, ResolveUILanguage(&language_id, &locale));
  EXPECT_EQ(L"De", locale);
  EXPECT_EQ(kGerman, language_id);
  EXPECT_EQ(L"Willkommen bei $1", GetLocalizedString(IDS_TITLE));
  EXPECT_EQ(L"Willkommen bei Vexlo",
            GetLocalizedStringWithArgument(IDS_TITLE, L"Vexlo"));
  // A language the host lacks falls back to English.
  locale = L"fr";
  EXPECT_EQ(kEnglish, ResolveUILanguage(&language_id, &locale));
  EXPECT_EQ(L"en", locale);
  EXPECT_EQ(kEnglish, *GetCurrentLanguageIdStorage());
  EXPECT_EQ(L"Welcome to ", GetLocalizedStringWithArgument(IDS_TITLE, L""));
  // Each language's own name, whatever the current language; an unknown
  // tag has the neutral identifier, which lets the system choose.
  EXPECT_EQ(L"Deutsch", GetLocalizedStringForLocale(L"DE", IDS_LANGUAGE_NAME));
  EXPECT_FALSE(GetLocalizedStringForLocale(L"xx", IDS_LANGUAGE_NAME).empty());
}

}  // namespace
}  // namespace l10n
}  // namespace vexlo
