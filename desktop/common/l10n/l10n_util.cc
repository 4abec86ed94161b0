#include "desktop/common/l10n/l10n_util.h"

#include <windows.h>

#include <algorithm>
#include <atomic>

#include "base/lazy_instance.h"
#include "base/logging.h"
#include "base/strings/string_split.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/i18n.h"

namespace vexlo {
namespace l10n {

namespace {

constexpr int kAvailableLocalesResourceId = 134;
constexpr wchar_t kTextResourceType[] = L"TXT";
constexpr wchar_t kFallbackLocale[] = L"en";
// A string-table block holds this many strings.
constexpr int kStringsPerBlock = 16;

struct LocaleLanguage {
  const char* tag;  // Lower case.
  uint16_t language_id;
};

// Some rows deliberately differ from the tags' usual identifiers ("tl",
// "neutral"); the host's string tables were built against these.
constexpr LocaleLanguage kLocaleLanguages[] = {
    {"az", 1068},          {"el", 1032},    {"gu", 1095},    {"en", 1033},
    {"userdefault", 1024}, {"fr-ca", 3084}, {"vi", 1066},    {"ca", 1027},
    {"fake-bidi", 1037},   {"am", 1118},    {"it", 1040},    {"iw", 1037},
    {"kn", 1099},          {"zh-hk", 3076}, {"ar", 1025},    {"ml", 1100},
    {"zu", 1077},          {"cs", 1029},    {"et", 1061},    {"gl", 1110},
    {"id", 1057},          {"es", 3082},    {"en-gb", 2057}, {"ru", 1049},
    {"eu", 1069},          {"nl", 1043},    {"nn", 2068},    {"no", 1044},
    {"nb", 1044},          {"af", 1078},    {"tr", 1055},    {"tl", 1024},
    {"lv", 1062},          {"lt", 1063},    {"pa", 1094},    {"sw", 1089},
    {"th", 1054},          {"te", 1098},    {"ro", 1048},    {"is", 1039},
    {"fil", 1124},         {"ta", 1097},    {"be", 1059},    {"fr", 1036},
    {"bg", 1026},          {"ms", 1086},    {"sl", 1060},    {"hr", 1050},
    {"fy", 1122},          {"bn", 1093},    {"de", 1031},    {"hu", 1038},
    {"fa", 1065},          {"neutral", 0},  {"hi", 1081},    {"pt-br", 1046},
    {"sa", 1103},          {"fi", 1035},    {"da", 1030},    {"ja", 1041},
    {"kk", 1087},          {"he", 1037},    {"me", 2074},    {"es-419", 2058},
    {"ne", 1121},          {"pt-pt", 2070}, {"zh-tw", 1028}, {"uz", 1091},
    {"ko", 1042},          {"sv", 1053},    {"mk", 1071},    {"ur", 1056},
    {"sk", 1051},          {"zh-cn", 2052}, {"si", 1115},    {"gd", 1169},
    {"pl", 1045},          {"uk", 1058},    {"sr", 3098},    {"ti", 2163},
    {"mr", 1102},          {"or", 1096},
};

// Whole-tag replacements of NormalizeLocale, compared without regard to case.
struct LocaleReplacement {
  const char* from;  // Lower case.
  const wchar_t* to;
};
constexpr LocaleReplacement kLocaleReplacements[] = {{"no", L"nb"},
                                                     {"pt", L"pt-PT"},
                                                     {"tl", L"fil"}};

// The module whose resources hold the strings; null for the host executable.
std::atomic<void*> g_string_module_for_testing{nullptr};

HMODULE GetStringModule() {
  void* module = g_string_module_for_testing.load();
  return module ? static_cast<HMODULE>(module) : ::GetModuleHandleW(nullptr);
}

base::LazyInstance::DestroyedAtExit<uint16_t> g_current_language_id;

// The bytes of the locale list of the host executable; false when it has
// none.
bool ReadAvailableLocalesResource(base::StringPiece* text) {
  const HMODULE module = GetStringModule();
  const HRSRC info = ::FindResourceW(
      module, MAKEINTRESOURCEW(kAvailableLocalesResourceId), kTextResourceType);
  if (!info)
    return false;
  const HGLOBAL resource = ::LoadResource(module, info);
  if (!resource)
    return false;
  const void* data = ::LockResource(resource);
  if (!data)
    return false;
  *text = base::StringPiece(static_cast<const char*>(data),
                            ::SizeofResource(module, info));
  return true;
}

// The string-table block that holds |string_id| in |language_id|, as
// |size| bytes at |block|; false, logged, when it cannot be had.
bool LockStringBlock(uint16_t language_id,
                     int string_id,
                     const wchar_t** block,
                     size_t* size) {
  const HMODULE module = GetStringModule();
  const WORD block_name = static_cast<WORD>(
      static_cast<unsigned>(string_id) / kStringsPerBlock + 1);
  const HRSRC info = ::FindResourceExW(
      module, RT_STRING, MAKEINTRESOURCEW(block_name), language_id);
  if (!info) {
    PLOG(ERROR) << "Failed to find string";
    return false;
  }
  const HGLOBAL resource = ::LoadResource(module, info);
  if (!resource) {
    PLOG(ERROR) << "Failed to load string";
    return false;
  }
  *block = static_cast<const wchar_t*>(::LockResource(resource));
  if (!*block) {
    PLOG(ERROR) << "Failed to lock string";
    return false;
  }
  *size = ::SizeofResource(module, info);
  return true;
}

// Entry |index| of a string-table block of |units| UTF-16 units; each entry
// is its length followed by that many units. A block cut short yields what
// it holds of the entry.
base::string16 ReadBlockEntry(const wchar_t* block, size_t units, int index) {
  size_t position = 0;
  for (int i = 0; i < index && position < units; ++i)
    position += 1 + block[position];
  if (position >= units)
    return base::string16();
  const size_t start = position + 1;
  const size_t length = std::min<size_t>(block[position], units - start);
  return base::string16(block + start, length);
}

// The first part of a preferred language name and the tag that the host
// would ship for it; see ChooseUILocale.
base::string16 GetRelativeLocale(const base::string16& prefix,
                                 const base::string16& suffix) {
  if (base::LowerCaseEqualsASCII(prefix, "es") &&
      !base::LowerCaseEqualsASCII(suffix, "es")) {
    return prefix + L"-419";
  }
  if (base::LowerCaseEqualsASCII(prefix, "zh")) {
    const bool traditional = base::LowerCaseEqualsASCII(suffix, "hk") ||
                             base::LowerCaseEqualsASCII(suffix, "mo");
    return prefix + (traditional ? L"-TW" : L"-CN");
  }
  if (base::LowerCaseEqualsASCII(prefix, "en")) {
    const bool british = base::LowerCaseEqualsASCII(suffix, "au") ||
                         base::LowerCaseEqualsASCII(suffix, "ca") ||
                         base::LowerCaseEqualsASCII(suffix, "nz") ||
                         base::LowerCaseEqualsASCII(suffix, "za");
    return prefix + (british ? L"-GB" : L"-US");
  }
  if (base::LowerCaseEqualsASCII(prefix, "no"))
    return L"nb";
  if (base::LowerCaseEqualsASCII(prefix, "fil"))
    return L"tl";
  return prefix;
}

}  // namespace

base::string16 LoadLocalizedString(
    uint16_t language_id,
    int string_id,
    const std::vector<base::string16>& substitutions) {
  const wchar_t* block = nullptr;
  size_t size = 0;
  if (!LockStringBlock(language_id, string_id, &block, &size))
    return base::string16();
  const base::string16 text = ReadBlockEntry(
      block, size / sizeof(wchar_t),
      static_cast<int>(static_cast<unsigned>(string_id) % kStringsPerBlock));
  if (substitutions.empty())
    return text;
  return base::ReplaceStringPlaceholders16(text, substitutions);
}

base::string16 GetLocalizedString(int string_id) {
  return LoadLocalizedString(*GetCurrentLanguageIdStorage(), string_id,
                             std::vector<base::string16>());
}

base::string16 GetLocalizedStringWithArgument(int string_id,
                                              const base::string16& argument) {
  return LoadLocalizedString(*GetCurrentLanguageIdStorage(), string_id,
                             {argument});
}

base::string16 GetLocalizedStringForLocale(const base::string16& locale,
                                           int string_id) {
  return LoadLocalizedString(GetLanguageIdForLocale(locale), string_id,
                             std::vector<base::string16>());
}

std::vector<base::string16> GetAvailableLocales() {
  base::StringPiece text;
  if (!ReadAvailableLocalesResource(&text))
    return std::vector<base::string16>();
  return ParseAvailableLocales(text);
}

std::vector<base::string16> ParseAvailableLocales(base::StringPiece text) {
  // The list is ASCII: widening each byte is the whole conversion.
  const base::string16 wide_text = base::ASCIIToUTF16(text);
  return base::SplitString16(wide_text, L"\n", base::TRIM_WHITESPACE,
                             base::SPLIT_WANT_ALL);
}

bool IsLocaleAvailable(const base::string16& locale) {
  return internal::IsLocaleInList(locale, GetAvailableLocales());
}

uint16_t GetLanguageIdForLocale(const base::string16& locale) {
  VLOG(1) << "Looking up LCID for " << base::UTF16ToUTF8(locale);
  for (const LocaleLanguage& row : kLocaleLanguages) {
    if (base::LowerCaseEqualsASCII(locale, row.tag))
      return row.language_id;
  }
  return 0;
}

base::string16 NormalizeLocale(const base::string16& locale) {
  for (const LocaleReplacement& replacement : kLocaleReplacements) {
    if (base::LowerCaseEqualsASCII(locale, replacement.from))
      return replacement.to;
  }
  return locale;
}

uint16_t ResolveUILanguage(uint16_t* language_id, base::string16* locale) {
  std::vector<base::string16> preferred_languages;
  base::win::GetThreadPreferredUILanguageList(&preferred_languages);
  *locale = internal::ChooseUILocale(*locale, GetAvailableLocales(),
                                     preferred_languages);
  *language_id = GetLanguageIdForLocale(*locale);
  *GetCurrentLanguageIdStorage() = *language_id;
  return *language_id;
}

uint16_t* GetCurrentLanguageIdStorage() {
  return &g_current_language_id.Get();
}

namespace internal {

base::string16 ChooseUILocale(
    const base::string16& locale,
    const std::vector<base::string16>& available,
    const std::vector<base::string16>& preferred_languages) {
  const base::string16 requested = NormalizeLocale(locale);
  if (IsLocaleInList(requested, available))
    return requested;
  for (const base::string16& language : preferred_languages) {
    if (IsLocaleInList(language, available))
      return language;
    const size_t dash = language.find(L'-');
    const base::string16 candidate =
        dash == base::string16::npos || dash == 0
            ? language
            : GetRelativeLocale(language.substr(0, dash),
                                language.substr(dash + 1));
    if (IsLocaleInList(candidate, available))
      return candidate;
  }
  return kFallbackLocale;
}

bool IsLocaleInList(const base::string16& locale,
                    const std::vector<base::string16>& available) {
  if (!base::IsStringASCII16(locale))
    return false;
  const std::string lowered = base::ToLowerASCII(base::UTF16ToASCII(locale));
  for (const base::string16& entry : available) {
    if (base::LowerCaseEqualsASCII(entry, lowered))
      return true;
  }
  return false;
}

ScopedStringModuleForTesting::ScopedStringModuleForTesting(void* module)
    : previous_(g_string_module_for_testing.exchange(module)) {}

ScopedStringModuleForTesting::~ScopedStringModuleForTesting() {
  g_string_module_for_testing.store(previous_);
}

}  // namespace internal

}  // namespace l10n
}  // namespace vexlo
