#include "desktop/windows/crash_reporter/self_crash_reporter.h"

#include <windows.h>

#include <stdlib.h>
#include <wchar.h>

#include <string>

#include "base/command_line.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/registry.h"
#include "base/win/scoped_handle.h"
#include "desktop/common/product/flags.h"
#include "desktop/common/product/product_configuration.h"
#include "desktop/windows/crash_reporter/crash_log_files.h"
#include "desktop/windows/crash_reporter/crash_metadata.h"
#include "desktop/windows/crash_reporter/crash_records.h"
#include "desktop/windows/crash_reporter/crash_upload.h"
#include "desktop/windows/crash_reporter/frozen_process_log.h"
#include "desktop/windows/crash_reporter/minidump_writer.h"

namespace vexlo {
namespace crash_reporter {

namespace {

constexpr char kParentIdSwitch[] = "crash-reporter-parent-id";
constexpr char kExceptionInfoSwitch[] = "crash-reporter-exception-info";
constexpr char kMinidumpSwitch[] = "crash-reporter-minidump";
constexpr wchar_t kExceptionEventPrefix[] = L"VexloCrashReporterException";
constexpr wchar_t kLastCrashValue[] = L"Last crash in crash reporter";
constexpr uint64_t kFileTimeUnitsPerDay = 864000000000;
constexpr DWORD kRelaunchWaitMs = 20000;
// The further wait for a fresh copy that is still running.
constexpr DWORD kRelaunchLongWaitMs = 70000;
constexpr DWORD kInvalidParameterCode = 0xC000000D;
constexpr DWORD kPureCallCode = 0xC0000025;
// The reporter's own crashes exit with this code after being reported.
constexpr int kReportedCrashExitCode = 1;

using SetInvalidParameterHandlerFunction =
    _invalid_parameter_handler(__cdecl*)(_invalid_parameter_handler);
using SetPureCallHandlerFunction =
    _purecall_handler(__cdecl*)(_purecall_handler);

// What the fresh copy reads out of this process.
SelfCrashRecord g_record;
// The made-up crash of a runtime-library report.
EXCEPTION_RECORD g_made_up_exception;
CONTEXT g_made_up_context;
EXCEPTION_POINTERS g_made_up_pointers;

LONG g_crashing = 0;
LONG g_handlers_installed = 0;
LONG g_relaunch_prepared = 0;
wchar_t* g_relaunch_command_line = nullptr;
HANDLE g_exception_event = nullptr;

// Only the first crashing thread goes on; later ones stop for good.
void ClaimCrash() {
  if (::InterlockedCompareExchange(&g_crashing, 1, 0) != 0) {
    for (;;)
      ::SuspendThread(::GetCurrentThread());
  }
}

bool IsRelaunchPrepared() {
  return ::InterlockedCompareExchange(&g_relaunch_prepared, 2, 2) == 2;
}

// Starts the fresh copy and gives it the time to read this process.
void Relaunch() {
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!::CreateProcessW(nullptr, g_relaunch_command_line, nullptr, nullptr,
                        FALSE, 0, nullptr, nullptr, &startup, &process)) {
    return;
  }
  ::CloseHandle(process.hThread);
  if (g_exception_event) {
    // A copy still at work after the usual wait is given more: ending under
    // it loses the report (writing the log took 20-22 s on a loaded
    // machine). One that ends without a word is waited for no longer.
    const HANDLE waits[] = {g_exception_event, process.hProcess};
    if (::WaitForMultipleObjects(2, waits, FALSE, kRelaunchWaitMs) ==
        WAIT_TIMEOUT) {
      ::WaitForMultipleObjects(2, waits, FALSE, kRelaunchLongWaitMs);
    }
  } else {
    ::Sleep(kRelaunchWaitMs);
  }
  ::CloseHandle(process.hProcess);
}

void FillRecord(uint32_t kind, EXCEPTION_POINTERS* pointers) {
  g_record.thread_id = ::GetCurrentThreadId();
  g_record.exception_pointers = reinterpret_cast<uintptr_t>(pointers);
  g_record.assertion.type = kind;
}

LONG WINAPI OnSelfCrash(EXCEPTION_POINTERS* pointers) {
  ClaimCrash();
  if (IsRelaunchPrepared()) {
    FillRecord(AssertionRecord::kNone, pointers);
    Relaunch();
  }
  return EXCEPTION_EXECUTE_HANDLER;
}

void ReportMadeUpCrash(DWORD code, uint32_t kind) {
  g_made_up_exception.ExceptionCode = code;
  ::RtlCaptureContext(&g_made_up_context);
  g_made_up_exception.ExceptionAddress =
      reinterpret_cast<void*>(g_made_up_context.Rip);
  g_made_up_pointers = {&g_made_up_exception, &g_made_up_context};
  FillRecord(kind, &g_made_up_pointers);
  Relaunch();
}

void CopyText(const wchar_t* text, wchar_t* field) {
  wcsncpy(field, text ? text : L"", AssertionRecord::kTextLength - 1);
  field[AssertionRecord::kTextLength - 1] = L'\0';
}

void __cdecl OnSelfInvalidParameter(const wchar_t* expression,
                                    const wchar_t* function,
                                    const wchar_t* file,
                                    unsigned int line,
                                    uintptr_t) {
  ClaimCrash();
  if (IsRelaunchPrepared()) {
    CopyText(expression, g_record.assertion.expression);
    CopyText(function, g_record.assertion.function);
    CopyText(file, g_record.assertion.file);
    g_record.assertion.line = line;
    ReportMadeUpCrash(kInvalidParameterCode,
                      AssertionRecord::kInvalidParameter);
  }
  exit(kReportedCrashExitCode);
}

void __cdecl OnSelfPureCall() {
  ClaimCrash();
  if (IsRelaunchPrepared())
    ReportMadeUpCrash(kPureCallCode, AssertionRecord::kPureVirtualCall);
  exit(kReportedCrashExitCode);
}

base::string16 CompanyKeyPath() {
  return L"Software\\" +
         base::UTF8ToUTF16(ProductConfiguration::GetCompanyName());
}

bool OpenCompanyKey(base::win::RegKey* key) {
  const LONG result = key->Create(HKEY_CURRENT_USER, CompanyKeyPath().c_str(),
                                  KEY_QUERY_VALUE | KEY_SET_VALUE);
  if (result == ERROR_SUCCESS)
    return true;
  LOG(ERROR) << "Opening the company key failed: " << result;
  return false;
}

bool WriteLastCrash(base::win::RegKey* key, uint64_t time) {
  return key->WriteValueRaw(kLastCrashValue, &time, sizeof(time), REG_QWORD) ==
         ERROR_SUCCESS;
}

uint64_t Now() {
  FILETIME now = {};
  ::GetSystemTimeAsFileTime(&now);
  return (uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
}

void ReleaseCrashedReporter(uint32_t reporter_id) {
  const base::string16 name =
      kExceptionEventPrefix + base::UintToString16(reporter_id);
  base::win::ScopedHandle event(
      ::CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
  if (!event.IsValid() || !::SetEvent(event.Get()))
    PLOG(ERROR) << "Releasing the crashed reporter failed";
}

// Writes the crash's files into the temporary folder; each path stays
// empty when its file could not be written.
void WriteReporterCrashFiles(uint32_t reporter_id,
                             uint64_t record_address,
                             bool short_log,
                             base::FilePath* log_path,
                             base::FilePath* dump_path) {
  base::FilePath folder;
  base::GetTempDir(&folder);
  const uint32_t sequence = TakeCrashSequenceNumber();
  *log_path = folder.AppendASCII(GetCrashLogFileName(sequence));
  bool written = false;
  if (short_log) {
    written = WriteShortCrashLog(reporter_id, record_address, *log_path,
                                 kReporterMinidumpSizeLimit);
  } else {
    CrashReportData data;
    SetReporterCrashReportData(&data);
    written = WriteFrozenProcessLog(
        reporter_id,
        record_address + offsetof(SelfCrashRecord, exception_pointers),
        record_address + offsetof(SelfCrashRecord, thread_id), {},
        CrashKeySet(), data, false, *log_path);
  }
  if (!written)
    *log_path = base::FilePath();
  if (Flags::IsAlternativeCrashLoggingEnabled()) {
    *dump_path = folder.AppendASCII(GetCrashDumpFileName(sequence));
    if (!WriteReporterMinidump(reporter_id, record_address, *dump_path,
                               kReporterMinidumpSizeLimit)) {
      *dump_path = base::FilePath();
    }
  }
}

// Sends and deletes the files; true when one of them reached the server.
bool UploadReporterCrashFiles(const base::FilePath& log_path,
                              const base::FilePath& dump_path,
                              bool short_log) {
  InitializeCrashUpload();
  bool uploaded = false;
  if (!log_path.empty()) {
    UploadFields fields;
    GetReporterCrashLogUploadFields(&fields);
    uploaded = UploadCrashLog(log_path, fields, !short_log);
    base::DeleteFile(log_path, false);
  }
  if (!dump_path.empty()) {
    UploadFields fields;
    GetReporterMinidumpUploadFields(&fields);
    uploaded = UploadMinidump(dump_path, fields) || uploaded;
    base::DeleteFile(dump_path, false);
  }
  return uploaded;
}

}  // namespace

void InstallSelfCrashHandlers() {
  if (::InterlockedExchange(&g_handlers_installed, 1) != 0)
    return;
  ::SetUnhandledExceptionFilter(&OnSelfCrash);
  // Looked up: not every runtime library has them (Wine's has neither).
  const HMODULE msvcrt = ::GetModuleHandleW(L"msvcrt.dll");
  if (!msvcrt)
    return;
  const auto set_invalid_parameter =
      reinterpret_cast<SetInvalidParameterHandlerFunction>(
          reinterpret_cast<void*>(
              ::GetProcAddress(msvcrt, "_set_invalid_parameter_handler")));
  const auto set_pure_call =
      reinterpret_cast<SetPureCallHandlerFunction>(reinterpret_cast<void*>(
          ::GetProcAddress(msvcrt, "_set_purecall_handler")));
  if (set_invalid_parameter)
    set_invalid_parameter(&OnSelfInvalidParameter);
  if (set_pure_call)
    set_pure_call(&OnSelfPureCall);
}

void PrepareSelfCrashRelaunch(bool with_minidump) {
  if (::InterlockedCompareExchange(&g_relaunch_prepared, 1, 0) != 0)
    return;
  wchar_t executable[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(nullptr, executable, MAX_PATH);
  const uint32_t own_id = ::GetCurrentProcessId();
  g_exception_event = ::CreateEventW(
      nullptr, TRUE, FALSE,
      (kExceptionEventPrefix + base::UintToString16(own_id)).c_str());
  if (length == 0 || length >= MAX_PATH || !g_exception_event) {
    PLOG(ERROR) << "Preparing the crash reporter's relaunch failed";
    return;
  }
  base::CommandLine command_line{base::FilePath(executable)};
  command_line.AppendSwitchASCII(
      kExceptionInfoSwitch,
      base::Uint64ToString(reinterpret_cast<uintptr_t>(&g_record)));
  command_line.AppendSwitchASCII(kParentIdSwitch, base::UintToString(own_id));
  if (with_minidump)
    command_line.AppendSwitch(kMinidumpSwitch);
  // Kept for the life of the process: the crash handlers use it.
  const base::string16 text = command_line.GetCommandLineString(false);
  g_relaunch_command_line = new wchar_t[text.size() + 1];
  wcscpy(g_relaunch_command_line, text.c_str());
  ::InterlockedExchange(&g_relaunch_prepared, 2);
}

bool IsReporterCrashReportDue(uint64_t now) {
  base::win::RegKey key;
  if (!OpenCompanyKey(&key))
    return false;
  uint64_t last = 0;
  DWORD size = sizeof(last);
  DWORD type = 0;
  const LONG result = key.ReadValueRaw(kLastCrashValue, &last, &size, &type);
  if (result == ERROR_FILE_NOT_FOUND) {
    if (!WriteLastCrash(&key, 0))
      return false;
  } else if (result != ERROR_SUCCESS || type != REG_QWORD ||
             size != sizeof(last)) {
    return false;
  }
  return now >= last &&
         (now - last) / kFileTimeUnitsPerDay >= kReporterCrashIntervalDays;
}

bool RecordReporterCrashReport(uint64_t now) {
  base::win::RegKey key;
  return OpenCompanyKey(&key) && WriteLastCrash(&key, now);
}

void ReportCrashReporterCrash() {
  const base::CommandLine& command_line =
      *base::CommandLine::ForCurrentProcess();
  unsigned reporter_id = 0;
  if (!base::StringToUint(command_line.GetSwitchValueASCII(kParentIdSwitch),
                          &reporter_id)) {
    return;
  }
  uint64_t record_address = 0;
  if (!base::StringToUint64(
          command_line.GetSwitchValueASCII(kExceptionInfoSwitch),
          &record_address) ||
      !IsReporterCrashReportDue(Now())) {
    ReleaseCrashedReporter(reporter_id);
    return;
  }
  const bool short_log = command_line.HasSwitch(kMinidumpSwitch);
  if (!short_log) {
    PrepareSelfCrashRelaunch(true);
    InitializeCrashLogFolder();
    Flags::Initialize(GetBrowserPreferencesFilePath());
  }
  base::FilePath log_path;
  base::FilePath dump_path;
  WriteReporterCrashFiles(reporter_id, record_address, short_log, &log_path,
                          &dump_path);
  ReleaseCrashedReporter(reporter_id);
  if ((!log_path.empty() || !dump_path.empty()) &&
      UploadReporterCrashFiles(log_path, dump_path, short_log)) {
    RecordReporterCrashReport(Now());
  }
}

}  // namespace crash_reporter
}  // namespace vexlo
