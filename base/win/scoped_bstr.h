#ifndef BASE_WIN_SCOPED_BSTR_H_
#define BASE_WIN_SCOPED_BSTR_H_

#include <windows.h>

#include <oleauto.h>

namespace base {
namespace win {

// Owns one BSTR (a COM string) and frees it when it goes.
class ScopedBstr {
 public:
  // A copy of |text|; null |text| holds no string.
  explicit ScopedBstr(const wchar_t* text);
  ScopedBstr(const ScopedBstr&) = delete;
  ScopedBstr& operator=(const ScopedBstr&) = delete;
  ~ScopedBstr();

  // The string, still owned; null when there is none.
  BSTR Get() const { return bstr_; }
  // The length in characters, without the terminator.
  size_t Length() const;

 private:
  BSTR bstr_;
};

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_SCOPED_BSTR_H_
