#ifndef BASE_BIND_INTERNAL_H_
#define BASE_BIND_INTERNAL_H_

#include <cstddef>
#include <tuple>
#include <type_traits>
#include <utility>

#include "base/callback.h"
#include "base/callback_internal.h"
#include "base/memory/ref_counted.h"
#include "base/memory/weak_ptr.h"

namespace base {
namespace internal {

// A bound pointer that the bind state owns: deleted with the bind state, not
// when the callback runs. Made by base::Owned.
template <typename T>
class OwnedWrapper {
 public:
  explicit OwnedWrapper(T* ptr) : ptr_(ptr) {}
  OwnedWrapper(OwnedWrapper&& other) noexcept
      : ptr_(std::exchange(other.ptr_, nullptr)) {}
  OwnedWrapper(const OwnedWrapper&) = delete;
  OwnedWrapper& operator=(const OwnedWrapper&) = delete;
  ~OwnedWrapper() { delete ptr_; }

  T* get() const { return ptr_; }

 private:
  T* ptr_;
};

template <typename... Types>
struct TypeList {};

// The list without its first n types.
template <size_t n, typename List>
struct DropTypeListItemImpl;
template <size_t n, typename T, typename... List>
struct DropTypeListItemImpl<n, TypeList<T, List...>>
    : DropTypeListItemImpl<n - 1, TypeList<List...>> {};
template <typename T, typename... List>
struct DropTypeListItemImpl<0, TypeList<T, List...>> {
  using Type = TypeList<T, List...>;
};
template <>
struct DropTypeListItemImpl<0, TypeList<>> {
  using Type = TypeList<>;
};
template <size_t n, typename List>
using DropTypeListItem = typename DropTypeListItemImpl<n, List>::Type;

template <typename List>
struct TypeListSize;
template <typename... Types>
struct TypeListSize<TypeList<Types...>>
    : std::integral_constant<size_t, sizeof...(Types)> {};

// What can be bound: plain functions and methods. A method's receiver is its
// first parameter.
template <typename Functor>
struct FunctorTraits;

template <typename R, typename... Args>
struct FunctorTraits<R (*)(Args...)> {
  using ReturnType = R;
  using ParamList = TypeList<Args...>;
  static constexpr bool kIsMethod = false;

  template <typename... RunArgs>
  static R Invoke(R (*function)(Args...), RunArgs&&... args) {
    return function(std::forward<RunArgs>(args)...);
  }
};

template <typename R, typename Receiver, typename... Args>
struct FunctorTraits<R (Receiver::*)(Args...)> {
  using ReturnType = R;
  using ParamList = TypeList<Receiver*, Args...>;
  static constexpr bool kIsMethod = true;

  template <typename ReceiverPtr, typename... RunArgs>
  static R Invoke(R (Receiver::*method)(Args...),
                  ReceiverPtr&& receiver,
                  RunArgs&&... args) {
    return ((*receiver).*method)(std::forward<RunArgs>(args)...);
  }
};

template <typename R, typename Receiver, typename... Args>
struct FunctorTraits<R (Receiver::*)(Args...) const> {
  using ReturnType = R;
  using ParamList = TypeList<const Receiver*, Args...>;
  static constexpr bool kIsMethod = true;

  template <typename ReceiverPtr, typename... RunArgs>
  static R Invoke(R (Receiver::*method)(Args...) const,
                  ReceiverPtr&& receiver,
                  RunArgs&&... args) {
    return ((*receiver).*method)(std::forward<RunArgs>(args)...);
  }
};

template <typename R, typename... Args>
struct FunctorTraits<R (*)(Args...) noexcept> : FunctorTraits<R (*)(Args...)> {
};
template <typename R, typename Receiver, typename... Args>
struct FunctorTraits<R (Receiver::*)(Args...) noexcept>
    : FunctorTraits<R (Receiver::*)(Args...)> {};
template <typename R, typename Receiver, typename... Args>
struct FunctorTraits<R (Receiver::*)(Args...) const noexcept>
    : FunctorTraits<R (Receiver::*)(Args...) const> {};

// How a bound argument reaches the bound function: as stored, except that an
// owned pointer is passed as the plain pointer.
template <typename T>
const T& UnwrapBoundArg(const T& value) {
  return value;
}
template <typename T>
T* UnwrapBoundArg(const OwnedWrapper<T>& owned) {
  return owned.get();
}

// The object a bound receiver designates.
template <typename T>
T* ReceiverPointer(T* receiver) {
  return receiver;
}
template <typename T>
T* ReceiverPointer(const scoped_refptr<T>& receiver) {
  return receiver.get();
}
template <typename T>
T* ReceiverPointer(const OwnedWrapper<T>& receiver) {
  return receiver.get();
}

template <typename T>
struct IsWeakPtr : std::false_type {};
template <typename T>
struct IsWeakPtr<WeakPtr<T>> : std::true_type {};

// The record that Bind builds: the bind-state header, the function, then the
// bound arguments. Its destroy function deletes it, and with it whatever the
// bound arguments own.
template <typename Functor, typename... BoundArgs>
class TypedBindState final : public BindState {
 public:
  using Traits = FunctorTraits<Functor>;
  static constexpr size_t kNumBound = sizeof...(BoundArgs);
  // A method bound to a weak receiver, which is called only while the
  // receiver lives.
  static constexpr bool kIsWeakCall =
      Traits::kIsMethod && kNumBound > 0 &&
      IsWeakPtr<std::tuple_element_t<0, std::tuple<BoundArgs..., void>>>::value;

