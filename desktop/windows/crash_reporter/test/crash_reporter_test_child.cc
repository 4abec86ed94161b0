// A watched process for the crash-reporting tests. It joins the crash
// reporter as every installer process does at start-up (the reporter's id
// in "crash-reporter-pid", none to start one), fills its crash keys, and
// then does what its switch "mode" says:
//   launch          only starts a reporter; exits with 20 when one
//                   answered, else 21
//   launch-after-stale
//                   the same, with the init event of its id already set,
//                   as the reporter of an earlier process with that id
//                   leaves it
//   report          exits with 10 when a handler is connected, else 11
//   null            dereferences null on the main thread
//   raise           raises exception 0xE0000001
//   check           fails a check
//   thread          dereferences null on a second thread
//   two-threads     crashes two threads at the same moment
//   invalid-parameter, pure-call
//                   enters the handler's runtime-library entry points
//   unwatched-pure-call
//                   adds a handler without a reporter, then enters its
//                   pure-call entry point, which returns
//   window-proc     passes an exception to the window procedures' hook
//   crash-in-callback
//                   adds a second, newer handler whose dump callback
//                   crashes, then dereferences null
//   wait            waits until it is ended from outside
//   known-state     starts a waiting thread of below-normal priority, then
//                   crashes with known values in its registers, one of them
//                   pointing at a heap buffer of known text; it publishes
//                   its thread ids and addresses in the "gpu_device_id"
//                   crash key as "main:waiter:heap:fault" (hexadecimal), and
//                   puts a value with a line break in "gpu_vendor_id"
//   backend-null    runs a second child in mode "null" that joins this
//                   one's reporter, as a backend does, and exits with its
//                   exit code
// Started again with "crash-reporter-parent-id" it stands in for a crash
// reporter: with "signal-init" it sets its parent's init event, then ends.
// With "real-reporter" (or as a crashed reporter's fresh copy) it is the
// product's crash reporter; with "reporter-crash" too, that reporter
// crashes right after preparing its relaunch.

#include <windows.h>

#include <string>

#include "base/at_exit.h"
#include "base/command_line.h"
#include "base/logging.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/stringprintf.h"
#include "base/win/exception_filter_hook.h"
#include "desktop/windows/crash_reporter/crash_handler.h"
#include "desktop/windows/crash_reporter/crash_keys.h"
#include "desktop/windows/crash_reporter/crash_records.h"
#include "desktop/windows/crash_reporter/crash_reporter_client.h"
#include "desktop/windows/crash_reporter/crash_reporter_server.h"
#include "desktop/windows/crash_reporter/self_crash_reporter.h"

// Loads known values into the registers that survive a call, R15:R14 into
// XMM8 and 1.0 into st(0), the heap buffer into R12 and a code address into
// R13, and writes through a null RAX at vexlo_known_fault_instruction.
extern "C" void VexloCrashWithKnownRegisters(void* heap, void* code);
extern "C" char vexlo_known_fault_instruction[];
asm(R"(
  .text
  .globl VexloCrashWithKnownRegisters
VexloCrashWithKnownRegisters:
  movq %rcx, %r12
  movq %rdx, %r13
  movabsq $0x1111111111111111, %rbx
  movabsq $0x5151515151515151, %rsi
  movabsq $0x0D1D0D1D0D1D0D1D, %rdi
  movabsq $0x0123456789ABCDEF, %r14
  movabsq $0xFEDCBA9876543210, %r15
  movq %r14, %xmm8
  pinsrq $1, %r15, %xmm8
  fld1
  xorl %eax, %eax
  .globl vexlo_known_fault_instruction
vexlo_known_fault_instruction:
  movl $1, (%rax)
  ret
)");

