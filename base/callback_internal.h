#ifndef BASE_CALLBACK_INTERNAL_H_
#define BASE_CALLBACK_INTERNAL_H_

#include "base/memory/ref_counted.h"

namespace base {

// The shared record behind callbacks: the reference count first, then the
// function that destroys the record, then (in the records that Bind builds)
// the bound function and its bound arguments. There is no virtual table: the
// destroy function knows the record's real type.
class BindState : public RefCountedThreadSafeBase {
 public:
  using DestroyFunction = void (*)(BindState*);

  BindState(const BindState&) = delete;
  BindState& operator=(const BindState&) = delete;

  void AddRef() { RefCountedThreadSafeBase::AddRef(); }
  // Drops one reference; the last one destroys the record.
  void Release() {
    if (RefCountedThreadSafeBase::Release())
      destroy_(this);
  }

 protected:
  explicit BindState(DestroyFunction destroy) : destroy_(destroy) {}
  ~BindState() = default;

 private:
  DestroyFunction destroy_;
};

namespace internal {

// What every callback type shares: two words, the bind state and the
// function that unpacks it and calls the bound function. Copies share the
// bind state.
class CallbackBase {
 public:
  // A callback without bind state is null and must not be run.
  bool is_null() const { return bind_state_ == nullptr; }

  // Makes the callback null, dropping its reference to the bind state.
  void Reset();

 protected:
  // Stored type-erased; each callback type casts it back to its own.
  using InvokeFuncStorage = void (*)();

  // Takes one reference on |bind_state| (when not null); the invoke
  // function is set by the callback type that owns it.
  explicit CallbackBase(BindState* bind_state);
  CallbackBase(const CallbackBase& other);
  CallbackBase(CallbackBase&& other) noexcept;
  CallbackBase& operator=(const CallbackBase& other);
  CallbackBase& operator=(CallbackBase&& other) noexcept;
  ~CallbackBase();

  // Same bind state and same invoke function.
  bool EqualsInternal(const CallbackBase& other) const;

  BindState* bind_state_;
  InvokeFuncStorage polymorphic_invoke_ = nullptr;
};

}  // namespace internal
}  // namespace base

#endif  // BASE_CALLBACK_INTERNAL_H_
