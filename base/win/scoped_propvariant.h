#ifndef BASE_WIN_SCOPED_PROPVARIANT_H_
#define BASE_WIN_SCOPED_PROPVARIANT_H_

#include <windows.h>

#include <propidl.h>

namespace base {
namespace win {

// Owns one PROPVARIANT and clears it (freeing what it holds) when it goes.
class ScopedPropVariant {
 public:
  // An empty variant (VT_EMPTY).
  ScopedPropVariant();
  ScopedPropVariant(const ScopedPropVariant&) = delete;
  ScopedPropVariant& operator=(const ScopedPropVariant&) = delete;
  ~ScopedPropVariant();

  // Frees what is held and returns the empty variant, for a call that fills
  // it.
  PROPVARIANT* Receive();

  // Frees what is held; the variant is empty afterwards.
  void Reset();

  VARTYPE type() const { return variant_.vt; }
  const PROPVARIANT& get() const { return variant_; }

 private:
  PROPVARIANT variant_;
};

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_SCOPED_PROPVARIANT_H_
