#ifndef BASE_WIN_I18N_H_
#define BASE_WIN_I18N_H_

#include <windows.h>

#include <vector>

#include "base/strings/string16.h"

namespace base {
namespace win {

// Appends the calling thread's preferred UI language names (such as
// "en-US"), merged with the user's and the system's fallbacks, in order of
// preference. Where Windows cannot list them, appends the user's default UI
// language with its country and then without it. False when no language
// could be learned.
bool GetThreadPreferredUILanguageList(std::vector<string16>* languages);

namespace internal {

// The signature of GetThreadPreferredUILanguages.
using PreferredUILanguagesFunction = BOOL(WINAPI*)(DWORD flags,
                                                   ULONG* count,
                                                   wchar_t* buffer,
                                                   ULONG* buffer_size);

// Appends the languages that |function| lists; false, appending nothing,
// when |function| is null, fails or lists none.
bool AppendPreferredUILanguages(PreferredUILanguagesFunction function,
                                std::vector<string16>* languages);

// Appends "language-COUNTRY" (when |language_id| names a country) and then
// "language"; false, appending nothing, when the id has no language name.
bool AppendUILanguagesOfLanguageId(LANGID language_id,
                                   std::vector<string16>* languages);

}  // namespace internal

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_I18N_H_
