#ifndef BASE_STRINGS_STRING16_H_
#define BASE_STRINGS_STRING16_H_

#include <string>

namespace base {

// Wide text is UTF-16. On Windows the platform wide character is a 16-bit
// unit, so the wide string can be handed to the wide Windows calls directly.
typedef wchar_t char16;
typedef std::wstring string16;

static_assert(sizeof(char16) == 2, "wide text must be made of 16-bit units");

}  // namespace base

#endif  // BASE_STRINGS_STRING16_H_
