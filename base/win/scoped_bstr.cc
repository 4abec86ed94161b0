#include "base/win/scoped_bstr.h"

namespace base {
namespace win {

ScopedBstr::ScopedBstr(const wchar_t* text) : bstr_(SysAllocString(text)) {}

ScopedBstr::~ScopedBstr() {
  SysFreeString(bstr_);
}

size_t ScopedBstr::Length() const {
  return SysStringLen(bstr_);
}

}  // namespace win
}  // namespace base
