#ifndef BASE_STRINGS_SYS_STRING_CONVERSIONS_H_
#define BASE_STRINGS_SYS_STRING_CONVERSIONS_H_

#include <stdint.h>

#include <string>

#include "base/strings/string16.h"
#include "base/strings/string_piece.h"

namespace base {

// Conversions through the system's code-page functions. Invalid input is
// handled by the system; a conversion the system rejects gives an empty
// string.
string16 SysMultiByteToWide(StringPiece mb, uint32_t code_page);
string16 SysUTF8ToWide(StringPiece utf8);
std::string SysWideToMultiByte(const string16& wide, uint32_t code_page);
std::string SysWideToUTF8(const string16& wide);

}  // namespace base

#endif  // BASE_STRINGS_SYS_STRING_CONVERSIONS_H_
