#include "base/strings/utf_string_conversions.h"

#include <stdint.h>

#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversion_utils.h"

namespace base {
namespace {

const uint32_t kReplacementCharacter = 0xFFFD;

// Decodes code point by code point; each failed read becomes one U+FFFD and
// decoding resumes right after what the read consumed.
template <typename SrcChar, typename DestString>
void ConvertUnicode(const SrcChar* src, int32_t src_len, DestString* output) {
  for (int32_t i = 0; i < src_len; ++i) {
    uint32_t code_point;
    if (!ReadUnicodeCharacter(src, src_len, &i, &code_point))
      code_point = kReplacementCharacter;
    WriteUnicodeCharacter(code_point, output);
  }
}

}  // namespace

string16 UTF8ToUTF16(StringPiece utf8) {
  return UTF8ToWide(utf8);
}

string16 UTF8ToWide(StringPiece utf8) {
  if (IsStringASCII(utf8))
    return string16(utf8.begin(), utf8.end());
  string16 result;
  PrepareForUTF16Or32Output(utf8.data(), utf8.size(), &result);
  ConvertUnicode(utf8.data(), static_cast<int32_t>(utf8.size()), &result);
  return result;
}

std::string UTF16ToUTF8(StringPiece16 utf16) {
  if (IsStringASCII16(utf16))
    return std::string(utf16.begin(), utf16.end());
  std::string result;
  PrepareForUTF8Output(utf16.data(), utf16.size(), &result);
  ConvertUnicode(utf16.data(), static_cast<int32_t>(utf16.size()), &result);
  return result;
}

std::string WideToUTF8(const string16& wide) {
  return UTF16ToUTF8(wide);
}

string16 ASCIIToUTF16(StringPiece ascii) {
  string16 result;
  result.reserve(ascii.size());
  for (char c : ascii)
    result.push_back(static_cast<char16>(static_cast<signed char>(c)));
  return result;
}

std::string UTF16ToASCII(StringPiece16 utf16) {
  std::string result;
  result.reserve(utf16.size());
  for (char16 unit : utf16)
    result.push_back(static_cast<char>(unit & 0xFF));
  return result;
}

}  // namespace base
