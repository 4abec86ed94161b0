#include "desktop/windows/crash_reporter/test/file_version_string.h"

#include <windows.h>

#include <stdint.h>

#include <vector>

#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"

namespace vexlo {
namespace crash_reporter {

std::string GetFileVersionString(const std::wstring& path, const wchar_t* key) {
  const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), nullptr);
  std::vector<uint8_t> info(size);
  WORD* translation = nullptr;
  UINT length = 0;
  if (!size || !::GetFileVersionInfoW(path.c_str(), 0, size, info.data()) ||
      !::VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation",
                        reinterpret_cast<void**>(&translation), &length)) {
    return std::string();
  }
  const std::wstring query = base::StringPrintfWide(
      L"\\StringFileInfo\\%04x%04x\\%ls", translation[0], translation[1], key);
  wchar_t* text = nullptr;
  if (!::VerQueryValueW(info.data(), query.c_str(),
                        reinterpret_cast<void**>(&text), &length)) {
    return std::string();
  }
  return base::WideToUTF8(text);
}

}  // namespace crash_reporter
}  // namespace vexlo
