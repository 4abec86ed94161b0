#ifndef BASE_WIN_PROPVARIANT_UTIL_H_
#define BASE_WIN_PROPVARIANT_UTIL_H_

#include <windows.h>

#include <propsys.h>

namespace base {
namespace win {

// The application user-model id of a shortcut (a VT_LPWSTR string), by which
// the taskbar groups the windows of one application.
extern const PROPERTYKEY kAppUserModelIdKey;
// Whether a shortcut's application runs both as a desktop and as an
// immersive application (a VT_BOOL).
extern const PROPERTYKEY kAppUserModelIsDualModeKey;

// Fills |variant| with a VT_LPWSTR copy of |text| (with its NUL) in memory
// from CoTaskMemAlloc. E_INVALIDARG for a null |text|, E_OUTOFMEMORY when the
// copy cannot be allocated; on failure |variant| is all zero (VT_EMPTY).
// Whatever |variant| held before is overwritten, not freed.
HRESULT InitStringPropVariant(const wchar_t* text, PROPVARIANT* variant);

// Write one property to |store| and commit it. A success code other than
// S_OK from SetValue counts as success and is not followed by a commit;
// otherwise the result is that of the commit.
bool StoreAppUserModelId(IPropertyStore* store, const wchar_t* app_id);
bool StoreBooleanProperty(IPropertyStore* store,
                          const PROPERTYKEY& key,
                          bool value);

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_PROPVARIANT_UTIL_H_
