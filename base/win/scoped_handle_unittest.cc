#include "base/win/scoped_handle.h"

#include <string>

#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

HANDLE NewEvent() {
  return ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

bool IsOpen(HANDLE handle) {
  DWORD flags = 0;
  return ::GetHandleInformation(handle, &flags) != FALSE;
}

// Traits over small integers that log every call, with "!" for a report
// for an object other than |g_owner| or without the places it came from.
std::string g_log;
const void* g_owner = nullptr;
using Pc = const void*;

struct LoggingTraits {
  using Handle = int;
  static bool CloseHandle(int h) {
    g_log += "close " + std::to_string(h) + "; ";
    return true;
  }
  static bool IsHandleValid(int h) { return h > 0; }
  static int NullHandle() { return 0; }
  static void StartTracking(int h, Pc owner, Pc caller, Pc own) {
    Log("start ", h, owner == g_owner && caller && own);
  }
  static void StopTracking(int h, Pc owner, Pc caller, Pc own) {
    Log("stop ", h, owner == g_owner && caller && own);
  }
  static void Log(const char* what, int h, bool sound) {
    g_log += what + std::to_string(h) + (sound ? "; " : "!; ");
  }
};

TEST(GenericScopedHandleTest, ReportsOwnershipAroundEveryChange) {
  g_log.clear();
  {
    GenericScopedHandle<LoggingTraits, LoggingTraits> handle;
    g_owner = &handle;
    handle.Set(5);
    handle.Set(5);  // Already held: nothing.
    handle.Set(7);  // The old one is given up before it is closed.
    EXPECT_EQ(7, handle.Take());
    EXPECT_EQ(0, handle.Take());  // Nothing held: no report.
    handle.Set(-1);               // Not a handle: not held.
    EXPECT_FALSE(handle.IsValid());
    handle.Set(9);
    handle.Set(0);
    handle.Set(3);
  }
  EXPECT_EQ(
      "start 5; stop 5; close 5; start 7; stop 7; start 9; stop 9; "
      "close 9; start 3; stop 3; close 3; ",
      g_log);
}

TEST(ScopedHandleTest, OwnsClosesAndPassesOnAWindowsHandle) {
  HANDLE raw = NewEvent();
  {
    ScopedHandle handle(raw);
    handle.Set(raw);  // Already held: still open, registered once.
    EXPECT_EQ(raw, handle.Take());
    ScopedHandle next(raw);  // No longer registered: another may take it.
    // The verifier recorded the owning object itself.
    StopHandleTracking(raw, &next, nullptr, nullptr);
    StartHandleTracking(raw, &next, nullptr, nullptr);
  }
  EXPECT_FALSE(IsOpen(raw));
  for (HANDLE nothing : {static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE}) {
    HANDLE old = NewEvent();
    ScopedHandle handle(old);
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    handle.Set(nothing);
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), ::GetLastError());
    EXPECT_FALSE(handle.IsValid());
    EXPECT_EQ(nullptr, handle.Get());
    EXPECT_FALSE(IsOpen(old));
  }
}

// Two owners of one handle, and a close behind the owner's back (the
// owner's own close then fails).
void OwnTwice() {
  HANDLE raw = NewEvent();
  ScopedHandle first(raw);
  ScopedHandle second(raw);
}

TEST(ScopedHandleDeathTest, MisuseStopsTheProcess) {
  const auto kBrokeIntoDebugger =
      testing::ExitedWithCode(static_cast<int>(EXCEPTION_BREAKPOINT));
  EXPECT_EXIT(OwnTwice(), kBrokeIntoDebugger, "");
  EXPECT_EXIT(::CloseHandle(ScopedHandle(NewEvent()).Get()), kBrokeIntoDebugger,
              "");
}

}  // namespace
}  // namespace win
}  // namespace base
