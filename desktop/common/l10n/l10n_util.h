#ifndef DESKTOP_COMMON_L10N_L10N_UTIL_H_
#define DESKTOP_COMMON_L10N_L10N_UTIL_H_

#include <vector>

#include "base/strings/string16.h"
#include "base/strings/string_piece.h"

namespace vexlo {
namespace l10n {

// The locale tags that the host executable offers ("de", "pt-br", ...): its
// text resource 134 of type "TXT", one tag per line. Empty when the
// executable does not carry the resource.
std::vector<base::string16> GetAvailableLocales();

// The tags of a locale list |text|: each byte widened, the text split at
// every line feed, white space trimmed from each line and empty lines kept.
std::vector<base::string16> ParseAvailableLocales(base::StringPiece text);

}  // namespace l10n
}  // namespace vexlo

#endif  // DESKTOP_COMMON_L10N_L10N_UTIL_H_
