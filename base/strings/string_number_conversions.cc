#include "base/strings/string_number_conversions.h"

#include <ctype.h>
#include <errno.h>
#include <wctype.h>

#include <limits>
#include <type_traits>

#include "base/strings/double_text_conversion.h"

namespace base {

namespace {

// Digits least significant first into a local buffer, then one allocation for
// the result. The magnitude is taken as unsigned so that the most negative
// value needs no special case.
template <typename String, typename Int>
String IntToStringT(Int value) {
  using Char = typename String::value_type;
  using Unsigned = std::make_unsigned_t<Int>;
  // Three decimal digits per byte is more than enough, plus the sign.
  Char buffer[3 * sizeof(Int) + 1];
  Char* const end = buffer + sizeof(buffer) / sizeof(buffer[0]);
  Char* p = end;
  Unsigned magnitude = static_cast<Unsigned>(value);
  bool negative = false;
  if constexpr (std::is_signed_v<Int>) {
    negative = value < 0;
    if (negative)
      magnitude = 0 - magnitude;
  }
  do {
    *--p = static_cast<Char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (negative)
    *--p = static_cast<Char>('-');
  return String(p, end);
}

template <int kBase, typename Char>
bool CharToDigit(Char c, unsigned* digit) {
  if (c >= '0' && c <= '9') {
    *digit = static_cast<unsigned>(c - '0');
    return true;
  }
  if constexpr (kBase == 16) {
    if (c >= 'a' && c <= 'f') {
      *digit = static_cast<unsigned>(c - 'a' + 10);
      return true;
    }
    if (c >= 'A' && c <= 'F') {
      *digit = static_cast<unsigned>(c - 'A' + 10);
      return true;
    }
  }
  return false;
}

bool IsCLibrarySpace(char c) {
  return isspace(static_cast<unsigned char>(c)) != 0;
}

bool IsCLibrarySpace(wchar_t c) {
  return iswspace(c) != 0;
}

// True when accumulating |digit| onto |value| would pass the type's limit in
// the direction given by |negative|.
template <typename Value, int kBase>
bool WouldOverflow(Value value, unsigned digit, bool negative) {
  constexpr Value kMax = std::numeric_limits<Value>::max();
  if constexpr (std::is_signed_v<Value>) {
    constexpr Value kMin = std::numeric_limits<Value>::min();
    if (negative) {
      return value < kMin / kBase ||
             (value == kMin / kBase &&
              static_cast<Value>(digit) > -(kMin % kBase));
    }
  }
  return value > kMax / kBase ||
         (value == kMax / kBase && static_cast<Value>(digit) > kMax % kBase);
}

// Reads digits only, with the accumulator running towards the limit given by
// |negative|. |output| holds the value read so far, or the saturated limit.
template <typename Value, int kBase, typename Char>
bool ParseDigits(const Char* begin,
                 const Char* end,
                 bool negative,
                 Value* output) {
  *output = 0;
  if (begin == end)
    return false;
  if (kBase == 16 && end - begin >= 3 && begin[0] == '0' &&
      (begin[1] == 'x' || begin[1] == 'X')) {
    begin += 2;
  }
  for (const Char* p = begin; p != end; ++p) {
    unsigned digit = 0;
    if (!CharToDigit<kBase>(*p, &digit))
      return false;
    if (p != begin && WouldOverflow<Value, kBase>(*output, digit, negative)) {
      *output = negative ? std::numeric_limits<Value>::min()
                         : std::numeric_limits<Value>::max();
      return false;
    }
    if (negative)
      *output = static_cast<Value>(*output * kBase - static_cast<Value>(digit));
    else
      *output = static_cast<Value>(*output * kBase + static_cast<Value>(digit));
  }
  return true;
}

// Leading white space is skipped but makes the result false; one sign may
// follow it.
template <typename Value, int kBase, typename Char>
bool StringToNumber(const Char* begin, const Char* end, Value* output) {
  bool valid = true;
  while (begin != end && IsCLibrarySpace(*begin)) {
    valid = false;
    ++begin;
  }
  if (begin != end && *begin == '-') {
    if constexpr (std::is_signed_v<Value>) {
      return ParseDigits<Value, kBase>(begin + 1, end, true, output) && valid;
    } else {
      *output = 0;
      return false;
    }
  }
  if (begin != end && *begin == '+')
    ++begin;
  return ParseDigits<Value, kBase>(begin, end, false, output) && valid;
}

template <typename Value, int kBase>
bool PieceToNumber(StringPiece input, Value* output) {
  return StringToNumber<Value, kBase>(input.data(), input.data() + input.size(),
                                      output);
}

}  // namespace

std::string IntToString(int value) {
  return IntToStringT<std::string>(value);
}

std::string UintToString(unsigned value) {
  return IntToStringT<std::string>(value);
}

std::string Int64ToString(int64_t value) {
  return IntToStringT<std::string>(value);
}

std::string Uint64ToString(uint64_t value) {
  return IntToStringT<std::string>(value);
}

string16 IntToString16(int value) {
  return IntToStringT<string16>(value);
}

string16 UintToString16(unsigned value) {
  return IntToStringT<string16>(value);
}

string16 Uint64ToString16(uint64_t value) {
  return IntToStringT<string16>(value);
}

std::string DoubleToString(double value) {
  char buffer[kDoubleToShortestTextBufferSize];
  return std::string(DoubleToShortestText(buffer, value));
}

std::string HexEncode(const void* bytes, size_t size) {
  static const char kHexChars[] = "0123456789ABCDEF";
  const uint8_t* data = static_cast<const uint8_t*>(bytes);
  std::string result(size * 2, '\0');
  for (size_t i = 0; i < size; ++i) {
    result[i * 2] = kHexChars[data[i] >> 4];
    result[i * 2 + 1] = kHexChars[data[i] & 0xF];
  }
  return result;
}

bool StringToInt(StringPiece input, int* output) {
  return PieceToNumber<int, 10>(input, output);
}

bool StringToUint(StringPiece input, unsigned* output) {
  return PieceToNumber<unsigned, 10>(input, output);
}

bool StringToUint64(StringPiece input, uint64_t* output) {
  return PieceToNumber<uint64_t, 10>(input, output);
}

bool String16ToUint(StringPiece16 input, unsigned* output) {
  return StringToNumber<unsigned, 10>(input.data(), input.data() + input.size(),
                                      output);
}

bool HexStringToInt(StringPiece input, int* output) {
  return PieceToNumber<int, 16>(input, output);
}

bool HexStringToUint(StringPiece input, unsigned* output) {
  return PieceToNumber<unsigned, 16>(input, output);
}

bool HexStringToUint64(StringPiece input, uint64_t* output) {
  return PieceToNumber<uint64_t, 16>(input, output);
}

bool HexStringToBytes(const std::string& input, std::vector<uint8_t>* output) {
  size_t count = input.size();
  if (count == 0 || count % 2 != 0)
    return false;
  for (size_t i = 0; i < count; i += 2) {
    unsigned high = 0;
    unsigned low = 0;
    if (!CharToDigit<16>(input[i], &high) ||
        !CharToDigit<16>(input[i + 1], &low)) {
      return false;
    }
    output->push_back(static_cast<uint8_t>((high << 4) | low));
  }
  return true;
}

bool StringToDouble(const std::string& input, double* output) {
  // The caller's errno survives unless this parse reports a range error.
  int saved_errno = errno;
  errno = 0;
  const char* end = nullptr;
  *output = ParseDouble(input.c_str(), &end);
  bool valid = errno == 0 && !input.empty() &&
               end == input.c_str() + input.size() &&
               !IsCLibrarySpace(input[0]);
  if (errno == 0)
    errno = saved_errno;
  return valid;
}

}  // namespace base
