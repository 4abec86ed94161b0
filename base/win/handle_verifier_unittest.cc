#include "base/win/handle_verifier.h"

#include <windows.h>

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
HANDLE BogusHandle() {
  return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x7FFFFFF4));
}

std::wstring ExecutableFolder() {
  wchar_t path[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  folder.resize(folder.find_last_of(L'\\') + 1);
  return folder;
}

TEST(HandleVerifierTest, ExecutableExportsTheVerifierEveryCallerShares) {
  FARPROC exported =
      ::GetProcAddress(::GetModuleHandleW(nullptr), "GetHandleVerifier");
  ASSERT_NE(nullptr, exported);
  HandleVerifier* active = GetActiveHandleVerifier();
  EXPECT_EQ(active, GetHandleVerifier());
  EXPECT_EQ(::GetModuleHandleW(nullptr), active->GetModule());

  std::vector<HandleVerifier*> seen(8, nullptr);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < seen.size(); ++i)
    threads.emplace_back([&seen, i] { seen[i] = GetActiveHandleVerifier(); });
  for (std::thread& thread : threads)
    thread.join();
  for (HandleVerifier* verifier : seen)
    EXPECT_EQ(active, verifier);
}

TEST(HandleVerifierTest, ModulesUseTheExecutablesVerifier) {
  const std::wstring dll_path =
      ExecutableFolder() + L"handle_verifier_test_dll.dll";
  HMODULE module = ::LoadLibraryW(dll_path.c_str());
  ASSERT_NE(nullptr, module) << ::GetLastError();
  auto module_verifier = reinterpret_cast<void* (*)()>(reinterpret_cast<void*>(
      ::GetProcAddress(module, "GetModuleActiveVerifier")));
  auto module_export = reinterpret_cast<void* (*)()>(
      reinterpret_cast<void*>(::GetProcAddress(module, "GetHandleVerifier")));
  auto open_event = reinterpret_cast<HANDLE (*)()>(reinterpret_cast<void*>(
      ::GetProcAddress(module, "OpenModuleOwnedEvent")));
  auto close_event = reinterpret_cast<void (*)()>(reinterpret_cast<void*>(
      ::GetProcAddress(module, "CloseModuleOwnedEvent")));
  auto event_owner = reinterpret_cast<const void* (*)()>(
      reinterpret_cast<void*>(::GetProcAddress(module, "GetModuleEventOwner")));
  ASSERT_TRUE(module_verifier && module_export && open_event && close_event &&
              event_owner);

  EXPECT_EQ(GetActiveHandleVerifier(), module_verifier());
  EXPECT_EQ(GetActiveHandleVerifier(), module_export());

  // A handle registered by the module's code is in this module's table: its
  // real owner can be given up and registered again from here, any other
  // owner is refused.
  HANDLE event = open_event();
  ASSERT_TRUE(IsOpen(event));
  StopHandleTracking(event, event_owner(), nullptr, nullptr);
  StartHandleTracking(event, event_owner(), nullptr, nullptr);
  EXPECT_EXIT(StopHandleTracking(event, &event, nullptr, nullptr),
              kBrokeIntoDebugger, "");
  close_event();
  EXPECT_FALSE(IsOpen(event));
  ::FreeLibrary(module);
}

TEST(HandleVerifierTest, TypeNamesOfHandles) {
  ScopedHandle event(NewEvent());
  ScopedHandle process(DuplicateOfCurrentProcess());
  ASSERT_TRUE(event.IsValid() && process.IsValid());
  std::string name;
  EXPECT_EQ(0, GetHandleTypeName(event.Get(), &name));
  EXPECT_EQ("Event", name);
  EXPECT_EQ(0, GetHandleTypeName(process.Get(), &name));
  EXPECT_EQ("Process", name);

  name = "unchanged";
  EXPECT_NE(0, GetHandleTypeName(BogusHandle(), &name));
  EXPECT_EQ("unchanged", name);
}

TEST(HandleVerifierTest, TracksUntilGivenUpByItsOwner) {
  HandleVerifier verifier(true);
  int first_owner = 0;
  int second_owner = 0;
  HANDLE handle = BogusHandle();
  verifier.StartTracking(handle, &first_owner, nullptr, nullptr);
  verifier.StopTracking(handle, &first_owner, nullptr, nullptr);
  // The record is gone, so the handle can be registered again and a close
  // notice for it passes.
  verifier.OnHandleBeingClosed(handle);
  verifier.StartTracking(handle, &second_owner, nullptr, nullptr);
  verifier.StopTracking(handle, &second_owner, nullptr, nullptr);

  HANDLE event = NewEvent();
  ASSERT_TRUE(IsOpen(event));
  EXPECT_TRUE(verifier.CloseHandle(event));
  EXPECT_FALSE(IsOpen(event));
}

