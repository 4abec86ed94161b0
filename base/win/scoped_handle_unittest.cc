#include "base/win/scoped_handle.h"

#include <windows.h>

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

const auto kBrokeIntoDebugger =
    testing::ExitedWithCode(static_cast<int>(EXCEPTION_BREAKPOINT));

HANDLE NewEvent() {
  return ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

bool IsOpen(HANDLE handle) {
  DWORD flags = 0;
  return ::GetHandleInformation(handle, &flags) != FALSE;
}

// Traits over small integers that record every call, to check what a scoped
// handle reports and in which order.
struct Call {
  std::string what;
  int handle;
  const void* owner;
};
std::vector<Call> g_calls;

class RecordingTraits {
 public:
  using Handle = int;
  static bool CloseHandle(int handle) {
    g_calls.push_back({"close", handle, nullptr});
    return true;
  }
  static bool IsHandleValid(int handle) { return handle > 0; }
  static int NullHandle() { return 0; }
};

class RecordingVerifier {
 public:
  static void StartTracking(int handle,
                            const void* owner,
                            const void* caller_pc,
                            const void* own_pc) {
    EXPECT_NE(nullptr, caller_pc);
    EXPECT_NE(nullptr, own_pc);
    g_calls.push_back({"start", handle, owner});
  }
  static void StopTracking(int handle,
                           const void* owner,
                           const void* caller_pc,
                           const void* own_pc) {
    EXPECT_NE(nullptr, caller_pc);
    EXPECT_NE(nullptr, own_pc);
    g_calls.push_back({"stop", handle, owner});
  }
};

using RecordingHandle = GenericScopedHandle<RecordingTraits, RecordingVerifier>;

std::string Describe(const std::vector<Call>& calls, const void* owner) {
  std::string text;
  for (const Call& call : calls) {
    text += call.what + " " + std::to_string(call.handle);
    if (call.what != "close" && call.owner != owner)
      text += " by a stranger";
    text += "; ";
  }
  return text;
}

TEST(GenericScopedHandleTest, ReportsOwnershipAroundEveryChange) {
  g_calls.clear();
  {
    RecordingHandle handle(5);
    EXPECT_EQ("start 5; ", Describe(g_calls, &handle));
    handle.Set(5);  // Already held: nothing.
    handle.Set(7);  // The old one is given up before it is closed.
    EXPECT_EQ("start 5; stop 5; close 5; start 7; ",
              Describe(g_calls, &handle));
    g_calls.clear();
    EXPECT_EQ(7, handle.Take());
    EXPECT_EQ(0, handle.Get());
    EXPECT_EQ(0, handle.Take());  // Nothing held: no report.
    handle.Set(-1);               // Not a handle: not held.
    EXPECT_EQ(0, handle.Get());
    handle.Set(9);
    handle.Set(0);
    EXPECT_FALSE(handle.IsValid());
    EXPECT_EQ("stop 7; start 9; stop 9; close 9; ", Describe(g_calls, &handle));
    g_calls.clear();
    handle.Set(3);
  }
  // Destruction closes what is held.
  EXPECT_EQ(3u, g_calls.size());
  EXPECT_EQ("stop", g_calls[1].what);
  EXPECT_EQ("close", g_calls[2].what);
  g_calls.clear();
}

TEST(ScopedHandleTest, OwnsAndClosesAWindowsHandle) {
  HANDLE raw = NewEvent();
  {
    ScopedHandle handle(raw);
    EXPECT_TRUE(handle.IsValid());
    EXPECT_EQ(raw, handle.Get());
    handle.Set(raw);  // Already held: still open and registered once.
    EXPECT_TRUE(::SetEvent(raw));
  }
  EXPECT_FALSE(IsOpen(raw));

  ScopedHandle none(INVALID_HANDLE_VALUE);
  EXPECT_FALSE(none.IsValid());
  EXPECT_EQ(nullptr, none.Get());
  EXPECT_EQ(nullptr, none.Take());

  for (HANDLE nothing : {static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE}) {
    HANDLE old = NewEvent();
    ScopedHandle handle(old);
    handle.Set(nothing);
    EXPECT_FALSE(handle.IsValid());
    EXPECT_EQ(nullptr, handle.Get());
    EXPECT_FALSE(IsOpen(old));
  }
}

TEST(ScopedHandleTest, TakePassesOwnershipOn) {
  ScopedHandle first(NewEvent());
  HANDLE raw = first.Take();
  EXPECT_EQ(nullptr, first.Get());
  EXPECT_TRUE(IsOpen(raw));
  // No longer registered: another owner may take it on and close it.
  {
    ScopedHandle second(raw);
    EXPECT_TRUE(second.IsValid());
  }
  EXPECT_FALSE(IsOpen(raw));

  // The verifier recorded the owning object itself.
  ScopedHandle owned(NewEvent());
  StopHandleTracking(owned.Get(), &owned, nullptr, nullptr);
  StartHandleTracking(owned.Get(), &owned, nullptr, nullptr);
}

TEST(ScopedHandleTest, SetKeepsTheCallersLastError) {
  ScopedHandle handle(NewEvent());
  HANDLE next = NewEvent();
  ::SetLastError(ERROR_FILE_NOT_FOUND);
  handle.Set(next);
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), ::GetLastError());
  ::SetLastError(ERROR_ACCESS_DENIED);
  handle.Set(nullptr);
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), ::GetLastError());
}

TEST(ScopedHandleDeathTest, MisuseStopsTheProcess) {
  // Two owners of one handle.
  EXPECT_EXIT(
      {
        HANDLE raw = NewEvent();
        ScopedHandle first(raw);
        ScopedHandle second(raw);
      },
      kBrokeIntoDebugger, "");
  // Closed behind the owner's back: the owner's own close then fails.
  EXPECT_EXIT(
      {
        ScopedHandle handle(NewEvent());
        ::CloseHandle(handle.Get());
      },
      kBrokeIntoDebugger, "");
  // Given up on behalf of an object that does not own it.
  EXPECT_EXIT(
      {
        ScopedHandle handle(NewEvent());
        int stranger = 0;
        StopHandleTracking(handle.Get(), &stranger, nullptr, nullptr);
      },
      kBrokeIntoDebugger, "");
  // Given up twice: once by hand, once by its owner.
  EXPECT_EXIT(
      {
        ScopedHandle handle(NewEvent());
        StopHandleTracking(handle.Get(), &handle, nullptr, nullptr);
        handle.Take();
      },
      kBrokeIntoDebugger, "");
}

}  // namespace
}  // namespace win
}  // namespace base
