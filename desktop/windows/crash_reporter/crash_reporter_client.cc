#include "desktop/windows/crash_reporter/crash_reporter_client.h"

#include <psapi.h>
#include <wchar.h>

#include <atomic>
#include <string>

#include "base/command_line.h"
#include "base/logging.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/exception_filter_hook.h"
#include "base/win/scoped_handle.h"
#include "desktop/common/product/product_info.h"
#include "desktop/windows/crash_reporter/crash_handler.h"
#include "desktop/windows/crash_reporter/crash_keys.h"
#include "desktop/windows/crash_reporter/crash_records.h"

namespace vexlo {
namespace crash_reporter {

namespace {

constexpr char kCrashReporterPidSwitch[] = "crash-reporter-pid";
constexpr char kCrashReporterParentIdSwitch[] = "crash-reporter-parent-id";
constexpr wchar_t kKrontaTestVariable[] = L"VEXLO_CRASH_REPORTER_KRONTA_TEST";
constexpr wchar_t kOriginVariable[] = L"VEXLO_CRASH_ORIGIN";
constexpr wchar_t kInstallerProcessType[] = L"installer";

constexpr DWORD kEnvironmentBufferLength = 512;
// Room for a prefix of 27 units, ten digits and the terminator.
constexpr size_t kObjectNameLength = 38;
constexpr DWORD kReporterStartTimeoutMs = 2000;
constexpr DWORD kHookExitCode = 1;

// The modules named in the crash keys, after the executable.
constexpr const wchar_t* kListedModules[] = {L"vexlo.dll",    L"KernelBase.dll",
                                             L"kernel32.dll", L"ntdll.dll",
                                             L"user32.dll",   L"msvcrt.dll"};

std::atomic<uint32_t> g_crash_reporter_pid{0};
std::atomic<CrashHandler*> g_crash_handler{nullptr};
std::atomic<int32_t> g_first_crash{0};

// "%s%u" of a kernel object's name prefix and a process id; empty when it
// does not fit.
base::string16 FormatObjectName(const wchar_t* prefix, uint32_t process_id) {
  wchar_t name[kObjectNameLength];
  const int length = swprintf(name, kObjectNameLength, L"%ls%u", prefix,
                              static_cast<unsigned>(process_id));
  if (length < 0 || static_cast<size_t>(length) >= kObjectNameLength)
    return base::string16();
  return base::string16(name, length);
}

// One crash per process is reported: every later crashing thread stops
// here for good, so that the first one's capture is what the process ends
// with.
bool OnlyFirstCrashFilter(void* /* context */,
                          EXCEPTION_POINTERS* /* exception_pointers */,
                          AssertionRecord* /* assertion */) {
  int32_t expected = 0;
  if (g_first_crash.compare_exchange_strong(expected, 1))
    return true;
  ::Sleep(INFINITE);
  return false;
}

// The reporter writes its own files: any outcome ends the process.
bool DumpDone(const wchar_t* /* dump_folder */,
              const wchar_t* /* dump_id */,
              void* /* context */,
              EXCEPTION_POINTERS* /* exception_pointers */,
              AssertionRecord* /* assertion */,
              bool /* succeeded */) {
  return true;
}

// "name:BASE:size:path::" of one loaded module; empty when it is not
// loaded or cannot be described.
base::string16 DescribeModule(const wchar_t* name) {
  const HMODULE module = ::GetModuleHandleW(name);
  if (!module)
    return base::string16();
  MODULEINFO information = {};
  if (!::GetModuleInformation(::GetCurrentProcess(), module, &information,
                              sizeof(information))) {
    return base::string16();
  }
  wchar_t path[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(module, path, MAX_PATH);
  if (length == 0 || length == MAX_PATH)
    return base::string16();
  base::string16 module_name;
  if (name) {
    module_name = name;
  } else {
    const wchar_t* separator = wcsrchr(path, L'\\');
    if (!separator || !separator[1])
      return base::string16();
    module_name = separator + 1;
  }
  return module_name +
         base::StringPrintfWide(
             L":%016llX:%lx:",
             static_cast<unsigned long long>(
                 reinterpret_cast<uintptr_t>(information.lpBaseOfDll)),
             static_cast<unsigned long>(information.SizeOfImage)) +
         base::string16(path, length) + L"::";
}

}  // namespace

base::string16 GetEnvironmentString(const wchar_t* name) {
  wchar_t value[kEnvironmentBufferLength];
  const DWORD length =
      ::GetEnvironmentVariableW(name, value, kEnvironmentBufferLength);
  if (length == 0 || length >= kEnvironmentBufferLength)
    return base::string16();
  return base::string16(value, length);
}

uint32_t GetCrashReporterPidFromCommandLine() {
  const std::string value =
      base::CommandLine::ForCurrentProcess()->GetSwitchValueASCII(
          kCrashReporterPidSwitch);
  unsigned pid = 0;
  return base::StringToUint(value, &pid) ? pid : 0;
}

uint32_t LaunchCrashReporter() {
  const uint32_t own_pid = ::GetCurrentProcessId();
  base::CommandLine command_line(*base::CommandLine::ForCurrentProcess());
  command_line.AppendSwitchASCII(kCrashReporterParentIdSwitch,
                                 base::UintToString(own_pid));
  const base::string16 event_name =
      FormatObjectName(kCrashReporterInitEventPrefix, own_pid);
  if (event_name.empty())
    return 0;
  base::win::ScopedHandle init_event(
      ::CreateEventW(nullptr, TRUE, FALSE, event_name.c_str()));
  if (!init_event.IsValid()) {
    PLOG(ERROR) << "CreateEvent for the crash reporter failed";
    return 0;
  }
  // Process ids come back: the reporter of an earlier process with this id
  // may still hold the event, set, and only this start's reporter may say
  // that it listens.
  ::ResetEvent(init_event.Get());
  base::string16 command_line_string = command_line.GetCommandLineString(false);
  STARTUPINFOW startup_info = {};
  startup_info.cb = sizeof(startup_info);
  PROCESS_INFORMATION process_information = {};
  if (!::CreateProcessW(nullptr, &command_line_string[0], nullptr, nullptr,
                        FALSE, 0, nullptr, nullptr, &startup_info,
                        &process_information)) {
    PLOG(ERROR) << "Starting the crash reporter failed";
    return 0;
  }
  base::win::ScopedHandle process(process_information.hProcess);
  base::win::ScopedHandle thread(process_information.hThread);
  // It sets the event once its pipe listens; ending first means it will
  // not.
  const HANDLE waits[] = {init_event.Get(), process.Get()};
  const DWORD result =
      ::WaitForMultipleObjects(2, waits, FALSE, kReporterStartTimeoutMs);
  if (result != WAIT_OBJECT_0) {
    LOG(WARNING) << "The crash reporter did not start: " << result;
    return 0;
  }
  return process_information.dwProcessId;
}

void JoinOrStartCrashReporter() {
  // Builds without a build number are never watched.
  if (ProductInfo::GetBuildNumber() < 0)
    return;
  uint32_t reporter_pid = GetCrashReporterPidFromCommandLine();
  if (reporter_pid == 0)
    reporter_pid = LaunchCrashReporter();
  SetCrashReporterProcessId(reporter_pid);
  if (reporter_pid != 0)
    InstallCrashHandler();
}

uint32_t GetCrashReporterProcessId() {
  return g_crash_reporter_pid.load();
}

void SetCrashReporterProcessId(uint32_t process_id) {
  g_crash_reporter_pid = process_id;
}

void InstallCrashHandler() {
  const uint32_t reporter_pid = g_crash_reporter_pid.load();
  if (g_crash_handler.load() || reporter_pid == 0)
    return;
  const base::string16 pipe_name =
      FormatObjectName(kCrashPipeNamePrefix, reporter_pid);
  if (pipe_name.empty())
    return;
  CrashHandler* handler = new CrashHandler(
      base::string16(), &OnlyFirstCrashFilter, &DumpDone, nullptr,
      CrashHandler::kHandleAll, 0, pipe_name, CrashKeys::Get()->key_set());
  if (!handler->IsOutOfProcess()) {
    LOG(WARNING) << "The crash reporter " << reporter_pid
                 << " did not register this process";
    delete handler;
    return;
  }
  // Failed checks end in breakpoints: they are crashes here.
  handler->set_report_debug_exceptions(true);
  g_crash_handler = handler;
  base::win::SetExceptionFilterHook(&HandleWindowProcException);
}

CrashHandler* GetInstalledCrashHandler() {
  return g_crash_handler.load();
}

void SetInstallerCrashKeys() {
  CrashKeys* keys = CrashKeys::Get();
  keys->SetValue(CrashKeys::kProcessTypeSlot, kInstallerProcessType);
  const base::string16 kronta_test = GetEnvironmentString(kKrontaTestVariable);
  if (!kronta_test.empty()) {
    keys->SetValueRange(CrashKeys::kKrontaTestFirstSlot,
                        CrashKeys::kKrontaTestLastSlot, kronta_test);
  }
  const base::string16 origin = GetEnvironmentString(kOriginVariable);
  if (!origin.empty())
    keys->SetValue(CrashKeys::kOriginSlot, origin.c_str());
  keys->SetValueRange(CrashKeys::kModulesFirstSlot, CrashKeys::kModulesLastSlot,
                      GetLoadedModulesString());
}

base::string16 GetLoadedModulesString() {
  base::string16 modules = DescribeModule(nullptr);
  for (const wchar_t* name : kListedModules)
    modules += DescribeModule(name);
  return modules;
}

int32_t HandleWindowProcException(EXCEPTION_POINTERS* exception_pointers) {
  CrashHandler* handler = g_crash_handler.load();
  if (handler)
    handler->WriteMinidumpForException(exception_pointers);
  ::TerminateProcess(::GetCurrentProcess(), kHookExitCode);
  return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace crash_reporter
}  // namespace vexlo
