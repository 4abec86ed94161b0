#include "base/win/scoped_variant.h"

namespace base {
namespace win {

ScopedVariant::ScopedVariant() {
  VariantInit(&var_);
}

ScopedVariant::ScopedVariant(const wchar_t* text) {
  VariantInit(&var_);
  var_.vt = VT_BSTR;
  var_.bstrVal = SysAllocString(text);
}

ScopedVariant::~ScopedVariant() {
  VariantClear(&var_);
}

bool ScopedVariant::Set(SAFEARRAY* array) {
  Reset();
  VARTYPE element_type;
  if (FAILED(SafeArrayGetVartype(array, &element_type)))
    return false;
  var_.vt = element_type | VT_ARRAY;
  var_.parray = array;
  return true;
}

void ScopedVariant::Reset() {
  VariantClear(&var_);
  VariantInit(&var_);
}

}  // namespace win
}  // namespace base
