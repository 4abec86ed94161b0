#include "base/memory/weak_ptr.h"

namespace base {

WeakReference::WeakReference(const Flag* flag) : flag_(flag) {}

bool WeakReference::IsValid() const {
  return flag_ && flag_->IsValid();
}

WeakReferenceOwner::~WeakReferenceOwner() {
  Invalidate();
}

WeakReference WeakReferenceOwner::GetRef() {
  // When no reference is outstanding the record is replaced, so that each
  // generation of weak pointers starts on a record of its own.
  if (!flag_ || flag_->HasOneRef())
    flag_ = new WeakReference::Flag();
  return WeakReference(flag_.get());
}

void WeakReferenceOwner::Invalidate() {
  if (!flag_)
    return;
  flag_->Invalidate();
  flag_ = nullptr;
}

}  // namespace base
