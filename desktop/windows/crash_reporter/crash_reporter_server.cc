#include "desktop/windows/crash_reporter/crash_reporter_server.h"

#include <windows.h>

#include <sddl.h>
#include <stdio.h>

#include <memory>
#include <string>

#include "base/command_line.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/scoped_handle.h"
#include "base/win/windows_version.h"
#include "desktop/common/product/flags.h"
#include "desktop/common/product/product_configuration.h"
#include "desktop/windows/crash_reporter/crash_client.h"
#include "desktop/windows/crash_reporter/crash_counter.h"
#include "desktop/windows/crash_reporter/crash_log_files.h"
#include "desktop/windows/crash_reporter/crash_logger.h"
#include "desktop/windows/crash_reporter/crash_metadata.h"
#include "desktop/windows/crash_reporter/crash_pipe_server.h"
#include "desktop/windows/crash_reporter/crash_records.h"
#include "desktop/windows/crash_reporter/crash_upload.h"
#include "desktop/windows/crash_reporter/frozen_process_log.h"
#include "desktop/windows/crash_reporter/minidump_writer.h"
#include "desktop/windows/crash_reporter/module_info_impl.h"
#include "desktop/windows/crash_reporter/pending_work_gate.h"
#include "desktop/windows/crash_reporter/self_crash_reporter.h"

namespace vexlo {
namespace crash_reporter {

namespace {

constexpr char kParentIdSwitch[] = "crash-reporter-parent-id";
constexpr char kKeepLogsVariableSuffix[] = "_CRASH_KEEP_LOGS";
// A low mandatory label without write-up: low-integrity processes may
// connect to the pipe.
constexpr wchar_t kLowIntegrityPipeSecurity[] = L"S:(ML;;NW;;;S-1-16-4096)";

// The pipe's security descriptor, freed with the object.
class PipeSecurity {
 public:
  PipeSecurity() {
    if (base::win::GetVersion() < base::win::VERSION_VISTA)
      return;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(
            kLowIntegrityPipeSecurity, SDDL_REVISION_1, &descriptor_,
            nullptr)) {
      PLOG(WARNING) << "Building the crash pipe's security failed";
      return;
    }
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    ACL* sacl = nullptr;
    if (::GetSecurityDescriptorSacl(descriptor_, &present, &sacl, &defaulted) &&
        present) {
      attributes_.nLength = sizeof(attributes_);
      attributes_.lpSecurityDescriptor = descriptor_;
      attributes_.bInheritHandle = FALSE;
      usable_ = true;
    }
  }
  PipeSecurity(const PipeSecurity&) = delete;
  PipeSecurity& operator=(const PipeSecurity&) = delete;
  ~PipeSecurity() {
    if (descriptor_)
      ::LocalFree(descriptor_);
  }

  // Null for the default security.
  SECURITY_ATTRIBUTES* attributes() { return usable_ ? &attributes_ : nullptr; }

