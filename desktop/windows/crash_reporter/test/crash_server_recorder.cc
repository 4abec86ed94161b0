#include "desktop/windows/crash_reporter/test/crash_server_recorder.h"

#include "base/strings/string_number_conversions.h"
#include "desktop/windows/crash_reporter/crash_client.h"

namespace vexlo {
namespace crash_reporter {

namespace {

DWORD ReadExceptionCode(const CrashClient& client) {
  uint64_t pointers_address = 0;
  EXCEPTION_POINTERS pointers = {};
  EXCEPTION_RECORD record = {};
  if (!client.ReadMemory(client.exception_pointers_address(), &pointers_address,
                         sizeof(pointers_address)) ||
      !client.ReadMemory(pointers_address, &pointers, sizeof(pointers)) ||
      !client.ReadMemory(reinterpret_cast<uintptr_t>(pointers.ExceptionRecord),
                         &record, sizeof(record))) {
    return 0;
  }
  return record.ExceptionCode;
}

}  // namespace

std::wstring JoinCrashKey(const CrashKeyEntry* entries,
                          size_t count,
                          const wchar_t* name) {
  std::wstring value;
  for (size_t i = 0; i < count; ++i) {
    if (std::wstring(entries[i].name) == name)
      value += entries[i].value;
  }
  return value;
}

// static
std::wstring CrashServerRecorder::OwnPipeName() {
  return kCrashPipeNamePrefix + base::UintToString16(::GetCurrentProcessId());
}

CrashServerRecorder::CrashServerRecorder(const std::wstring& pipe_name,
                                         const base::FilePath* dump_folder)
    : pipe_name_(pipe_name),
      write_dumps_(dump_folder != nullptr),
      dump_folder_(dump_folder ? *dump_folder : base::FilePath()) {}

CrashServerRecorder::~CrashServerRecorder() {
  Stop();
}

bool CrashServerRecorder::Start() {
  server_ = std::make_unique<CrashPipeServer>(
      pipe_name_, nullptr, &OnConnected, this, &OnDumpRequest, this, &OnExited,
      this, &OnUpload, this, write_dumps_,
      write_dumps_ ? &dump_folder_ : nullptr);
  server_->set_peer_timeout_for_testing(peer_timeout_ms_);
  return server_->Start();
}

void CrashServerRecorder::Stop() {
  server_.reset();
}

// static
void CrashServerRecorder::OnConnected(void* context, CrashClient* client) {
  CrashServerRecorder* recorder = static_cast<CrashServerRecorder*>(context);
  base::AutoLock lock(recorder->lock_);
  recorder->connected_.push_back(client->process_id());
}

// static
void CrashServerRecorder::OnDumpRequest(void* context,
                                        CrashClient* client,
                                        const base::FilePath* dump_path) {
  CrashServerRecorder* recorder = static_cast<CrashServerRecorder*>(context);
  RecordedDump dump;
  dump.process_id = client->process_id();
  client->ReadMemory(client->thread_id_address(), &dump.thread_id,
                     sizeof(dump.thread_id));
  dump.exception_code = ReadExceptionCode(*client);
  client->ReadMemory(client->assertion_address(), &dump.assertion,
                     sizeof(dump.assertion));
  const CrashKeySet keys = client->GetCrashKeys();
  dump.key_count = keys.count;
  for (size_t i = 0; i < keys.count; ++i) {
    dump.keys[keys.entries[i].name] =
        JoinCrashKey(keys.entries, keys.count, keys.entries[i].name);
  }
  dump.dump_path_given = dump_path != nullptr;
  if (dump_path)
    dump.dump_path = *dump_path;
  base::AutoLock lock(recorder->lock_);
  recorder->dumps_.push_back(dump);
}

// static
void CrashServerRecorder::OnExited(void* context, CrashClient* client) {
  CrashServerRecorder* recorder = static_cast<CrashServerRecorder*>(context);
  base::AutoLock lock(recorder->lock_);
  recorder->exited_.push_back(client->process_id());
}

// static
void CrashServerRecorder::OnUpload(void* context, uint32_t crash_id) {
  CrashServerRecorder* recorder = static_cast<CrashServerRecorder*>(context);
  base::AutoLock lock(recorder->lock_);
  recorder->uploads_.push_back(crash_id);
}

}  // namespace crash_reporter
}  // namespace vexlo
