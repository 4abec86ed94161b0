#include "base/win/i18n.h"

namespace base {
namespace win {

namespace {

// Language names with both the user's and the system's fallbacks merged in.
constexpr DWORD kLanguageListFlags =
    MUI_MERGE_SYSTEM_FALLBACK | MUI_MERGE_USER_FALLBACK | MUI_LANGUAGE_NAME;

// The user's default UI language when it is a custom locale, which has no
// standard name.
constexpr LANGID kCustomUIDefault = LOCALE_CUSTOM_UI_DEFAULT;

// Language ids above this carry a sublanguage, and so a country.
constexpr LANGID kHighestNeutralLanguageId = 0x3FF;

// Room for an ISO 639 or ISO 3166 name and its terminator.
constexpr int kLocaleNameBufferSize = 9;

internal::PreferredUILanguagesFunction LookUpThreadPreferredUILanguages() {
  // Only Windows Vista and later have it.
  return reinterpret_cast<internal::PreferredUILanguagesFunction>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"),
                                             "GetThreadPreferredUILanguages")));
}

// The locale name of |type| for |language_id|; empty when there is none.
string16 GetLocaleName(LANGID language_id, LCTYPE type) {
  wchar_t name[kLocaleNameBufferSize];
  int written = GetLocaleInfoW(MAKELCID(language_id, SORT_DEFAULT), type, name,
                               kLocaleNameBufferSize);
  // The count includes the terminator: below 2 there is no name.
  if (written < 2)
    return string16();
  return string16(name, written - 1);
}

}  // namespace

bool GetThreadPreferredUILanguageList(std::vector<string16>* languages) {
  if (internal::AppendPreferredUILanguages(LookUpThreadPreferredUILanguages(),
                                           languages)) {
    return true;
  }
  return internal::AppendUILanguagesOfLanguageId(GetUserDefaultUILanguage(),
                                                 languages);
}

namespace internal {

bool AppendPreferredUILanguages(PreferredUILanguagesFunction function,
                                std::vector<string16>* languages) {
  if (!function)
    return false;
  ULONG count = 0;
  ULONG size = 0;
  if (!function(kLanguageListFlags, &count, nullptr, &size) || size == 0)
    return false;
  std::vector<wchar_t> buffer(size);
  if (!function(kLanguageListFlags, &count, buffer.data(), &size) ||
      count == 0) {
    return false;
  }
  // NUL-terminated names, ended by an empty name. The walk also stops at the
  // end of the buffer, whatever the function wrote into it.
  const wchar_t* const end = buffer.data() + buffer.size();
  const wchar_t* name = buffer.data();
  while (name < end && *name) {
    const wchar_t* terminator = name;
    while (terminator < end && *terminator)
      ++terminator;
    languages->emplace_back(name, terminator);
    name = terminator + 1;
  }
  return true;
}

bool AppendUILanguagesOfLanguageId(LANGID language_id,
                                   std::vector<string16>* languages) {
  if (language_id == kCustomUIDefault)
    return false;
  string16 language = GetLocaleName(language_id, LOCALE_SISO639LANGNAME);
  if (language.empty())
    return false;
  if (language_id > kHighestNeutralLanguageId) {
    string16 country = GetLocaleName(language_id, LOCALE_SISO3166CTRYNAME);
    if (!country.empty())
      languages->push_back(language + L"-" + country);
  }
  languages->push_back(language);
  return true;
}

}  // namespace internal

}  // namespace win
}  // namespace base