namespace vexlo {
namespace crash_reporter {
namespace {

constexpr size_t kGpuVendorIdSlot = 22;
constexpr size_t kGpuDeviceIdSlot = 23;

constexpr DWORD kRaisedCode = 0xE0000001;

void DereferenceNull() {
  volatile int* volatile null_pointer = nullptr;
  *null_pointer = 1;
}

DWORD WINAPI CrashThread(void* start_event) {
  if (start_event)
    ::WaitForSingleObject(start_event, INFINITE);
  DereferenceNull();
  return 0;
}

void CrashTwoThreads() {
  const HANDLE start = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ::CreateThread(nullptr, 0, &CrashThread, start, 0, nullptr);
  ::CreateThread(nullptr, 0, &CrashThread, start, 0, nullptr);
  ::Sleep(50);
  ::SetEvent(start);
  ::Sleep(INFINITE);
}

bool CrashingDumpCallback(const wchar_t*,
                          const wchar_t*,
                          void*,
                          EXCEPTION_POINTERS*,
                          AssertionRecord*,
                          bool) {
  DereferenceNull();
  return true;
}

DWORD WINAPI WaitForever(void* started_event) {
  ::SetEvent(started_event);
  ::Sleep(INFINITE);
  return 0;
}

void CrashWithKnownState() {
  const HANDLE started = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DWORD waiter_id = 0;
  const HANDLE waiter = ::CreateThread(nullptr, 0, &WaitForever, started,
                                       CREATE_SUSPENDED, &waiter_id);
  ::SetThreadPriority(waiter, THREAD_PRIORITY_BELOW_NORMAL);
  ::ResumeThread(waiter);
  ::WaitForSingleObject(started, INFINITE);
  static const char kText[] = "KNOWN-HEAP-BYTES";
  char* heap = static_cast<char*>(malloc(256));
  for (size_t i = 0; i < 256; ++i)
    heap[i] = kText[i % 16];
  const std::wstring facts = base::StringPrintfWide(
      L"%lx:%lx:%llx:%llx", ::GetCurrentThreadId(), waiter_id,
      static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(heap)),
      static_cast<unsigned long long>(
          reinterpret_cast<uintptr_t>(vexlo_known_fault_instruction)));
  CrashKeys::Get()->SetValue(kGpuDeviceIdSlot, facts.c_str());
  CrashKeys::Get()->SetValue(kGpuVendorIdSlot, L"ab\r\nforged=\"1\"");
  VexloCrashWithKnownRegisters(heap, vexlo_known_fault_instruction);
}

int StandInForReporter(const base::CommandLine& command_line) {
  if (!command_line.HasSwitch("signal-init"))
    return 0;
  const std::wstring name =
      std::wstring(kCrashReporterInitEventPrefix) +
      command_line.GetSwitchValueNative("crash-reporter-parent-id");
  const HANDLE event = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, name.c_str());
  return event && ::SetEvent(event) ? 0 : 1;
}

int RunReporter(const base::CommandLine& command_line) {
  if (command_line.HasSwitch("reporter-crash")) {
    InstallSelfCrashHandlers();
    PrepareSelfCrashRelaunch(false);
    DereferenceNull();
  }
  RunCrashReporter();
  return 0;
}

DWORD RunBackendChild() {
  base::CommandLine backend{
      base::CommandLine::ForCurrentProcess()->GetProgram()};
  backend.AppendSwitchASCII("mode", "null");
  backend.AppendSwitchASCII("crash-reporter-pid",
                            base::UintToString(GetCrashReporterProcessId()));
  std::wstring text = backend.GetCommandLineString(false);
  STARTUPINFOW startup = {sizeof(startup)};
  PROCESS_INFORMATION process = {};
  if (!::CreateProcessW(nullptr, &text[0], nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process)) {
    return 254;
  }
  DWORD exit_code = 254;
  ::WaitForSingleObject(process.hProcess, INFINITE);
  ::GetExitCodeProcess(process.hProcess, &exit_code);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return exit_code;
}

int Run(const base::CommandLine& command_line) {
  if (command_line.HasSwitch("crash-reporter-parent-id")) {
    if (command_line.HasSwitch("real-reporter") ||
        command_line.HasSwitch("crash-reporter-exception-info")) {
      return RunReporter(command_line);
    }
    return StandInForReporter(command_line);
  }
  const std::wstring mode = command_line.GetSwitchValueNative("mode");
  if (mode == L"launch-after-stale") {
    const HANDLE stale =
        ::CreateEventW(nullptr, TRUE, TRUE,
                       (kCrashReporterInitEventPrefix +
                        std::to_wstring(::GetCurrentProcessId()))
                           .c_str());
    if (!stale)
      return 254;
  }
  if (mode == L"launch" || mode == L"launch-after-stale")
    return LaunchCrashReporter() ? 20 : 21;
  JoinOrStartCrashReporter();
  SetInstallerCrashKeys();
  if (mode == L"report")
    return GetInstalledCrashHandler() ? 10 : 11;
  if (mode == L"null")
    DereferenceNull();
  if (mode == L"raise")
    ::RaiseException(kRaisedCode, 0, 0, nullptr);
  if (mode == L"check")
    CHECK(mode.empty());
  if (mode == L"thread") {
    ::WaitForSingleObject(
        ::CreateThread(nullptr, 0, &CrashThread, nullptr, 0, nullptr),
        INFINITE);
  }
  if (mode == L"two-threads")
    CrashTwoThreads();
  if (mode == L"invalid-parameter")
    CrashHandler::HandleInvalidParameter(
        L"length < size", std::wstring(200, L'f').c_str(), L"copy.cc", 42, 0);
  if (mode == L"pure-call")
    CrashHandler::HandlePureCall();
  if (mode == L"unwatched-pure-call") {
    new CrashHandler(std::wstring(), nullptr, nullptr, nullptr,
                     CrashHandler::kHandleAll, 0, std::wstring(),
                     CrashKeySet());
    CrashHandler::HandlePureCall();
  }
  if (mode == L"window-proc") {
    EXCEPTION_RECORD record = {};
    record.ExceptionCode = kRaisedCode;
    CONTEXT context = {};
    ::RtlCaptureContext(&context);
    EXCEPTION_POINTERS pointers = {&record, &context};
    base::win::CallExceptionFilterHook(&pointers);
  }
  if (mode == L"crash-in-callback") {
    new CrashHandler(std::wstring(), nullptr, &CrashingDumpCallback, nullptr,
                     CrashHandler::kHandleAll, 0, std::wstring(),
                     CrashKeySet());
    DereferenceNull();
  }
  if (mode == L"known-state")
    CrashWithKnownState();
  if (mode == L"wait")
    ::Sleep(INFINITE);
  if (mode == L"backend-null")
    return static_cast<int>(RunBackendChild());
  return 255;
}

}  // namespace
}  // namespace crash_reporter
}  // namespace vexlo

int wmain() {
  base::AtExitManager at_exit_manager;
  base::CommandLine::Init();
  return vexlo::crash_reporter::Run(*base::CommandLine::ForCurrentProcess());
}
