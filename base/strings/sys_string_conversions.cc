#include "base/strings/sys_string_conversions.h"

#include <windows.h>

namespace base {

string16 SysMultiByteToWide(StringPiece mb, uint32_t code_page) {
  if (mb.empty())
    return string16();
  const int mb_length = static_cast<int>(mb.size());
  // The first call only measures the output.
  const int charcount =
      MultiByteToWideChar(code_page, 0, mb.data(), mb_length, nullptr, 0);
  if (charcount == 0)
    return string16();
  string16 wide(static_cast<size_t>(charcount), L'\0');
  MultiByteToWideChar(code_page, 0, mb.data(), mb_length, &wide[0], charcount);
  return wide;
}

string16 SysUTF8ToWide(StringPiece utf8) {
  return SysMultiByteToWide(utf8, CP_UTF8);
}

std::string SysWideToMultiByte(const string16& wide, uint32_t code_page) {
  if (wide.empty())
    return std::string();
  const int wide_length = static_cast<int>(wide.size());
  // The first call only measures the output.
  const int charcount = WideCharToMultiByte(
      code_page, 0, wide.data(), wide_length, nullptr, 0, nullptr, nullptr);
  if (charcount == 0)
    return std::string();
  std::string mb(static_cast<size_t>(charcount), '\0');
  WideCharToMultiByte(code_page, 0, wide.data(), wide_length, &mb[0], charcount,
                      nullptr, nullptr);
  return mb;
}

std::string SysWideToUTF8(const string16& wide) {
  return SysWideToMultiByte(wide, CP_UTF8);
}

}  // namespace base
