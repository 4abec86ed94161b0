#ifndef BASE_STRINGS_DOUBLE_TEXT_CONVERSION_H_
#define BASE_STRINGS_DOUBLE_TEXT_CONVERSION_H_

// Exact, locale-independent conversion between doubles and decimal text:
// shortest round-trip digits on output, correctly rounded values on input.

namespace base {

// Size every buffer handed to DoubleToShortestText must have at least.
constexpr int kDoubleToShortestTextBufferSize = 32;

// Decpt reported for infinities and NaNs, whose digit string is "Infinity" or
// "NaN".
constexpr int kNonFiniteDecimalPoint = 9999;

// Writes the shortest text that reads back as |value| into |buffer| (at least
// kDoubleToShortestTextBufferSize bytes), NUL-terminated, and returns
// |buffer|. There is no '0' before a leading decimal point (".5"), and the
// exponent form keeps at least two exponent digits ("1e+21", "1e-05").
char* DoubleToShortestText(char* buffer, double value);

// Returns the shortest digit string (at most 17 digits, no trailing zeros)
// that identifies |value|, allocated for the caller; release it with
// FreeDigits. |decpt| receives the position of the decimal point relative to
// the first digit, |sign| whether the sign bit is set, and |digits_end| (when
// not null) the end of the digits. Zero gives "0" with decpt 1.
char* DoubleToDigits(double value, int* decpt, bool* sign, char** digits_end);

// Releases a digit string returned by DoubleToDigits.
void FreeDigits(char* digits);

// Reads a double from the NUL-terminated |text|: leading white space, an
// optional sign, then a decimal number, "inf", "infinity" or "nan" with an
// optional parenthesised hexadecimal payload. |end| (when not null) receives
// the first character not used, or |text| when no number was found (the
// result is then 0). Sets errno to ERANGE when the result overflowed to
// infinity or fell to zero or into the subnormal range; leaves errno alone
// otherwise.
double ParseDouble(const char* text, const char** end);

}  // namespace base

#endif  // BASE_STRINGS_DOUBLE_TEXT_CONVERSION_H_
