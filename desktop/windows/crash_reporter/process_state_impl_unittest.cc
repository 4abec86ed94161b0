// Captures of the test process itself, standing in for a crashed process:
// its own exception record and registers are what the capture reads.

#include "desktop/windows/crash_reporter/process_state_impl.h"

#include <windows.h>

#include <tlhelp32.h>

#include <memory>
#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/unique_test_dir.h"
#include "desktop/windows/crash_reporter/crash_log_writer.h"
#include "desktop/windows/crash_reporter/crash_logger.h"
#include "desktop/windows/crash_reporter/process_path.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace crash_reporter {
namespace {

constexpr DWORD kCode = 0xE0000042;

// A crash of the calling thread as a crashed process publishes it: the
// exception-pointers and thread-id fields that the capture reads by
// address.
struct OwnCrash {
  OwnCrash() {
    ::RtlCaptureContext(&context);
    record.ExceptionCode = kCode;
    record.ExceptionAddress = reinterpret_cast<void*>(context.Rip);
    pointers = {&record, &context};
    pointers_field = reinterpret_cast<uintptr_t>(&pointers);
    thread_id = ::GetCurrentThreadId();
  }
  bool Capture(ProcessStateImpl* state,
               const std::vector<ModuleListEntry>& fallback = {}) {
    return state->Capture(::GetCurrentProcessId(),
                          reinterpret_cast<uintptr_t>(&pointers_field),
                          reinterpret_cast<uintptr_t>(&thread_id), fallback);
  }

  CONTEXT context = {};
  EXCEPTION_RECORD record = {};
  EXCEPTION_POINTERS pointers = {};
  uint64_t pointers_field = 0;
  DWORD thread_id = 0;
};

// Collects the log lines of the test thread while it lives.
class CapturedLog {
 public:
  CapturedLog() { base::SetLogMessageHandler(&CaptureCrashLoggerMessage); }
  ~CapturedLog() { base::SetLogMessageHandler(nullptr); }
  const std::string& text() const { return logger_.text(); }
  size_t Count(const std::string& text) const {
    size_t count = 0;
    for (size_t at = logger_.text().find(text); at != std::string::npos;
         at = logger_.text().find(text, at + 1)) {
      ++count;
    }
    return count;
  }

 private:
  CrashLogger logger_;
};

int g_bad_length_answers = 0;

HANDLE WINAPI SnapshotFailingWithBadLength(DWORD flags, DWORD process_id) {
  if (flags == TH32CS_SNAPMODULE && g_bad_length_answers > 0) {
    --g_bad_length_answers;
    ::SetLastError(ERROR_BAD_LENGTH);
    return INVALID_HANDLE_VALUE;
  }
  return ::CreateToolhelp32Snapshot(flags, process_id);
}

HANDLE WINAPI SnapshotWithoutModules(DWORD flags, DWORD process_id) {
  if (flags == TH32CS_SNAPMODULE) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  return ::CreateToolhelp32Snapshot(flags, process_id);
}

// A snapshot that lists no module at all.
HANDLE WINAPI SnapshotOfThreadsOnly(DWORD, DWORD process_id) {
  return ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, process_id);
}

class ScopedSnapshotFunction {
 public:
  explicit ScopedSnapshotFunction(ProcessStateImpl::SnapshotFunction f) {
    ProcessStateImpl::SetSnapshotFunctionForTesting(f);
  }
  ~ScopedSnapshotFunction() {
    ProcessStateImpl::SetSnapshotFunctionForTesting(nullptr);
  }
};

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

uint64_t StackBase() {
  ULONG_PTR low = 0;
  ULONG_PTR high = 0;
  ::GetCurrentThreadStackLimits(&low, &high);
  return high;
}