TEST(HandleVerifierTest, DisabledVerifierTracksNothing) {
  HandleVerifier disabled(false);
  int owner = 0;
  int other = 0;
  HANDLE handle = BogusHandle();
  disabled.StartTracking(handle, &owner, nullptr, nullptr);
  disabled.StartTracking(handle, &other, nullptr, nullptr);
  disabled.OnHandleBeingClosed(handle);
  disabled.StopTracking(handle, &other, nullptr, nullptr);
  disabled.StopTracking(BogusHandle(), &owner, nullptr, nullptr);

  // Disabling keeps the records made so far but ignores them from then on.
  HandleVerifier verifier(true);
  verifier.StartTracking(handle, &owner, nullptr, nullptr);
  verifier.Disable();
  verifier.StartTracking(handle, &other, nullptr, nullptr);
  verifier.OnHandleBeingClosed(handle);
  verifier.StopTracking(handle, &other, nullptr, nullptr);

  HANDLE event = NewEvent();
  EXPECT_TRUE(disabled.CloseHandle(event));
  EXPECT_FALSE(IsOpen(event));
}

TEST(HandleVerifierDeathTest, MisuseOfAnEnabledVerifierIsFatal) {
  int owner = 0;
  int other = 0;
  HANDLE handle = BogusHandle();
  // Registered twice, by the same owner or by another.
  EXPECT_EXIT(
      {
        HandleVerifier verifier(true);
        verifier.StartTracking(handle, &owner, nullptr, nullptr);
        verifier.StartTracking(handle, &other, nullptr, nullptr);
      },
      kBrokeIntoDebugger, "");
  EXPECT_EXIT(
      {
        HandleVerifier verifier(true);
        verifier.StartTracking(handle, &owner, nullptr, nullptr);
        verifier.StartTracking(handle, &owner, nullptr, nullptr);
      },
      kBrokeIntoDebugger, "");
  // Given up though nobody registered it, or by an object that does not own
  // it, or twice.
  EXPECT_EXIT(
      {
        HandleVerifier verifier(true);
        verifier.StopTracking(handle, &owner, nullptr, nullptr);
      },
      kBrokeIntoDebugger, "");
  EXPECT_EXIT(
      {
        HandleVerifier verifier(true);
        verifier.StartTracking(handle, &owner, nullptr, nullptr);
        verifier.StopTracking(handle, &other, nullptr, nullptr);
      },
      kBrokeIntoDebugger, "");
  EXPECT_EXIT(
      {
        HandleVerifier verifier(true);
        verifier.StartTracking(handle, &owner, nullptr, nullptr);
        verifier.StopTracking(handle, &owner, nullptr, nullptr);
        verifier.StopTracking(handle, &owner, nullptr, nullptr);
      },
      kBrokeIntoDebugger, "");
  // Closed from outside while tracked.
  EXPECT_EXIT(
      {
        HandleVerifier verifier(true);
        verifier.StartTracking(handle, &owner, nullptr, nullptr);
        verifier.OnHandleBeingClosed(handle);
      },
      kBrokeIntoDebugger, "");
}

TEST(HandleVerifierDeathTest, FailedClosesAreFatalEnabledOrNot) {
  EXPECT_EXIT(CloseHandleChecked(BogusHandle()), kBrokeIntoDebugger, "");
  EXPECT_EXIT(HandleVerifier(true).CloseHandle(BogusHandle()),
              kBrokeIntoDebugger, "");
  EXPECT_EXIT(HandleVerifier(false).CloseHandle(BogusHandle()),
              kBrokeIntoDebugger, "");
  // Closing twice.
  EXPECT_EXIT(
      {
        HANDLE event = NewEvent();
        CloseHandleVerified(event);
        CloseHandleVerified(event);
      },
      kBrokeIntoDebugger, "");
}

// A process handle protected from closing may refuse to close. Where the
// system reports the protection flag, that failure is tolerated; where it
// does not (Wine reports no handle flags at all), the failed close cannot be
// told from any other and stops the process.
TEST(HandleVerifierDeathTest, ProtectedProcessHandleMayRefuseToClose) {
  HANDLE process = DuplicateOfCurrentProcess();
  ASSERT_NE(nullptr, process);
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
    EXPECT_EXIT(HandleVerifier(false).CloseHandle(process), kBrokeIntoDebugger,
                "");
  }
  EXPECT_TRUE(IsOpen(process));
  ASSERT_TRUE(
      ::SetHandleInformation(process, HANDLE_FLAG_PROTECT_FROM_CLOSE, 0));
  EXPECT_TRUE(CloseHandleChecked(process));
}

// Many threads register and give up handles at once, in the process-wide
// verifier and in one of their own; a lost or misplaced record would make a
// later StopTracking fatal.
TEST(HandleVerifierTest, ConcurrentTrackingKeepsEveryRecord) {
  HandleVerifier verifier(true);
  constexpr int kThreads = 8;
  constexpr int kRounds = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&verifier, t] {
      int owner = 0;
      for (int round = 0; round < kRounds; ++round) {
        ScopedHandle event(NewEvent());
        HANDLE fake = reinterpret_cast<HANDLE>(
            static_cast<uintptr_t>((t * kRounds + round + 1) * 4));
        verifier.StartTracking(fake, &owner, nullptr, nullptr);
        ScopedHandle taken(event.Take());
        verifier.StopTracking(fake, &owner, nullptr, nullptr);
      }
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  for (int i = 1; i <= kThreads * kRounds; ++i) {
    // Every record is gone: a close notice for any of them passes.
    verifier.OnHandleBeingClosed(
        reinterpret_cast<HANDLE>(static_cast<uintptr_t>(i * 4)));
  }
}

}  // namespace
}  // namespace win
}  // namespace base
