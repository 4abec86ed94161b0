#ifndef BASE_CALLBACK_H_
#define BASE_CALLBACK_H_

#include <utility>

#include "base/callback_internal.h"
#include "base/logging.h"

// A Callback is a function together with some of its arguments, made by
// base::Bind (base/bind.h) and run later with the rest:
//   base::Callback<int(int)> add_two = base::Bind(&Add, 2);
//   add_two.Run(3);  // 5
// It is two words, a shared bind state and an invoke function, and it is
// cheap to copy: copies share the bind state, which is destroyed with the
// last of them. Callbacks may be copied and destroyed on any thread.

namespace base {

template <typename Signature>
class Callback;

template <typename R, typename... Args>
class Callback<R(Args...)> : public internal::CallbackBase {
 public:
  using RunType = R(Args...);
  // Unpacks the bind state and calls the bound function with the bound and
  // the call arguments.
  using InvokeFunction = R (*)(BindState*, Args&&...);

  // A null callback.
  Callback() : CallbackBase(nullptr) {}

  // Used by Bind: shares |bind_state|, which |invoke| knows how to unpack.
  Callback(BindState* bind_state, InvokeFunction invoke)
      : CallbackBase(bind_state) {
    polymorphic_invoke_ = reinterpret_cast<InvokeFuncStorage>(invoke);
  }

  // True only for the same bind state and the same invoke function: a copy
  // equals its original, two bindings of the same function do not.
  bool Equals(const Callback& other) const { return EqualsInternal(other); }

  R Run(Args... args) const {
    DCHECK(!is_null());
    InvokeFunction invoke =
        reinterpret_cast<InvokeFunction>(polymorphic_invoke_);
    return invoke(bind_state_, std::forward<Args>(args)...);
  }
};

// A callback without arguments or result: the type of every posted task.
using Closure = Callback<void()>;

}  // namespace base

#endif  // BASE_CALLBACK_H_