  template <typename... Args>
  explicit TypedBindState(Functor functor, Args&&... args)
      : BindState(&Destroy),
        functor_(functor),
        bound_args_(std::forward<Args>(args)...) {}

  const Functor& functor() const { return functor_; }
  const std::tuple<BoundArgs...>& bound_args() const { return bound_args_; }

 private:
  ~TypedBindState() = default;

  static void Destroy(BindState* self) {
    delete static_cast<TypedBindState*>(self);
  }

  const Functor functor_;
  const std::tuple<BoundArgs...> bound_args_;
};

// The invoke function of a bind state type: unpacks the record and calls the
// bound function with the bound arguments followed by the call arguments.
template <typename StateType, typename R, typename UnboundList>
struct Invoker;

template <typename StateType, typename R, typename... Unbound>
struct Invoker<StateType, R, TypeList<Unbound...>> {
  using Traits = typename StateType::Traits;

  static R Run(BindState* base, Unbound&&... unbound) {
    const StateType* state = static_cast<const StateType*>(base);
    constexpr size_t kNumBound = StateType::kNumBound;
    if constexpr (StateType::kIsWeakCall) {
      RunWeakMethod(state->functor(), state->bound_args(),
                    std::make_index_sequence<kNumBound - 1>(),
                    std::forward<Unbound>(unbound)...);
    } else if constexpr (Traits::kIsMethod && kNumBound > 0) {
      return RunMethod(state->functor(), state->bound_args(),
                       std::make_index_sequence<kNumBound - 1>(),
                       std::forward<Unbound>(unbound)...);
    } else {
      return RunFunction(state->functor(), state->bound_args(),
                         std::make_index_sequence<kNumBound>(),
                         std::forward<Unbound>(unbound)...);
    }
  }

 private:
  template <typename Functor, typename Bound, size_t... I>
  static R RunFunction(const Functor& functor,
                       const Bound& bound,
                       std::index_sequence<I...>,
                       Unbound&&... unbound) {
    return Traits::Invoke(functor, UnwrapBoundArg(std::get<I>(bound))...,
                          std::forward<Unbound>(unbound)...);
  }

  // Bound argument 0 is the receiver; I runs over the others, less one.
  template <typename Functor, typename Bound, size_t... I>
  static R RunMethod(const Functor& functor,
                     const Bound& bound,
                     std::index_sequence<I...>,
                     Unbound&&... unbound) {
    return Traits::Invoke(functor, ReceiverPointer(std::get<0>(bound)),
                          UnwrapBoundArg(std::get<I + 1>(bound))...,
                          std::forward<Unbound>(unbound)...);
  }

  // The copy of the weak pointer keeps its validity record alive for the
  // length of the call.
  template <typename Functor, typename Bound, size_t... I>
  static void RunWeakMethod(const Functor& functor,
                            const Bound& bound,
                            std::index_sequence<I...>,
                            Unbound&&... unbound) {
    static_assert(std::is_void_v<R>,
                  "a method bound to a weak pointer may not return a value: "
                  "there is none when the receiver is gone");
    const auto weak_receiver = std::get<0>(bound);
    auto* receiver = weak_receiver.get();
    if (!receiver)
      return;
    Traits::Invoke(functor, receiver, UnwrapBoundArg(std::get<I + 1>(bound))...,
                   std::forward<Unbound>(unbound)...);
  }
};

template <typename R, typename UnboundList>
struct MakeCallbackType;
template <typename R, typename... Unbound>
struct MakeCallbackType<R, TypeList<Unbound...>> {
  using Type = Callback<R(Unbound...)>;
};

// The types Bind builds for a functor and its decayed bound arguments.
template <typename Functor, typename... BoundArgs>
struct BindTypes {
  using Traits = FunctorTraits<Functor>;
  using ParamList = typename Traits::ParamList;
  static_assert(sizeof...(BoundArgs) <= TypeListSize<ParamList>::value,
                "more arguments bound than the function takes");
  using UnboundList = DropTypeListItem<sizeof...(BoundArgs), ParamList>;
  using State = TypedBindState<Functor, BoundArgs...>;
  using InvokerType = Invoker<State, typename Traits::ReturnType, UnboundList>;
  using CallbackType =
      typename MakeCallbackType<typename Traits::ReturnType, UnboundList>::Type;
};

}  // namespace internal
}  // namespace base

#endif  // BASE_BIND_INTERNAL_H_
