#include "base/synchronization/native_condition_variable.h"

#include "base/synchronization/lock.h"
#include "base/synchronization/wait_milliseconds.h"

namespace base {
namespace internal {

namespace {

struct ConditionVariableFunctions {
  VOID(WINAPI* initialize)(PCONDITION_VARIABLE);
  BOOL(WINAPI* sleep)(PCONDITION_VARIABLE, PCRITICAL_SECTION, DWORD);
  VOID(WINAPI* wake)(PCONDITION_VARIABLE);
  VOID(WINAPI* wake_all)(PCONDITION_VARIABLE);

  bool complete() const { return initialize && sleep && wake && wake_all; }
};

template <typename Function>
void LookUp(HMODULE module, const char* name, Function* function) {
  *function = reinterpret_cast<Function>(
      reinterpret_cast<void*>(GetProcAddress(module, name)));
}

ConditionVariableFunctions LookUpFunctions() {
  ConditionVariableFunctions functions = {};
  const HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
  if (!kernel32)
    return functions;
  LookUp(kernel32, "InitializeConditionVariable", &functions.initialize);
  LookUp(kernel32, "SleepConditionVariableCS", &functions.sleep);
  LookUp(kernel32, "WakeConditionVariable", &functions.wake);
  LookUp(kernel32, "WakeAllConditionVariable", &functions.wake_all);
  return functions;
}

const ConditionVariableFunctions& Functions() {
  static const ConditionVariableFunctions functions = LookUpFunctions();
  return functions;
}

}  // namespace

// static
bool NativeConditionVariable::IsAvailable() {
  return Functions().complete();
}

NativeConditionVariable::NativeConditionVariable(Lock* user_lock)
    : user_lock_(user_lock->native_handle()) {
  Functions().initialize(&condition_variable_);
}

NativeConditionVariable::~NativeConditionVariable() = default;

void NativeConditionVariable::Wait() {
  SleepMilliseconds(INFINITE);
}

void NativeConditionVariable::TimedWait(const TimeDelta& max_time) {
  SleepMilliseconds(TimedWaitMilliseconds(max_time));
}

void NativeConditionVariable::Broadcast() {
  Functions().wake_all(&condition_variable_);
}

void NativeConditionVariable::Signal() {
  Functions().wake(&condition_variable_);
}

void NativeConditionVariable::SleepMilliseconds(DWORD milliseconds) {
  Functions().sleep(&condition_variable_, user_lock_, milliseconds);
}

}  // namespace internal
}  // namespace base
