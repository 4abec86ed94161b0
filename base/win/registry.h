#ifndef BASE_WIN_REGISTRY_H_
#define BASE_WIN_REGISTRY_H_

#include <windows.h>

#include <stdint.h>

#include "base/strings/string16.h"

namespace base {
namespace win {

// Owner of one open registry key. Every operation returns the Windows error
// code of the registry call it makes (ERROR_SUCCESS, 0, on success), so that
// callers can log or test it. A value name that is null or empty names the
// key's default value.
class RegKey {
 public:
  RegKey();
  // Creates |subkey| when |access| asks for any right that writes (set value,
  // create subkey, create link), else only opens it; the caller tests Valid()
  // for the outcome. Without a root key nothing is opened and only the
  // registry-view bits of |access| are kept.
  RegKey(HKEY rootkey, const wchar_t* subkey, REGSAM access);
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  ~RegKey();

  // On success the key held so far is closed and the new one is held; on
  // failure the held key stays as it was.
  LONG Create(HKEY rootkey, const wchar_t* subkey, REGSAM access);
  LONG Open(HKEY rootkey, const wchar_t* subkey, REGSAM access);
  void Close();

  bool Valid() const { return key_ != nullptr; }
  HKEY Handle() const { return key_; }
  // The registry-view bits (KEY_WOW64_64KEY, KEY_WOW64_32KEY) of the access
  // that opened the key; 0 when no key is open.
  REGSAM wow64_access() const { return wow64_access_; }

  bool HasValue(const wchar_t* name) const;

  // The registry's own query, arguments passed through unchanged.
  LONG ReadValueRaw(const wchar_t* name,
                    void* data,
                    DWORD* size,
                    DWORD* type) const;
  // Reads a REG_SZ or REG_EXPAND_SZ value of at most kMaxStringLength
  // characters; an expandable value is returned expanded. A value of any
  // other type gives ERROR_CANTREAD and one too long gives ERROR_MORE_DATA.
  // |out| is written only on success.
  LONG ReadValue(const wchar_t* name, string16* out) const;
  // Reads a REG_DWORD, or a REG_BINARY of exactly four bytes. Any other value
  // gives ERROR_CANTREAD; |out| is written only on success.
  LONG ReadValueDW(const wchar_t* name, uint32_t* out) const;

  // Stores |value| (not null) as REG_SZ with its terminating NUL.
  LONG WriteValue(const wchar_t* name, const wchar_t* value);
  LONG WriteValueDW(const wchar_t* name, uint32_t value);
  LONG WriteValueRaw(const wchar_t* name,
                     const void* data,
                     DWORD size,
                     DWORD type);

  LONG DeleteValue(const wchar_t* name);

  // Characters, terminating NUL included, that a string read may return.
  static const DWORD kMaxStringLength = 1024;

 private:
  // Keeps |key| as the held key, closing the previous one.
  void Hold(HKEY key, REGSAM access);

  HKEY key_;
  REGSAM wow64_access_;
};

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_REGISTRY_H_
