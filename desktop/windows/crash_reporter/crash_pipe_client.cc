#include "desktop/windows/crash_reporter/crash_pipe_client.h"

#include <string.h>

#include <string>

#include "base/logging.h"
#include "base/strings/string_number_conversions.h"
#include "base/win/handle_verifier.h"

namespace vexlo {
namespace crash_reporter {

namespace {

constexpr DWORD kPipeAccess =
    FILE_READ_DATA | FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES;
// Overlapped, so that every wait on the server has a bound; the server may
// only identify the client, never act as it.
constexpr DWORD kPipeFlags =
    FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;
// Together longer than the server waits for a stalled peer: a client waits
// out those that hold every instance.
constexpr DWORD kPipeBusyWaitMs = 2000;
constexpr int kConnectAttempts = 4;

constexpr int kObjectBasicInformation = 0;

using NtQueryObjectFunction = LONG(NTAPI*)(HANDLE handle,
                                           int information_class,
                                           void* information,
                                           ULONG information_length,
                                           ULONG* return_length);

// The start of what NtQueryObject returns for a handle's basic facts.
struct ObjectBasicInformation {
  ULONG attributes;
  ACCESS_MASK granted_access;
  ULONG handle_count;
  ULONG pointer_count;
  ULONG reserved[10];
};

HANDLE ToHandle(uint64_t value) {
  return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(value));
}

uint64_t AddressOf(const void* field) {
  return reinterpret_cast<uintptr_t>(field);
}

// The reporter's process id that a pipe name of its form carries; 0 for
// any other name.
uint32_t ReporterIdFromPipeName(const base::string16& pipe_name) {
  const base::string16 prefix = kCrashPipeNamePrefix;
  if (pipe_name.size() <= prefix.size() ||
      pipe_name.compare(0, prefix.size(), prefix) != 0) {
    return 0;
  }
  const base::string16 digits = pipe_name.substr(prefix.size());
  unsigned id = 0;
  if (digits[0] < L'0' || digits[0] > L'9' ||
      !base::String16ToUint(digits, &id)) {
    return 0;
  }
  return id;
}

// The access |handle| grants; false when it is no handle of this process.
bool GetGrantedAccess(HANDLE handle, DWORD* access) {
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  FARPROC query_address =
      ntdll ? ::GetProcAddress(ntdll, "NtQueryObject") : nullptr;
  if (!query_address)
    return false;
  auto query_object = reinterpret_cast<NtQueryObjectFunction>(
      reinterpret_cast<void*>(query_address));
  ObjectBasicInformation information = {};
  if (query_object(handle, kObjectBasicInformation, &information,
                   sizeof(information), nullptr) != 0) {
    return false;
  }
  *access = information.granted_access;
  return true;
}

// True when |value| is a handle of this process to an object of |type|
// granting exactly |access|: what the server's duplication makes. The
// process's own handles are opened with other rights.
bool IsDuplicatedHandle(uint64_t value, const char* type, DWORD access) {
  const HANDLE handle = ToHandle(value);
  std::string type_name;
  DWORD granted = 0;
  return value != 0 && handle != INVALID_HANDLE_VALUE &&
         base::win::GetHandleTypeName(handle, &type_name) == 0 &&
         type_name == type && GetGrantedAccess(handle, &granted) &&
         granted == access;
}

// True when the three handles of |reply| are distinct and each is what the
// server's duplication put into this process.
bool HasDuplicatedHandles(const CrashPipeMessage& reply) {
  if (reply.dump_request_event == reply.dump_done_event ||
      reply.dump_request_event == reply.server_alive_mutex ||
      reply.dump_done_event == reply.server_alive_mutex) {
    return false;
  }
  return IsDuplicatedHandle(reply.dump_request_event, "Event",
                            kDumpRequestEventAccess) &&
         IsDuplicatedHandle(reply.dump_done_event, "Event",
                            kDumpDoneEventAccess) &&
         IsDuplicatedHandle(reply.server_alive_mutex, "Mutant",
                            kServerAliveMutexAccess);
}

// Waits, at most |timeout_ms|, for the overlapped operation on |pipe| whose
// start returned |started|. On time-out the operation is cancelled, and
// waited for, since it writes into its caller's buffers.
bool FinishOverlapped(HANDLE pipe,
                      OVERLAPPED* overlapped,
                      BOOL started,
                      DWORD timeout_ms,
                      DWORD* bytes) {
  if (!started && ::GetLastError() != ERROR_IO_PENDING)
    return false;
  if (::WaitForSingleObject(overlapped->hEvent, timeout_ms) != WAIT_OBJECT_0) {
    LOG(WARNING) << "The crash pipe's server did not answer within "
                 << timeout_ms << " ms";
    ::CancelIoEx(pipe, overlapped);
    ::GetOverlappedResult(pipe, overlapped, bytes, TRUE);
    return false;
  }
  return ::GetOverlappedResult(pipe, overlapped, bytes, FALSE) != FALSE;
}

// Sends |request| and reads the one-record answer, waiting at most
// |timeout_ms|.
bool Transact(HANDLE pipe,
              CrashPipeMessage* request,
              CrashPipeMessage* reply,
              DWORD timeout_ms) {
  base::win::ScopedHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!event.IsValid())
    return false;
  OVERLAPPED overlapped = {};
  overlapped.hEvent = event.Get();
  DWORD read = 0;
  const BOOL started =
      ::TransactNamedPipe(pipe, request, sizeof(*request), reply,
                          sizeof(*reply), nullptr, &overlapped);
  return FinishOverlapped(pipe, &overlapped, started, timeout_ms, &read) &&
         read == sizeof(*reply);
}

// Writes |message|, waiting at most |timeout_ms| for it to be taken.
bool Send(HANDLE pipe, const CrashPipeMessage& message, DWORD timeout_ms) {
  base::win::ScopedHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!event.IsValid())
    return false;
  OVERLAPPED overlapped = {};
  overlapped.hEvent = event.Get();
  DWORD written = 0;
  const BOOL started =
      ::WriteFile(pipe, &message, sizeof(message), nullptr, &overlapped);
  return FinishOverlapped(pipe, &overlapped, started, timeout_ms, &written) &&
         written == sizeof(message);
}

}  // namespace

