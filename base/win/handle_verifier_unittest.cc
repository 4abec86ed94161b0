#include "base/win/handle_verifier.h"

#include <ctype.h>

#include <string>
#include <thread>
#include <vector>

#include "base/win/scoped_handle.h"
#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

// How a violation ends the process when no debugger is attached.
const auto kBrokeIntoDebugger =
    testing::ExitedWithCode(static_cast<int>(EXCEPTION_BREAKPOINT));

HANDLE NewEvent() {
  return ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

HANDLE DuplicateOfCurrentProcess() {
  HANDLE process = nullptr;
  ::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentProcess(),
                    ::GetCurrentProcess(), &process, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
  return process;
}

bool IsOpen(HANDLE handle) {
  DWORD flags = 0;
  return ::GetHandleInformation(handle, &flags) != FALSE;
}

// A handle value that names no object: kernel handles are multiples of 4.
HANDLE Bogus(uintptr_t n = 0x1FFFFFFD) {
  return reinterpret_cast<HANDLE>(n * 4);
}

int g_owner = 0;
int g_other = 0;

// Runs |steps| on a new enabled verifier, each one a letter: 's' and 'S'
// start tracking the bogus handle for one owner or the other, 't' and 'T'
// stop it, 'c' reports it closed from outside.
void RunSteps(const char* steps) {
  HandleVerifier verifier(true);
  for (; *steps; ++steps) {
    const void* owner = islower(*steps) ? &g_owner : &g_other;
    if (tolower(*steps) == 's')
      verifier.StartTracking(Bogus(), owner, nullptr, nullptr);
    else if (tolower(*steps) == 't')
      verifier.StopTracking(Bogus(), owner, nullptr, nullptr);
    else
      verifier.OnHandleBeingClosed(Bogus());
  }
}

TEST(HandleVerifierTest, EveryModuleAndThreadSharesTheExecutablesVerifier) {
  HandleVerifier* active = GetActiveHandleVerifier();
  EXPECT_EQ(active, GetHandleVerifier());
  EXPECT_EQ(::GetModuleHandleW(nullptr), active->GetModule());
  std::vector<HandleVerifier*> seen(8, nullptr);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < seen.size(); ++i)
    threads.emplace_back([&seen, i] { seen[i] = GetActiveHandleVerifier(); });
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(std::vector<HandleVerifier*>(8, active), seen);

  wchar_t path[MAX_PATH];
  std::wstring dll(path, ::GetModuleFileNameW(nullptr, path, MAX_PATH));
  dll.resize(dll.find_last_of(L'\\') + 1);
  HMODULE module =
      ::LoadLibraryW((dll + L"handle_verifier_test_dll.dll").c_str());
  ASSERT_NE(nullptr, module) << ::GetLastError();
  auto function = [module](const char* name) {
    return reinterpret_cast<void* (*)()>(
        reinterpret_cast<void*>(::GetProcAddress(module, name)));
  };
  EXPECT_EQ(active, function("GetModuleActiveVerifier")());
  EXPECT_EQ(active, function("GetHandleVerifier")());
  // A handle registered by the module's code is in this module's table: its
  // real owner can be given up and registered again from here, no other.
  HANDLE event = function("OpenModuleOwnedEvent")();
  const void* owner = function("GetModuleEventOwner")();
  StopHandleTracking(event, owner, nullptr, nullptr);
  StartHandleTracking(event, owner, nullptr, nullptr);
  EXPECT_EXIT(StopHandleTracking(event, &event, nullptr, nullptr),
              kBrokeIntoDebugger, "");
  function("CloseModuleOwnedEvent")();
  EXPECT_FALSE(IsOpen(event));
  ::FreeLibrary(module);
}