std::wstring OwnPath() {
  wchar_t path[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::wstring(path, length);
}

TEST(ProcessStateImplTest, CapturesTheCrashThreadsModulesAndCounters) {
  OwnCrash crash;
  ProcessStateImpl state;
  // The listed modules serve only when the system lists none.
  ASSERT_TRUE(
      crash.Capture(&state, ParseModuleList(L"fake.dll:1230000:1000:C:\\f::")));
  for (const auto& module : state.modules())
    EXPECT_NE(0x1230000u, module->base());
  EXPECT_EQ(::GetCurrentProcessId(), state.process_id());
  EXPECT_EQ(kCode, state.exception_code());
  EXPECT_EQ(crash.context.Rip, state.exception_address());
  EXPECT_EQ(crash.context.Rsp, state.exception_context().Rsp);
  EXPECT_EQ(crash.thread_id, state.crashed_thread_id());
  EXPECT_LT(0u, state.working_set_size());
  EXPECT_LE(state.working_set_size(), state.peak_working_set_size());
  EXPECT_TRUE(SamePath(OwnPath(), state.process_path()));
  ASSERT_TRUE(state.main_module());
  EXPECT_EQ(reinterpret_cast<uintptr_t>(::GetModuleHandleW(nullptr)),
            state.main_module()->base());
  EXPECT_EQ("desktop_unittests.exe", state.main_module()->name());
  ASSERT_FALSE(state.threads().empty());
  const ThreadInfoImpl& crashed = *state.threads()[0];
  EXPECT_TRUE(crashed.crashed());
  EXPECT_EQ(crash.thread_id, crashed.id());
  // The stack reaches from the captured stack pointer to the stack's base.
  EXPECT_EQ(StackBase() - crash.context.Rsp, crashed.stack_size());
  EXPECT_TRUE(state.IsReadable(reinterpret_cast<uintptr_t>(&crash)));
  EXPECT_FALSE(state.IsReadable(0));
}

TEST(ProcessStateImplTest, FailsOnlyWithoutTheProcessOrTheCrash) {
  OwnCrash crash;
  ProcessStateImpl no_process;
  EXPECT_FALSE(no_process.Capture(0xFFFFFFF0, 0, 0, {}));
  ProcessStateImpl no_pointers;
  EXPECT_FALSE(
      no_pointers.Capture(::GetCurrentProcessId(), 0,
                          reinterpret_cast<uintptr_t>(&crash.thread_id), {}));
  crash.pointers.ContextRecord = nullptr;
  ProcessStateImpl no_context;
  EXPECT_FALSE(crash.Capture(&no_context));
  crash.pointers.ContextRecord = &crash.context;
  // Without the crashed thread's id the crash is still described.
  CapturedLog log;
  ProcessStateImpl no_thread_id;
  ASSERT_TRUE(no_thread_id.Capture(
      ::GetCurrentProcessId(),
      reinterpret_cast<uintptr_t>(&crash.pointers_field), 0, {}));
  EXPECT_EQ(0u, no_thread_id.crashed_thread_id());
  EXPECT_EQ(1u, log.Count("Could not read ID of crashed thread"));
}

TEST(ProcessStateImplTest, RetriesTheModuleSnapshotOnlyOnBadLength) {
  const struct {
    int bad_length_answers;
    bool listed;
    const char* retries_line;
  } kCases[] = {
      {9, true, nullptr},
      {10, false, "TH32CS_SNAPMODULE failed, retries_left=0"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.bad_length_answers);
    g_bad_length_answers = c.bad_length_answers;
    ScopedSnapshotFunction snapshot(&SnapshotFailingWithBadLength);
    CapturedLog log;
    OwnCrash crash;
    ProcessStateImpl state;
    ASSERT_TRUE(crash.Capture(&state));
    EXPECT_EQ(c.listed, !state.modules().empty());
    EXPECT_EQ(0, g_bad_length_answers);
    if (c.retries_line) {
      EXPECT_EQ(1u, log.Count(c.retries_line));
    }
  }
}

// Without a module snapshot the modules come from the crash key; without
// the process's own file among them there is no main module, and the log
// names the process "<no name>".
TEST(ProcessStateImplTest, FallsBackToTheListedModules) {
  wchar_t kernel32_path[MAX_PATH];
  const HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
  ::GetModuleFileNameW(kernel32, kernel32_path, MAX_PATH);
  const std::wstring list = base::StringPrintfWide(
      L"kernel32.dll:%llx:1000:%ls::",
      static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(kernel32)),
      kernel32_path);
  const struct {
    ProcessStateImpl::SnapshotFunction snapshot;
    const char* failure;
  } kCases[] = {
      // Any error but a bad length ends the attempts at once.
      {&SnapshotWithoutModules, "TH32CS_SNAPMODULE failed, retries_left=9"},
      {&SnapshotOfThreadsOnly, "Module32First failed"},
  };
  OwnCrash crash;
  std::unique_ptr<ProcessStateImpl> state;
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.failure);
    ScopedSnapshotFunction snapshot(c.snapshot);
    CapturedLog log;
    state = std::make_unique<ProcessStateImpl>();
    ASSERT_TRUE(crash.Capture(state.get(), ParseModuleList(list)));
    ASSERT_EQ(1u, state->modules().size());
    EXPECT_EQ("KERNEL32.dll", state->modules()[0]->name());
    EXPECT_FALSE(state->main_module());
    EXPECT_EQ(1u, log.Count(c.failure));
    EXPECT_EQ(1u, log.Count("Using fallback modules"));
    EXPECT_EQ(1u, log.Count("Couldn't find main module for '"));
    EXPECT_EQ(1u, log.Count("Module path: "));
  }

  base::UniqueTestDir folder;
  const std::string path =
      base::WideToUTF8(folder.path().Append(L"own.txt").value());
  MemoryRangeList ranges;
  ASSERT_TRUE(WriteCrashLog(&ranges, *state, CrashReportData(), path));
  std::string text;
  ASSERT_TRUE(
      base::ReadFileToString(base::FilePath(base::UTF8ToWide(path)), &text));
  const std::string second_line = base::StringPrintf(
      "<no name> caused exception E0000042 at address "
      "%012llX (Base: 000000000000)\r\n",
      static_cast<unsigned long long>(crash.context.Rip));
  EXPECT_NE(std::string::npos, text.find("\r\n" + second_line));
  EXPECT_EQ(std::string::npos, text.find("metadata:"));
}

