#include "base/synchronization/condition_variable.h"

#include "base/logging.h"
#include "base/synchronization/event_condition_variable.h"
#include "base/synchronization/native_condition_variable.h"

namespace base {

namespace {

std::unique_ptr<ConditionVariable::Implementation> MakeImplementation(
    Lock* user_lock,
    ConditionVariable::Kind kind) {
  if (kind == ConditionVariable::Kind::kChosenForProcess) {
    kind = internal::NativeConditionVariable::IsAvailable()
               ? ConditionVariable::Kind::kNative
               : ConditionVariable::Kind::kEventBased;
  }
  if (kind == ConditionVariable::Kind::kNative) {
    CHECK(internal::NativeConditionVariable::IsAvailable());
    return std::make_unique<internal::NativeConditionVariable>(user_lock);
  }
  return std::make_unique<internal::EventConditionVariable>(user_lock);
}

}  // namespace

ConditionVariable::ConditionVariable(Lock* user_lock)
    : ConditionVariable(user_lock, Kind::kChosenForProcess) {}

ConditionVariable::ConditionVariable(Lock* user_lock, Kind kind)
    : implementation_(MakeImplementation(user_lock, kind)) {}

ConditionVariable::~ConditionVariable() = default;

void ConditionVariable::Wait() {
  implementation_->Wait();
}

void ConditionVariable::TimedWait(const TimeDelta& max_time) {
  implementation_->TimedWait(max_time);
}

void ConditionVariable::Broadcast() {
  implementation_->Broadcast();
}

void ConditionVariable::Signal() {
  implementation_->Signal();
}

}  // namespace base
