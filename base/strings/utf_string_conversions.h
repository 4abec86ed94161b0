#ifndef BASE_STRINGS_UTF_STRING_CONVERSIONS_H_
#define BASE_STRINGS_UTF_STRING_CONVERSIONS_H_

#include <string>

#include "base/strings/string16.h"
#include "base/strings/string_piece.h"

namespace base {

// The UTF conversions never fail: every malformed UTF-8 sequence and every
// unpaired surrogate becomes one U+FFFD. Texts of up to 2^31 - 1 units.
string16 UTF8ToUTF16(StringPiece utf8);
string16 UTF8ToWide(StringPiece utf8);
std::string UTF16ToUTF8(StringPiece16 utf16);
std::string WideToUTF8(const string16& wide);

// One unit per byte, taken as a signed char (0x80-0xFF give 0xFF80-0xFFFF),
// and one byte per unit (the low 8 bits). Neither checks its input.
string16 ASCIIToUTF16(StringPiece ascii);
std::string UTF16ToASCII(StringPiece16 utf16);

}  // namespace base

#endif  // BASE_STRINGS_UTF_STRING_CONVERSIONS_H_
