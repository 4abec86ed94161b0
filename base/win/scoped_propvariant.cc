#include "base/win/scoped_propvariant.h"

#include <string.h>

namespace base {
namespace win {

ScopedPropVariant::ScopedPropVariant() {
  memset(&variant_, 0, sizeof(variant_));
}

ScopedPropVariant::~ScopedPropVariant() {
  Reset();
}

PROPVARIANT* ScopedPropVariant::Receive() {
  Reset();
  return &variant_;
}

void ScopedPropVariant::Reset() {
  PropVariantClear(&variant_);
  // A variant that could not be cleared is forgotten rather than freed
  // twice.
  memset(&variant_, 0, sizeof(variant_));
}

}  // namespace win
}  // namespace base
