#include "desktop/windows/crash_reporter/crash_pipe_client.h"

#include <string.h>

#include "base/logging.h"

namespace vexlo {
namespace crash_reporter {

namespace {

constexpr DWORD kPipeAccess =
    FILE_READ_DATA | FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES;
// The server may only identify the client, never act as it.
constexpr DWORD kPipeFlags = SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;
constexpr DWORD kPipeBusyWaitMs = 2000;
constexpr int kConnectAttempts = 2;

HANDLE ToHandle(uint64_t value) {
  return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(value));
}

uint64_t AddressOf(const void* field) {
  return reinterpret_cast<uintptr_t>(field);
}

}  // namespace

CrashPipeClient::CrashPipeClient(const base::string16& pipe_name,
                                 uint32_t dump_type,
                                 const CrashKeySet& crash_keys)
    : pipe_name_(pipe_name), dump_type_(dump_type), crash_keys_(crash_keys) {}

CrashPipeClient::CrashPipeClient(HANDLE pipe,
                                 uint32_t dump_type,
                                 const CrashKeySet& crash_keys)
    : given_pipe_(pipe), dump_type_(dump_type), crash_keys_(crash_keys) {}

CrashPipeClient::~CrashPipeClient() = default;

HANDLE CrashPipeClient::Connect() {
  base::win::ScopedHandle pipe(given_pipe_.Take());
  for (int attempt = 0;
       !pipe.IsValid() && !pipe_name_.empty() && attempt < kConnectAttempts;
       ++attempt) {
    pipe.Set(::CreateFileW(pipe_name_.c_str(), kPipeAccess, 0, nullptr,
                           OPEN_EXISTING, kPipeFlags, nullptr));
    if (pipe.IsValid() || ::GetLastError() != ERROR_PIPE_BUSY ||
        !::WaitNamedPipeW(pipe_name_.c_str(), kPipeBusyWaitMs)) {
      break;
    }
  }
  if (!pipe.IsValid())
    return nullptr;
  DWORD mode = PIPE_READMODE_MESSAGE;
  if (!::SetNamedPipeHandleState(pipe.Get(), &mode, nullptr, nullptr))
    return nullptr;
  return pipe.Take();
}

CrashPipeMessage CrashPipeClient::MakeRegistrationRequest() const {
  CrashPipeMessage request = {};
  request.tag = CrashPipeMessage::kRegistrationRequest;
  request.id = ::GetCurrentProcessId();
  request.dump_type = dump_type_;
  request.thread_id_address = AddressOf(&crash_thread_id_);
  request.exception_pointers_address = AddressOf(&exception_pointers_);
  request.assertion_address = AddressOf(&assertion_);
  request.crash_keys_address = AddressOf(crash_keys_.entries);
  request.crash_key_count = crash_keys_.count;
  return request;
}

bool CrashPipeClient::Register() {
  if (IsRegistered())
    return true;
  base::win::ScopedHandle pipe(Connect());
  if (!pipe.IsValid())
    return false;
  CrashPipeMessage request = MakeRegistrationRequest();
  CrashPipeMessage reply = {};
  DWORD read = 0;
  if (!::TransactNamedPipe(pipe.Get(), &request, sizeof(request), &reply,
                           sizeof(reply), &read, nullptr) ||
      read != sizeof(reply) ||
      reply.tag != CrashPipeMessage::kRegistrationReply || reply.id == 0 ||
      !reply.dump_request_event || !reply.dump_done_event ||
      !reply.server_alive_mutex) {
    return false;
  }
  // The handles are this process's now, whatever the acknowledgement does.
  base::win::ScopedHandle dump_request_event(
      ToHandle(reply.dump_request_event));
  base::win::ScopedHandle dump_done_event(ToHandle(reply.dump_done_event));
  base::win::ScopedHandle server_alive_mutex(
      ToHandle(reply.server_alive_mutex));
  CrashPipeMessage ack = {};
  ack.tag = CrashPipeMessage::kRegistrationAck;
  DWORD written = 0;
  if (!::WriteFile(pipe.Get(), &ack, sizeof(ack), &written, nullptr) ||
      written != sizeof(ack)) {
    return false;
  }
  dump_request_event_.Set(dump_request_event.Take());
  dump_done_event_.Set(dump_done_event.Take());
  server_alive_mutex_.Set(server_alive_mutex.Take());
  server_process_id_ = reply.id;
  return true;
}

bool CrashPipeClient::RequestDump(EXCEPTION_POINTERS* exception_pointers,
                                  const AssertionRecord* assertion) {
  if (!IsRegistered())
    return false;
  exception_pointers_ = exception_pointers;
  crash_thread_id_ = ::GetCurrentThreadId();
  if (assertion)
    assertion_ = *assertion;
  else
    memset(&assertion_, 0, sizeof(assertion_));
  ::ResetEvent(dump_done_event_.Get());
  ::SetEvent(dump_request_event_.Get());
  const HANDLE waits[] = {dump_done_event_.Get(), server_alive_mutex_.Get()};
  return ::WaitForMultipleObjects(2, waits, FALSE, kDumpTimeoutMs) ==
         WAIT_OBJECT_0;
}

}  // namespace crash_reporter
}  // namespace vexlo
