#include "base/strings/double_text_conversion.h"

#include <errno.h>
#include <float.h>
#include <math.h>
#include <stdint.h>
#include <string.h>

#include <charconv>
#include <limits>
#include <system_error>

namespace base {

namespace {

// A double never needs more significant digits than this to round-trip.
constexpr int kMaxShortestDigits = 17;

// Bound on the decimal magnitude tracked while scanning input; far beyond the
// range of a double, and small enough never to overflow.
constexpr int64_t kMagnitudeBound = int64_t{1} << 50;

constexpr uint64_t kExponentBits = 0x7FF0000000000000ULL;
constexpr uint64_t kMantissaBits = 0x000FFFFFFFFFFFFFULL;

bool IsAsciiDigit(char c) {
  return c >= '0' && c <= '9';
}

char ToLowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

bool IsParseSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

int HexDigitValue(char c) {
  if (IsAsciiDigit(c))
    return c - '0';
  char lower = ToLowerAscii(c);
  if (lower >= 'a' && lower <= 'f')
    return lower - 'a' + 10;
  return -1;
}

// Case-insensitive test that |text| starts with the lower-case |word|.
bool StartsWithWord(const char* text, const char* word) {
  for (; *word; ++text, ++word) {
    if (ToLowerAscii(*text) != *word)
      return false;
  }
  return true;
}

int64_t SaturatingAdd(int64_t value, int64_t delta) {
  int64_t sum = value + delta;
  if (sum > kMagnitudeBound)
    return kMagnitudeBound;
  if (sum < -kMagnitudeBound)
    return -kMagnitudeBound;
  return sum;
}

// Writes the shortest round-trip digits of the finite, non-negative
// |magnitude| (no trailing zeros, at most 17, no NUL) and returns their count.
int ShortestDigits(double magnitude, char* digits, int* decpt) {
  // Scientific form "d[.ddd]e[+-]xx" carries exactly the digits and the
  // exponent of the first one.
  char text[32];
  std::to_chars_result written = std::to_chars(
      text, text + sizeof(text), magnitude, std::chars_format::scientific);
  const char* p = text;
  int count = 0;
  for (; p != written.ptr && *p != 'e'; ++p) {
    if (*p != '.')
      digits[count++] = *p;
  }
  ++p;  // 'e'
  bool negative_exponent = *p == '-';
  ++p;  // exponent sign
  int exponent = 0;
  for (; p != written.ptr; ++p)
    exponent = exponent * 10 + (*p - '0');
  while (count > 1 && digits[count - 1] == '0')
    --count;
  *decpt = (negative_exponent ? -exponent : exponent) + 1;
  return count;
}

char* WriteZeros(char* out, int count) {
  for (int i = 0; i < count; ++i)
    *out++ = '0';
  return out;
}

char* WriteExponentForm(char* out, const char* digits, int count, int decpt) {
  *out++ = digits[0];
  if (count > 1) {
    *out++ = '.';
    memcpy(out, digits + 1, count - 1);
    out += count - 1;
  }
  *out++ = 'e';
  int exponent = decpt - 1;
  *out++ = exponent < 0 ? '-' : '+';
  if (exponent < 0)
    exponent = -exponent;
  if (exponent >= 100)
    *out++ = static_cast<char>('0' + exponent / 100);
  *out++ = static_cast<char>('0' + exponent / 10 % 10);
  *out++ = static_cast<char>('0' + exponent % 10);
  return out;
}

char* WriteFractionForm(char* out, const char* digits, int count, int decpt) {
  *out++ = '.';
  out = WriteZeros(out, -decpt);
  memcpy(out, digits, count);
  return out + count;
}

char* WritePlainForm(char* out, const char* digits, int count, int decpt) {
  for (int i = 0; i < count; ++i) {
    if (i == decpt)
      *out++ = '.';
    *out++ = digits[i];
  }
  return WriteZeros(out, decpt - count);
}

double NanWithPayload(uint64_t payload) {
  payload &= kMantissaBits;
  if (payload == 0)
    return std::numeric_limits<double>::quiet_NaN();
  uint64_t bits = kExponentBits | payload;
  double value;
  memcpy(&value, &bits, sizeof(value));
  return value;
}

// Reads "nan" at |text| (already matched), with an optional "(hex digits)"
// payload that becomes the mantissa bits. A malformed payload is not used.
double ParseNan(const char* text, const char** stop) {
  const char* p = text + 3;
  *stop = p;
  if (*p != '(')
    return std::numeric_limits<double>::quiet_NaN();
  ++p;
  uint64_t payload = 0;
  const char* first_digit = p;
  for (int digit; (digit = HexDigitValue(*p)) >= 0; ++p)
    payload = (payload << 4) | static_cast<uint64_t>(digit);
  if (p == first_digit || *p != ')')
    return std::numeric_limits<double>::quiet_NaN();
  *stop = p + 1;
  return NanWithPayload(payload);
}

// Where a decimal number ends, and the decimal exponent of its first non-zero
// digit (meaningful only when |nonzero|).
struct DecimalExtent {
  const char* end = nullptr;
  bool nonzero = false;
  int64_t magnitude = 0;
};

// Scans digits[.digits][(e|E)[+|-]digits] at |text|. False when no digit is
// there. An exponent marker without digits is not part of the number.
bool ScanDecimal(const char* text, DecimalExtent* extent) {
  const char* p = text;
  bool any_digit = false;
  int64_t leading = 0;  // Exponent of the first non-zero digit.
  for (; IsAsciiDigit(*p); ++p) {
    any_digit = true;
    if (extent->nonzero)
      leading = SaturatingAdd(leading, 1);
    else if (*p != '0')
      extent->nonzero = true;
  }
  if (*p == '.') {
    ++p;
    for (; IsAsciiDigit(*p); ++p) {
      any_digit = true;
      if (extent->nonzero)
        continue;
      leading = SaturatingAdd(leading, -1);
      if (*p != '0')
        extent->nonzero = true;
    }
  }
  if (!any_digit)
    return false;
  int64_t exponent = 0;
  if (*p == 'e' || *p == 'E') {
    const char* q = p + 1;
    bool negative = *q == '-';
    if (*q == '+' || *q == '-')
      ++q;
    if (IsAsciiDigit(*q)) {
      for (; IsAsciiDigit(*q); ++q) {
        if (exponent < kMagnitudeBound)
          exponent = exponent * 10 + (*q - '0');
      }
      if (negative)
        exponent = -exponent;
      p = q;
    }
  }
  extent->end = p;
  extent->magnitude = SaturatingAdd(leading, exponent);
  return true;
}

// Reads an unsigned decimal number at |text|; false when there is none.
bool ParseDecimal(const char* text, double* value, const char** stop) {
  DecimalExtent extent;
  if (!ScanDecimal(text, &extent))
    return false;
  std::from_chars_result result =
      std::from_chars(text, extent.end, *value, std::chars_format::general);
  if (result.ec == std::errc::invalid_argument)
    return false;
  *stop = result.ptr;
  if (result.ec == std::errc::result_out_of_range) {
    // The value was left alone; the magnitude tells which way it went.
    *value = extent.magnitude > 0 ? HUGE_VAL : 0.0;
    errno = ERANGE;
  } else if (extent.nonzero && fabs(*value) < DBL_MIN) {
    errno = ERANGE;  // Zero or subnormal: precision was lost.
  }
  return true;
}

// Reads the unsigned number at |text|: decimal, infinity or NaN.
bool ParseUnsigned(const char* text, double* value, const char** stop) {
  if (ParseDecimal(text, value, stop))
    return true;
  if (StartsWithWord(text, "inf")) {
    *stop = text + (StartsWithWord(text, "infinity") ? 8 : 3);
    *value = HUGE_VAL;
    return true;
  }
  if (StartsWithWord(text, "nan")) {
    *value = ParseNan(text, stop);
    return true;
  }
  return false;
}

}  // namespace

char* DoubleToShortestText(char* buffer, double value) {
  char* out = buffer;
  if (std::signbit(value))
    *out++ = '-';
  if (!std::isfinite(value)) {
    strcpy(out, std::isinf(value) ? "Infinity" : "NaN");
    return buffer;
  }
  char digits[kMaxShortestDigits];
  int decpt = 0;
  int count = ShortestDigits(fabs(value), digits, &decpt);
  if (decpt <= -4 || decpt > count + 5)
    out = WriteExponentForm(out, digits, count, decpt);
  else if (decpt <= 0)
    out = WriteFractionForm(out, digits, count, decpt);
  else
    out = WritePlainForm(out, digits, count, decpt);
  *out = '\0';
  return buffer;
}

char* DoubleToDigits(double value, int* decpt, bool* sign, char** digits_end) {
  *sign = std::signbit(value);
  char digits[kMaxShortestDigits + 1];
  int count;
  if (std::isinf(value)) {
    count = 8;
    memcpy(digits, "Infinity", count);
    *decpt = kNonFiniteDecimalPoint;
  } else if (std::isnan(value)) {
    count = 3;
    memcpy(digits, "NaN", count);
    *decpt = kNonFiniteDecimalPoint;
  } else {
    count = ShortestDigits(fabs(value), digits, decpt);
  }
  char* result = new char[count + 1];
  memcpy(result, digits, count);
  result[count] = '\0';
  if (digits_end)
    *digits_end = result + count;
  return result;
}

void FreeDigits(char* digits) {
  delete[] digits;
}

double ParseDouble(const char* text, const char** end) {
  const char* p = text;
  while (IsParseSpace(*p))
    ++p;
  bool negative = *p == '-';
  if (*p == '+' || *p == '-')
    ++p;
  double magnitude = 0.0;
  const char* stop = text;
  if (!ParseUnsigned(p, &magnitude, &stop)) {
    if (end)
      *end = text;
    return 0.0;
  }
  if (end)
    *end = stop;
  return std::copysign(magnitude, negative ? -1.0 : 1.0);
}

}  // namespace base
