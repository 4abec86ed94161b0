#ifndef BASE_WIN_SCOPED_VARIANT_H_
#define BASE_WIN_SCOPED_VARIANT_H_

#include <windows.h>

#include <oleauto.h>

namespace base {
namespace win {

// Owns one VARIANT and clears it (freeing what it holds) when it goes.
class ScopedVariant {
 public:
  // An empty variant (VT_EMPTY).
  ScopedVariant();
  // A VT_BSTR variant holding a copy of |text|.
  explicit ScopedVariant(const wchar_t* text);
  ScopedVariant(const ScopedVariant&) = delete;
  ScopedVariant& operator=(const ScopedVariant&) = delete;
  ~ScopedVariant();

  // Takes ownership of |array|: the variant becomes an array of the array's
  // element type. When the element type cannot be learned, the variant is
  // left empty and the caller keeps |array|. Returns whether it was taken.
  // Whatever the variant held before is freed first.
  bool Set(SAFEARRAY* array);

  VARTYPE type() const { return var_.vt; }
  // The variant, still owned, to hand to COM calls.
  const VARIANT& Get() const { return var_; }

 private:
  void Reset();

  VARIANT var_;
};

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_SCOPED_VARIANT_H_
