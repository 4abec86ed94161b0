#ifndef DESKTOP_COMMON_L10N_L10N_UTIL_H_
#define DESKTOP_COMMON_L10N_L10N_UTIL_H_

#include <stdint.h>

#include <vector>

#include "base/strings/string16.h"
#include "base/strings/string_piece.h"

namespace vexlo {
namespace l10n {

// The texts shown to the user live in the host executable's string table,
// once per Windows language identifier; they are loaded by number.

// String |string_id| in |language_id|, with "$1".."$N" replaced by
// |substitutions| when there are any. Empty, with an error in the log, when
// the host has no such string.
base::string16 LoadLocalizedString(
    uint16_t language_id,
    int string_id,
    const std::vector<base::string16>& substitutions);

// String |string_id| in the current UI language, placeholders untouched.
base::string16 GetLocalizedString(int string_id);

// String |string_id| in the current UI language with "$1" replaced by
// |argument|.
base::string16 GetLocalizedStringWithArgument(int string_id,
                                              const base::string16& argument);

// String |string_id| in the language of |locale|, placeholders untouched.
base::string16 GetLocalizedStringForLocale(const base::string16& locale,
                                           int string_id);

// The locale tags that the host executable offers ("de", "pt-br", ...): its
// text resource 134 of type "TXT", one tag per line. Empty when the
// executable does not carry the resource.
std::vector<base::string16> GetAvailableLocales();

// The tags of a locale list |text|: each byte widened, the text split at
// every line feed, white space trimmed from each line and empty lines kept.
std::vector<base::string16> ParseAvailableLocales(base::StringPiece text);

// Whether the host offers |locale|, compared without regard to the case of
// A-Z. A tag that is not plain ASCII is never offered.
bool IsLocaleAvailable(const base::string16& locale);

// The Windows language identifier of |locale| from the installer's own tag
// table; 0 for an empty or unknown tag.
uint16_t GetLanguageIdForLocale(const base::string16& locale);

// |locale| with the tags that name one language twice brought to the form
// the installer ships: "no" becomes "nb", "pt" "pt-PT" and "tl" "fil".
base::string16 NormalizeLocale(const base::string16& locale);

// Chooses the UI locale for the requested |locale|: the requested one when
// the host offers it, else the first of the user's preferred UI languages
// that the host offers (whole or by a near relative), else "en". Writes the
// choice back into |locale|, stores its language identifier as the current
// UI language and returns it through |language_id| and as the result.
uint16_t ResolveUILanguage(uint16_t* language_id, base::string16* locale);

// The process-wide current UI language identifier, 0 until set.
uint16_t* GetCurrentLanguageIdStorage();

namespace internal {

// The choice of ResolveUILanguage for the requested |locale|, the offered
// tags |available| and the user's |preferred_languages| in order.
base::string16 ChooseUILocale(
    const base::string16& locale,
    const std::vector<base::string16>& available,
    const std::vector<base::string16>& preferred_languages);

// Whether |locale| is one of |available| in the sense of IsLocaleAvailable.
bool IsLocaleInList(const base::string16& locale,
                    const std::vector<base::string16>& available);

// Reads the strings and the locale list from |module| rather than from the
// host executable while it lives, so that a test can read the tables of a
// module it loaded.
class ScopedStringModuleForTesting {
 public:
  explicit ScopedStringModuleForTesting(void* module);
  ScopedStringModuleForTesting(const ScopedStringModuleForTesting&) = delete;
  ScopedStringModuleForTesting& operator=(const ScopedStringModuleForTesting&) =
      delete;
  ~ScopedStringModuleForTesting();

 private:
  void* const previous_;
};

}  // namespace internal

}  // namespace l10n
}  // namespace vexlo

#endif  // DESKTOP_COMMON_L10N_L10N_UTIL_H_
