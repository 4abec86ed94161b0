#ifndef BASE_BIND_H_
#define BASE_BIND_H_

#include <type_traits>
#include <utility>

#include "base/bind_internal.h"
#include "base/callback.h"

// base::Bind(function, arguments...) makes a Callback of the function with
// its first parameters bound; the callback's Run takes the rest.
//   base::Bind(&Sum, 1, 2)            Callback<int()>
//   base::Bind(&Sum, 1)               Callback<int(int)>
//   base::Bind(&Reader::Read, this)   a method: the receiver comes first
//
// Bound arguments are copied (or moved) into the bind state once and passed
// to the function on every run. Pointers are bound as they are and not
// owned; base::Owned(p) makes the bind state own p and delete it when the
// last copy of the callback goes. A receiver may be a raw pointer, a
// scoped_refptr (which keeps the object alive as long as the callback) or a
// WeakPtr: then the call does nothing once the object's weak pointers are
// invalidated, and the method may not return a value.

namespace base {

template <typename Functor, typename... Args>
typename internal::BindTypes<Functor, std::decay_t<Args>...>::CallbackType Bind(
    Functor functor,
    Args&&... args) {
  using Types = internal::BindTypes<Functor, std::decay_t<Args>...>;
  using State = typename Types::State;
  return typename Types::CallbackType(
      new State(functor, std::forward<Args>(args)...),
      &Types::InvokerType::Run);
}

// Makes the bind state own |ptr|; the bound function receives |ptr| itself.
template <typename T>
internal::OwnedWrapper<T> Owned(T* ptr) {
  return internal::OwnedWrapper<T>(ptr);
}

}  // namespace base

#endif  // BASE_BIND_H_