TEST(ProcessStateImplTest, StackExtentNeedsCommittedPrivateReadWriteMemory) {
  CapturedLog log;
  const uint64_t code = reinterpret_cast<uintptr_t>(&OwnPath);
  EXPECT_EQ(0u, ThreadInfoImpl::GetStackExtent(::GetCurrentProcess(), code));
  EXPECT_EQ(1u,
            log.Count("Sanity checks failed, state=0x1000, type=0x1000000"));
  const uint64_t reserved = reinterpret_cast<uintptr_t>(
      ::VirtualAlloc(nullptr, 65536, MEM_RESERVE, PAGE_READWRITE));
  EXPECT_EQ(0u,
            ThreadInfoImpl::GetStackExtent(::GetCurrentProcess(), reserved));
  EXPECT_EQ(2u, log.Count("Sanity checks failed"));
  ::VirtualFree(reinterpret_cast<void*>(reserved), 0, MEM_RELEASE);
  // Private but read-only, and read-write but mapped.
  void* read_only = ::VirtualAlloc(nullptr, 4096, MEM_COMMIT, PAGE_READONLY);
  const HANDLE mapping = ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr,
                                              PAGE_READWRITE, 0, 4096, nullptr);
  void* mapped = ::MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 4096);
  for (void* region : {read_only, mapped}) {
    EXPECT_EQ(0u,
              ThreadInfoImpl::GetStackExtent(
                  ::GetCurrentProcess(), reinterpret_cast<uintptr_t>(region)));
  }
  EXPECT_EQ(4u, log.Count("Sanity checks failed"));
  ::UnmapViewOfFile(mapped);
  ::CloseHandle(mapping);
  ::VirtualFree(read_only, 0, MEM_RELEASE);
  int local = 0;
  const uint64_t sp = reinterpret_cast<uintptr_t>(&local);
  EXPECT_EQ(StackBase() - sp,
            ThreadInfoImpl::GetStackExtent(::GetCurrentProcess(), sp));
}

TEST(ProcessStateImplTest, LogsTheFirstHundredFailedReads) {
  CapturedLog log;
  ProcessMemoryReader reader(::GetCurrentProcess());
  size_t bytes_read = 1;
  for (int i = 0; i < 101; ++i)
    EXPECT_FALSE(reader.Read(16, 8, &bytes_read));
  EXPECT_EQ(0u, bytes_read);
  EXPECT_EQ(101u, reader.failure_count());
  EXPECT_EQ(100u, log.Count("ReadProcessMemory failed for address 0x10 and "
                            "size 8, bytes_read=0"));
  EXPECT_EQ(1u, log.Count("Reached limit of logged memory read errors"));
}

// From the 500th thread on only the crashed one is written; here it is the
// first, so exactly 499 are.
TEST(ProcessStateImplTest, TheLogWritesAtMost499Threads) {
  const HANDLE stop = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::vector<HANDLE> threads;
  for (int i = 0; i < 520; ++i) {
    threads.push_back(::CreateThread(
        nullptr, 4096,
        [](void* event) -> DWORD {
          return ::WaitForSingleObject(event, INFINITE);
        },
        stop, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
  }
  OwnCrash crash;
  ProcessStateImpl state;
  ASSERT_TRUE(crash.Capture(&state));
  EXPECT_LT(520u, state.threads().size());
  base::UniqueTestDir folder;
  const base::FilePath path = folder.path().Append(L"threads.txt");
  MemoryRangeList ranges;
  ASSERT_TRUE(WriteCrashLog(&ranges, state, CrashReportData(),
                            base::WideToUTF8(path.value())));
  ::SetEvent(stop);
  for (HANDLE thread : threads) {
    ::WaitForSingleObject(thread, INFINITE);
    ::CloseHandle(thread);
  }
  ::CloseHandle(stop);
  std::string text;
  ASSERT_TRUE(base::ReadFileToString(path, &text));
  size_t written = 0;
  for (size_t at = text.find("\nThreadInfo: "); at != std::string::npos;
       at = text.find("\nThreadInfo: ", at + 1)) {
    ++written;
  }
  EXPECT_EQ(499u, written);
}

TEST(ProcessStateImplTest, DeviceNamesNeedADriveRoot) {
  CapturedLog log;
  EXPECT_EQ(L"", GetDeviceName(L"C:"));
  EXPECT_EQ(L"", GetDeviceName(L"1:\\"));
  EXPECT_EQ(2u, log.Count("GetDeviceName: '"));
  EXPECT_NE(L"", GetDeviceName(L"c:\\"));
}

}  // namespace
}  // namespace crash_reporter
}  // namespace vexlo