 private:
  PSECURITY_DESCRIPTOR descriptor_ = nullptr;
  SECURITY_ATTRIBUTES attributes_ = {};
  bool usable_ = false;
};

bool ReadParentId(uint32_t* parent_id) {
  unsigned value = 0;
  if (!base::StringToUint(
          base::CommandLine::ForCurrentProcess()->GetSwitchValueASCII(
              kParentIdSwitch),
          &value)) {
    LOG(WARNING) << "The crash reporter has no valid parent id";
    return false;
  }
  *parent_id = value;
  return true;
}

bool SetUpReporter() {
  InitializeReporterLogging();
  if (!InitializeCrashLogFolder()) {
    LOG(WARNING) << "The crash reporter has no crash-log folder";
    return false;
  }
  Flags::Initialize(GetBrowserPreferencesFilePath());
  if (!Flags::IsMetricsReportingEnabled()) {
    LOG(INFO) << "Crash reporting is disabled";
    return false;
  }
  InitializeCrashUpload();
  return PendingWorkGate::Get()->IsValid();
}

void DeleteUnlessKept(const base::FilePath& path, bool keep_logs) {
  if (!keep_logs)
    base::DeleteFile(path, false);
}

// Records which upload the crash server named for the crash with |keys|.
void WriteCrashIdRecord(uint32_t sequence,
                        const CrashKeySet& keys,
                        const base::string16& location) {
  base::string16 guid;
  GetCrashKeyValue(keys, L"crash_guid", &guid);
  if (guid.empty() && IsCrashLogFolderFromEnvironment())
    guid = L"0";
  if (guid.empty() || GetCrashIdRecordFilePath().empty())
    return;
  const base::FilePath path = GetCrashIdRecordPath(sequence);
  FILE* file = base::OpenFile(path, "wt");
  if (!file) {
    PLOG(ERROR) << "Opening " << path.AsUTF8() << " failed";
    return;
  }
  fprintf(file, "%s=%s", base::WideToUTF8(guid).c_str(),
          base::WideToUTF8(location).c_str());
  fclose(file);
}

// Writes the crash's files; the dump path stays empty without a dump.
bool WriteCrashFiles(CrashClient* client,
                     const CrashKeySet& keys,
                     uint32_t sequence,
                     base::FilePath* log_path,
                     base::FilePath* dump_path) {
  *log_path = GetCrashLogFolder().AppendASCII(GetCrashLogFileName(sequence));
  base::string16 modules;
  GetJoinedCrashKeyValue(keys, L"modules", &modules);
  CrashReportData data;
  CollectCrashKeyMetadata(keys, &data);
  if (!WriteFrozenProcessLog(
          client->process_id(), client->exception_pointers_address(),
          client->thread_id_address(), ParseModuleList(modules), keys, data,
          true, *log_path)) {
    LOG(ERROR) << "Writing the crash log failed";
    return false;
  }
  if (Flags::IsAlternativeCrashLoggingEnabled()) {
    *dump_path =
        GetCrashLogFolder().AppendASCII(GetCrashDumpFileName(sequence));
    if (!WriteClientMinidump(client->process_id(), client->thread_id_address(),
                             client->exception_pointers_address(),
                             client->assertion_address(), *dump_path,
                             kClientMinidumpSizeLimit)) {
      *dump_path = base::FilePath();
    }
  }
  return true;
}

void ReportCrash(CrashClient* client, CrashCounter* counter) {
  const uint32_t sequence = TakeCrashSequenceNumber();
  const CrashKeySet keys = client->GetCrashKeys();
  base::FilePath log_path;
  base::FilePath dump_path;
  {
    CrashLogger logger;
    if (!WriteCrashFiles(client, keys, sequence, &log_path, &dump_path))
      return;
    AppendCrashLoggerOutput(&logger, base::WideToUTF8(log_path.value()));
  }

  base::string16 active_url;
  GetJoinedCrashKeyValue(keys, L"active_url", &active_url);
  base::string16 crash_id;
  base::string16 location;
  const CrashUrlQueryResult answer =
      QueryCrashUrl(active_url, GetCrashOrigin(keys), &crash_id, &location,
                    kCrashUrlQueryTimeoutMs);
  if (answer == kCrashUrlRefused) {
    DeleteUnlessKept(log_path, counter->keep_logs());
  } else {
    UploadFields fields;
    GetCrashLogUploadFields(keys, &fields);
    AddStacktraceId(crash_id, &fields);
    if (!UploadCrashLogAsync(log_path, fields, !counter->keep_logs()))
      location.clear();
  }
  if (!dump_path.empty()) {
    UploadFields fields;
    GetMinidumpUploadFields(keys, &fields);
    UploadMinidumpAsync(dump_path, fields, !counter->keep_logs());
  }
  if (!location.empty())
    WriteCrashIdRecord(sequence, keys, location);
}

}  // namespace

bool IsKeepLogsRequested() {
  const base::string16 name = base::UTF8ToUTF16(
      base::ToUpperASCII(ProductConfiguration::GetProductName()) +
      kKeepLogsVariableSuffix);
  wchar_t value[4] = {};
  const DWORD length = ::GetEnvironmentVariableW(name.c_str(), value, 4);
  if (length == 0 || length >= 4)
    return false;
  const base::string16 text(value, length);
  return text == L"1" || base::ToUpperASCII(base::WideToUTF8(text)) == "YES";
}

void OnCrashDumpRequest(void* context,
                        CrashClient* client,
                        const base::FilePath*) {
  CrashCounter* counter = static_cast<CrashCounter*>(context);
  PendingWorkGate* gate = PendingWorkGate::Get();
  gate->Enter();
  counter->Add(1, true);
  ReportCrash(client, counter);
  gate->Leave();
}

void RunCrashReporter() {
  InstallSelfCrashHandlers();
  if (base::CommandLine::ForCurrentProcess()->HasSwitch(
          "crash-reporter-exception-info")) {
    ReportCrashReporterCrash();
  } else {
    RunCrashReporterServer();
  }
}

// Start-up failures are warnings: the watched process goes on without a
// reporter, as it does where none can be started.
int RunCrashReporterServer() {
  PrepareSelfCrashRelaunch(false);
  uint32_t parent_id = 0;
  if (!ReadParentId(&parent_id) || !SetUpReporter())
    return -1;
  base::win::ScopedHandle parent(::OpenProcess(SYNCHRONIZE, FALSE, parent_id));
  if (!parent.IsValid() ||
      !PendingWorkGate::Get()->HoldWhileRunning(parent.Get())) {
    PLOG(WARNING) << "Watching process " << parent_id << " failed";
    return -1;
  }
  base::win::ScopedHandle init_event(::OpenEventW(
      EVENT_MODIFY_STATE, FALSE,
      (kCrashReporterInitEventPrefix + base::UintToString16(parent_id))
          .c_str()));
  if (!init_event.IsValid()) {
    PLOG(WARNING) << "Opening the crash reporter's init event failed";
    return -1;
  }
  const base::string16 pipe_name =
      kCrashPipeNamePrefix + base::UintToString16(::GetCurrentProcessId());
  if (!base::SetCurrentDirectory(GetCrashLogFolder())) {
    LOG(WARNING) << "Entering the crash-log folder failed";
    return -1;
  }
  PipeSecurity security;
  std::unique_ptr<CrashCounter> counter(
      new CrashCounter(GetCrashCountFilePath(), IsKeepLogsRequested()));
  std::unique_ptr<CrashPipeServer> server(new CrashPipeServer(
      pipe_name, security.attributes(), nullptr, nullptr, &OnCrashDumpRequest,
      counter.get(), nullptr, nullptr, nullptr, nullptr, false, nullptr));
  if (!server->Start()) {
    LOG(WARNING) << "Starting the crash pipe server failed";
    return -1;
  }
  ::SetEvent(init_event.Get());
  init_event.Close();
  PendingWorkGate::Get()->Wait(INFINITE);
  server.reset();
  counter.reset();
  return 0;
}

}  // namespace crash_reporter
}  // namespace vexlo
