#include "base/callback_internal.h"

#include <utility>

namespace base {
namespace internal {

CallbackBase::CallbackBase(BindState* bind_state) : bind_state_(bind_state) {
  if (bind_state_)
    bind_state_->AddRef();
}

CallbackBase::CallbackBase(const CallbackBase& other)
    : bind_state_(other.bind_state_),
      polymorphic_invoke_(other.polymorphic_invoke_) {
  if (bind_state_)
    bind_state_->AddRef();
}

CallbackBase::CallbackBase(CallbackBase&& other) noexcept
    : bind_state_(std::exchange(other.bind_state_, nullptr)),
      polymorphic_invoke_(std::exchange(other.polymorphic_invoke_, nullptr)) {}

CallbackBase& CallbackBase::operator=(const CallbackBase& other) {
  // The new reference is taken before the old one is dropped, which makes
  // assigning a callback to itself (or to a copy of itself) safe. Both words
  // are copied before the release, since the old bind state's bound data may
  // own |other| or this callback.
  BindState* new_state = other.bind_state_;
  if (new_state)
    new_state->AddRef();
  BindState* old_state = std::exchange(bind_state_, new_state);
  polymorphic_invoke_ = other.polymorphic_invoke_;
  if (old_state)
    old_state->Release();
  return *this;
}

CallbackBase& CallbackBase::operator=(CallbackBase&& other) noexcept {
  if (this == &other)
    return *this;
  // Both words are taken before the release, for the same reason as in the
  // copy assignment.
  BindState* old_state =
      std::exchange(bind_state_, std::exchange(other.bind_state_, nullptr));
  polymorphic_invoke_ = std::exchange(other.polymorphic_invoke_, nullptr);
  if (old_state)
    old_state->Release();
  return *this;
}

CallbackBase::~CallbackBase() {
  if (bind_state_)
    bind_state_->Release();
}

void CallbackBase::Reset() {
  // Cleared before the release, so that whatever the bound data's
  // destruction does sees this callback already null.
  polymorphic_invoke_ = nullptr;
  BindState* old_state = std::exchange(bind_state_, nullptr);
  if (old_state)
    old_state->Release();
}

bool CallbackBase::EqualsInternal(const CallbackBase& other) const {
  return bind_state_ == other.bind_state_ &&
         polymorphic_invoke_ == other.polymorphic_invoke_;
}

}  // namespace internal
}  // namespace base
