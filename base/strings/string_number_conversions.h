#ifndef BASE_STRINGS_STRING_NUMBER_CONVERSIONS_H_
#define BASE_STRINGS_STRING_NUMBER_CONVERSIONS_H_

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "base/strings/string16.h"
#include "base/strings/string_piece.h"

namespace base {

// Number to text: decimal, '-' for negative values, no padding or grouping.
std::string IntToString(int value);
std::string UintToString(unsigned value);
std::string Int64ToString(int64_t value);
std::string Uint64ToString(uint64_t value);
string16 IntToString16(int value);
string16 UintToString16(unsigned value);
string16 Uint64ToString16(uint64_t value);

// The shortest text that reads back as |value| (".5", "1e+21", "-Infinity").
std::string DoubleToString(double value);

// Two upper-case hex digits per byte, high nibble first.
std::string HexEncode(const void* bytes, size_t size);

// Text to number. Each returns true only for text that is wholly one number
// in range: no white space, at most one leading sign ('-' only for signed
// results). The output is written in every case: the value read up to the
// first bad character, the saturated limit on overflow, or 0.
bool StringToInt(StringPiece input, int* output);
bool StringToUint(StringPiece input, unsigned* output);
bool StringToUint64(StringPiece input, uint64_t* output);
bool String16ToUint(StringPiece16 input, unsigned* output);

// Hexadecimal forms of the above; an optional "0x" or "0X" may follow the
// sign.
bool HexStringToInt(StringPiece input, int* output);
bool HexStringToUint(StringPiece input, unsigned* output);
bool HexStringToUint64(StringPiece input, uint64_t* output);

// Appends one byte per pair of hex digits to |output| (never cleared). False
// for empty or odd-length input, or at the first bad pair, whose earlier
// bytes stay appended.
bool HexStringToBytes(const std::string& input, std::vector<uint8_t>* output);

// True when |input| is wholly one decimal number, infinity or NaN that fits a
// double without range error. |output| always receives the parsed value (0
// when nothing was read, infinity on overflow).
bool StringToDouble(const std::string& input, double* output);

}  // namespace base

#endif  // BASE_STRINGS_STRING_NUMBER_CONVERSIONS_H_