TEST(HandleVerifierTest, TypeNamesAndRecordsThatGoWhenGivenUp) {
  ScopedHandle event(NewEvent());
  ScopedHandle process(DuplicateOfCurrentProcess());
  std::string name;
  EXPECT_EQ(0, GetHandleTypeName(event.Get(), &name));
  EXPECT_EQ("Event", name);
  EXPECT_EQ(0, GetHandleTypeName(process.Get(), &name));
  EXPECT_EQ("Process", name);
  EXPECT_NE(0, GetHandleTypeName(Bogus(), &name));
  EXPECT_EQ("Process", name);
  // Once given up, a close notice passes and another owner may come.
  RunSteps("stcSTc");
  HandleVerifier verifier(true);
  verifier.StartTracking(Bogus(), &g_owner, nullptr, nullptr);
  verifier.Disable();
  verifier.StartTracking(Bogus(), &g_owner, nullptr, nullptr);
  verifier.OnHandleBeingClosed(Bogus());
  verifier.StopTracking(Bogus(1), &g_owner, nullptr, nullptr);
  for (bool enabled : {false, true}) {
    HandleVerifier closing(enabled);
    HANDLE event = NewEvent();
    closing.StartTracking(event, &g_owner, nullptr, nullptr);
    EXPECT_TRUE(closing.CloseHandle(event));  // Its own close passes.
    EXPECT_FALSE(IsOpen(event));
  }
}

TEST(HandleVerifierDeathTest, MisuseAndFailedClosesAreFatal) {
  // Registered twice, given up though nobody registered it, by a stranger or
  // twice, or closed from outside while tracked.
  for (const char* misuse : {"sS", "ss", "t", "sT", "stt", "sc"})
    EXPECT_EXIT(RunSteps(misuse), kBrokeIntoDebugger, "") << misuse;
  EXPECT_EXIT(CloseHandleChecked(Bogus()), kBrokeIntoDebugger, "");
  EXPECT_EXIT(HandleVerifier(true).CloseHandle(Bogus()), kBrokeIntoDebugger,
              "");
  EXPECT_EXIT(HandleVerifier(false).CloseHandle(Bogus()), kBrokeIntoDebugger,
              "");
  HANDLE event = NewEvent();
  CloseHandleVerified(event);
  EXPECT_EXIT(CloseHandleVerified(event), kBrokeIntoDebugger, "");
}

// A process handle protected from closing may refuse to close. Where the
// system reports the protection flag, that failure is tolerated; where it
// does not (Wine reports no handle flags at all), it stops the process.
TEST(HandleVerifierDeathTest, ProtectedProcessHandleMayRefuseToClose) {
  HANDLE process = DuplicateOfCurrentProcess();
  ASSERT_TRUE(::SetHandleInformation(process, HANDLE_FLAG_PROTECT_FROM_CLOSE,
                                     HANDLE_FLAG_PROTECT_FROM_CLOSE));
  DWORD flags = 0;
  ASSERT_TRUE(::GetHandleInformation(process, &flags));
  if (flags & HANDLE_FLAG_PROTECT_FROM_CLOSE) {
    EXPECT_FALSE(CloseHandleChecked(process));
    EXPECT_FALSE(HandleVerifier(false).CloseHandle(process));
    EXPECT_TRUE(HandleVerifier(true).CloseHandle(process));
  } else {
    EXPECT_EXIT(CloseHandleChecked(process), kBrokeIntoDebugger, "");
  }
  EXPECT_TRUE(IsOpen(process));
  ASSERT_TRUE(
      ::SetHandleInformation(process, HANDLE_FLAG_PROTECT_FROM_CLOSE, 0));
  EXPECT_TRUE(CloseHandleChecked(process));
}

// Many threads register and give up handles at once, in this verifier and
// the process's; a lost or misplaced record would make a call fatal.
TEST(HandleVerifierTest, ConcurrentTrackingKeepsEveryRecord) {
  HandleVerifier verifier(true);
  std::vector<std::thread> threads;
  for (uintptr_t t = 0; t < 8; ++t) {
    threads.emplace_back([&verifier, t] {
      for (uintptr_t n = t * 200 + 1; n <= t * 200 + 200; ++n) {
        ScopedHandle event(NewEvent());
        verifier.StartTracking(Bogus(n), &g_owner, nullptr, nullptr);
        verifier.StopTracking(Bogus(n), &g_owner, nullptr, nullptr);
      }
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  for (uintptr_t n = 1; n <= 1600; ++n)
    verifier.OnHandleBeingClosed(Bogus(n));
}

}  // namespace
}  // namespace win
}  // namespace base
