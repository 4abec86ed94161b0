#include "base/win/exception_filter_hook.h"

#include <thread>
#include <utility>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

int32_t AnswersTheExceptionCode(EXCEPTION_POINTERS* info) {
  return static_cast<int32_t>(info->ExceptionRecord->ExceptionCode);
}

// Hooks that answer their own number, so that a returned hook can be named.
template <int... N>
std::vector<ExceptionFilterHook> NumberedHooks(
    std::integer_sequence<int, N...>) {
  return {[](EXCEPTION_POINTERS*) { return N + 1; }...};
}

TEST(ExceptionFilterHookTest, InstalledHookGivesTheVerdict) {
  EXCEPTION_RECORD record = {};
  record.ExceptionCode = 7;
  EXCEPTION_POINTERS info = {&record, nullptr};
  EXPECT_EQ(EXCEPTION_CONTINUE_SEARCH, CallExceptionFilterHook(&info));
  EXPECT_EQ(nullptr, SetExceptionFilterHook(&AnswersTheExceptionCode));
  EXPECT_EQ(7, CallExceptionFilterHook(&info));
  EXPECT_EQ(&AnswersTheExceptionCode, SetExceptionFilterHook(nullptr));
  EXPECT_EQ(EXCEPTION_CONTINUE_SEARCH, CallExceptionFilterHook(&info));
}

TEST(ExceptionFilterHookTest, ConcurrentInstallsLoseNoHook) {
  // Along the chain of exchanges every hook is handed back once, except the
  // one left installed, and the first exchange hands back none.
  const std::vector<ExceptionFilterHook> hooks =
      NumberedHooks(std::make_integer_sequence<int, 32>());
  std::vector<ExceptionFilterHook> returned(hooks.size());
  std::vector<std::thread> threads;
  for (size_t i = 0; i < hooks.size(); ++i) {
    threads.emplace_back(
        [&, i] { returned[i] = SetExceptionFilterHook(hooks[i]); });
  }
  for (std::thread& thread : threads)
    thread.join();
  returned.push_back(SetExceptionFilterHook(nullptr));
  std::vector<int> times_returned(hooks.size() + 1);
  for (ExceptionFilterHook hook : returned)
    ++times_returned[hook ? hook(nullptr) : 0];
  EXPECT_EQ(std::vector<int>(hooks.size() + 1, 1), times_returned);
}

}  // namespace
}  // namespace win
}  // namespace base
