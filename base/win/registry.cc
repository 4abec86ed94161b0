#include "base/win/registry.h"

#include <string.h>

namespace base {
namespace win {

namespace {

// The access rights that need the key to exist, so that a constructor asked
// for them creates the key rather than only opening it.
const REGSAM kAccessThatCreates =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK;

// The registry-view selection inside an access mask.
const REGSAM kWow64AccessMask = KEY_WOW64_32KEY | KEY_WOW64_64KEY;

// The text of a string value as the registry returned it: |byte_count| bytes,
// not necessarily NUL-terminated and possibly of an odd length, so the text
// ends at the first NUL or at the last whole character, whichever is first.
string16 TextOfStringValue(const wchar_t* data, DWORD byte_count) {
  const size_t max_length = byte_count / sizeof(wchar_t);
  return string16(data, wcsnlen(data, max_length));
}

// Expands environment references in |text| into |out|; ERROR_MORE_DATA when
// the expansion needs more than RegKey::kMaxStringLength characters.
LONG ExpandStringValue(const string16& text, string16* out) {
  wchar_t expanded[RegKey::kMaxStringLength];
  const DWORD needed = ExpandEnvironmentStringsW(text.c_str(), expanded,
                                                 RegKey::kMaxStringLength);
  if (needed == 0 || needed > RegKey::kMaxStringLength)
    return ERROR_MORE_DATA;
  out->assign(expanded, wcsnlen(expanded, needed));
  return ERROR_SUCCESS;
}

}  // namespace

RegKey::RegKey() : key_(nullptr), wow64_access_(0) {}

RegKey::RegKey(HKEY rootkey, const wchar_t* subkey, REGSAM access)
    : key_(nullptr), wow64_access_(0) {
  if (!rootkey) {
    wow64_access_ = access & kWow64AccessMask;
    return;
  }
  if (access & kAccessThatCreates)
    Create(rootkey, subkey, access);
  else
    Open(rootkey, subkey, access);
}

RegKey::~RegKey() {
  Close();
}

LONG RegKey::Create(HKEY rootkey, const wchar_t* subkey, REGSAM access) {
  HKEY key = nullptr;
  const LONG result =
      RegCreateKeyExW(rootkey, subkey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      access, nullptr, &key, nullptr);
  if (result == ERROR_SUCCESS)
    Hold(key, access);
  return result;
}

LONG RegKey::Open(HKEY rootkey, const wchar_t* subkey, REGSAM access) {
  HKEY key = nullptr;
  const LONG result = RegOpenKeyExW(rootkey, subkey, 0, access, &key);
  if (result == ERROR_SUCCESS)
    Hold(key, access);
  return result;
}

void RegKey::Close() {
  if (key_) {
    RegCloseKey(key_);
    key_ = nullptr;
  }
  wow64_access_ = 0;
}

void RegKey::Hold(HKEY key, REGSAM access) {
  Close();
  key_ = key;
  wow64_access_ = access & kWow64AccessMask;
}

bool RegKey::HasValue(const wchar_t* name) const {
  return RegQueryValueExW(key_, name, nullptr, nullptr, nullptr, nullptr) ==
         ERROR_SUCCESS;
}

LONG RegKey::ReadValueRaw(const wchar_t* name,
                          void* data,
                          DWORD* size,
                          DWORD* type) const {
  return RegQueryValueExW(key_, name, nullptr, type, static_cast<BYTE*>(data),
                          size);
}

LONG RegKey::ReadValue(const wchar_t* name, string16* out) const {
  wchar_t raw[kMaxStringLength];
  DWORD size = sizeof(raw);
  DWORD type = REG_SZ;
  const LONG result = ReadValueRaw(name, raw, &size, &type);
  if (result != ERROR_SUCCESS)
    return result;
  // The stored bytes need not end in a NUL: the text is cut at the byte count
  // returned, never read beyond it.
  const string16 text = TextOfStringValue(raw, size);
  if (type == REG_SZ) {
    *out = text;
    return ERROR_SUCCESS;
  }
  if (type == REG_EXPAND_SZ)
    return ExpandStringValue(text, out);
  return ERROR_CANTREAD;
}

LONG RegKey::ReadValueDW(const wchar_t* name, uint32_t* out) const {
  DWORD value = 0;
  DWORD size = sizeof(value);
  DWORD type = REG_DWORD;
  const LONG result = ReadValueRaw(name, &value, &size, &type);
  // A value longer than four bytes is no 32-bit number either: it is refused
  // like any value of the wrong type, not reported as a short buffer that the
  // caller has no way to enlarge.
  if (result == ERROR_MORE_DATA)
    return ERROR_CANTREAD;
  if (result != ERROR_SUCCESS)
    return result;
  if ((type != REG_DWORD && type != REG_BINARY) || size != sizeof(value))
    return ERROR_CANTREAD;
  *out = value;
  return ERROR_SUCCESS;
}

LONG RegKey::WriteValue(const wchar_t* name, const wchar_t* value) {
  const DWORD size = static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t));
  return WriteValueRaw(name, value, size, REG_SZ);
}

LONG RegKey::WriteValueDW(const wchar_t* name, uint32_t value) {
  const DWORD raw = value;
  return WriteValueRaw(name, &raw, sizeof(raw), REG_DWORD);
}

LONG RegKey::WriteValueRaw(const wchar_t* name,
                           const void* data,
                           DWORD size,
                           DWORD type) {
  return RegSetValueExW(key_, name, 0, type, static_cast<const BYTE*>(data),
                        size);
}

LONG RegKey::DeleteValue(const wchar_t* name) {
  return RegDeleteValueW(key_, name);
}

}  // namespace win
}  // namespace base