CrashPipeClient::CrashPipeClient(const base::string16& pipe_name,
                                 uint32_t dump_type,
                                 const CrashKeySet& crash_keys)
    : pipe_name_(pipe_name),
      expected_server_id_(ReporterIdFromPipeName(pipe_name)),
      dump_type_(dump_type),
      crash_keys_(crash_keys) {}

CrashPipeClient::CrashPipeClient(HANDLE pipe,
                                 uint32_t dump_type,
                                 const CrashKeySet& crash_keys)
    : given_pipe_(pipe),
      expected_server_id_(0),
      dump_type_(dump_type),
      crash_keys_(crash_keys) {}

CrashPipeClient::~CrashPipeClient() = default;

HANDLE CrashPipeClient::Connect() {
  base::win::ScopedHandle pipe(given_pipe_.Take());
  for (int attempt = 0;
       !pipe.IsValid() && !pipe_name_.empty() && attempt < kConnectAttempts;
       ++attempt) {
    pipe.Set(::CreateFileW(pipe_name_.c_str(), kPipeAccess, 0, nullptr,
                           OPEN_EXISTING, kPipeFlags, nullptr));
    if (pipe.IsValid() || ::GetLastError() != ERROR_PIPE_BUSY)
      break;
    // Tried again whether or not an instance came free meanwhile.
    ::WaitNamedPipeW(pipe_name_.c_str(), kPipeBusyWaitMs);
  }
  if (!pipe.IsValid())
    return nullptr;
  DWORD mode = PIPE_READMODE_MESSAGE;
  if (!::SetNamedPipeHandleState(pipe.Get(), &mode, nullptr, nullptr))
    return nullptr;
  return pipe.Take();
}

bool CrashPipeClient::IsServedByExpectedProcess(HANDLE pipe,
                                                uint32_t* server_id) const {
  ULONG id = 0;
  if (!::GetNamedPipeServerProcessId(pipe, &id)) {
    PLOG(ERROR) << "GetNamedPipeServerProcessId failed";
    return false;
  }
  *server_id = id;
  if (expected_server_id_ != 0 && id != expected_server_id_) {
    LOG(ERROR) << "The crash pipe of process " << expected_server_id_
               << " is served by process " << id;
    return false;
  }
  return true;
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
  // Nothing is told to a process that squats on the reporter's name.
  uint32_t server_id = 0;
  if (!IsServedByExpectedProcess(pipe.Get(), &server_id))
    return false;
  CrashPipeMessage request = MakeRegistrationRequest();
  CrashPipeMessage reply = {};
  if (!Transact(pipe.Get(), &request, &reply, kReplyTimeoutMs) ||
      reply.tag != CrashPipeMessage::kRegistrationReply || reply.id == 0) {
    return false;
  }
  // Made-up values could name this process's own handles, which it would
  // then use and close.
  if (reply.id != server_id || !HasDuplicatedHandles(reply)) {
    LOG(ERROR) << "The crash pipe's server " << server_id
               << " sent a registration reply that names no handles of its";
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
  if (!Send(pipe.Get(), ack, kReplyTimeoutMs))
    return false;
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
