#include "desktop/common/l10n/l10n_util.h"

#include <windows.h>

#include "base/strings/string_split.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"

namespace vexlo {
namespace l10n {

namespace {

constexpr int kAvailableLocalesResourceId = 134;
constexpr wchar_t kTextResourceType[] = L"TXT";

// The bytes of the locale list of the host executable; false when it has
// none.
bool ReadAvailableLocalesResource(base::StringPiece* text) {
  const HMODULE module = ::GetModuleHandleW(nullptr);
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

}  // namespace

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

}  // namespace l10n
}  // namespace vexlo
