#include "base/win/propvariant_util.h"

#include <string.h>
#include <wchar.h>

#include "base/win/scoped_propvariant.h"

namespace base {
namespace win {

// {9F4C2855-9F79-4B39-A8D0-E1D42DE1D5F3}, the application user-model
// property set.
const PROPERTYKEY kAppUserModelIdKey = {
    {0x9F4C2855,
     0x9F79,
     0x4B39,
     {0xA8, 0xD0, 0xE1, 0xD4, 0x2D, 0xE1, 0xD5, 0xF3}},
    5};
const PROPERTYKEY kAppUserModelIsDualModeKey = {
    {0x9F4C2855,
     0x9F79,
     0x4B39,
     {0xA8, 0xD0, 0xE1, 0xD4, 0x2D, 0xE1, 0xD5, 0xF3}},
    11};

namespace {

bool SetAndCommit(IPropertyStore* store,
                  const PROPERTYKEY& key,
                  const PROPVARIANT& value) {
  HRESULT result = store->SetValue(key, value);
  if (result == S_OK)
    result = store->Commit();
  return SUCCEEDED(result);
}

}  // namespace

HRESULT InitStringPropVariant(const wchar_t* text, PROPVARIANT* variant) {
  memset(variant, 0, sizeof(*variant));
  if (!text)
    return E_INVALIDARG;
  const size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
  wchar_t* copy = static_cast<wchar_t*>(CoTaskMemAlloc(bytes));
  if (!copy)
    return E_OUTOFMEMORY;
  memcpy(copy, text, bytes);
  variant->vt = VT_LPWSTR;
  variant->pwszVal = copy;
  return S_OK;
}

bool StoreAppUserModelId(IPropertyStore* store, const wchar_t* app_id) {
  ScopedPropVariant value;
  if (FAILED(InitStringPropVariant(app_id, value.Receive())))
    return false;
  return SetAndCommit(store, kAppUserModelIdKey, value.get());
}

bool StoreBooleanProperty(IPropertyStore* store,
                          const PROPERTYKEY& key,
                          bool value) {
  ScopedPropVariant variant;
  PROPVARIANT* raw = variant.Receive();
  raw->vt = VT_BOOL;
  raw->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return SetAndCommit(store, key, variant.get());
}

}  // namespace win
}  // namespace base
