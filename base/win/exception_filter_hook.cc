#include "base/win/exception_filter_hook.h"

#include <atomic>

namespace base {
namespace win {

namespace {

// Read without a lock: the filter runs while an exception is in flight, when
// taking a lock could deadlock.
std::atomic<ExceptionFilterHook> g_exception_filter_hook{nullptr};

}  // namespace

ExceptionFilterHook SetExceptionFilterHook(ExceptionFilterHook hook) {
  return g_exception_filter_hook.exchange(hook);
}

int32_t CallExceptionFilterHook(EXCEPTION_POINTERS* info) {
  ExceptionFilterHook hook = g_exception_filter_hook.load();
  if (!hook)
    return EXCEPTION_CONTINUE_SEARCH;
  return hook(info);
}

}  // namespace win
}  // namespace base
