#include "desktop/windows/crash_reporter/crash_pipe_server.h"

#include <string.h>

#include <algorithm>
#include <utility>

#include "base/logging.h"
#include "desktop/windows/crash_reporter/crash_client.h"
#include "desktop/windows/crash_reporter/dump_writer.h"

namespace vexlo {
namespace crash_reporter {

namespace {

// Duplex, overlapped, and refused when the name is taken already.
constexpr DWORD kPipeOpenMode =
    FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE | PIPE_ACCESS_DUPLEX;
constexpr DWORD kPipeMode =
    PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT;
constexpr DWORD kPipeBufferSize = 64;
constexpr DWORD kMessageSize = sizeof(CrashPipeMessage);

// The I/O status of an overlapped operation still in flight.
constexpr ULONG_PTR kStatusPending = 0x103;

// How long the destructor lets the machine reach its error state.
constexpr int kShutdownPolls = 100;
constexpr DWORD kShutdownPollMs = 10;
// How long the destructor waits for an exit callback that fired as its wait
// was cancelled.
constexpr int kExitCallbackWaitMs = 10000;

constexpr DWORD kDumpRequestAccess = EVENT_MODIFY_STATE;
constexpr DWORD kDumpDoneAccess = SYNCHRONIZE | EVENT_MODIFY_STATE;
constexpr DWORD kServerAliveAccess = SYNCHRONIZE;

HANDLE ToHandle(uint64_t value) {
  return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(value));
}

uint64_t FromHandle(HANDLE handle) {
  return reinterpret_cast<uintptr_t>(handle);
}

// Closes, inside |process|, the handles that a reply carries.
void CloseHandlesInClient(HANDLE process, const CrashPipeMessage& reply) {
  for (uint64_t handle : {reply.dump_request_event, reply.dump_done_event,
                          reply.server_alive_mutex}) {
    if (handle) {
      ::DuplicateHandle(process, ToHandle(handle), nullptr, nullptr, 0, FALSE,
                        DUPLICATE_CLOSE_SOURCE);
    }
  }
}

// Cancels a wait and waits for its running callback. True when the wait is
// gone with its callback done; false when the wait had fired and its
// callback may still run.
bool CancelWait(HANDLE wait) {
  if (::UnregisterWaitEx(wait, INVALID_HANDLE_VALUE))
    return true;
  const DWORD error = ::GetLastError();
  if (error != ERROR_IO_PENDING)
    LOG(ERROR) << "UnregisterWaitEx failed: " << error;
  return error != ERROR_IO_PENDING;
}

}  // namespace

CrashPipeServer::CrashPipeServer(const base::string16& pipe_name,
                                 SECURITY_ATTRIBUTES* pipe_security,
                                 ClientConnectedCallback connected_callback,
                                 void* connected_context,
                                 DumpRequestCallback dump_callback,
                                 void* dump_context,
                                 ClientExitedCallback exit_callback,
                                 void* exit_context,
                                 UploadRequestCallback upload_callback,
                                 void* upload_context,
                                 bool write_dumps,
                                 const base::FilePath* dump_folder)
    : pipe_name_(pipe_name),
      pipe_security_(pipe_security),
      connected_callback_(connected_callback),
      connected_context_(connected_context),
      dump_callback_(dump_callback),
      dump_context_(dump_context),
      exit_callback_(exit_callback),
      exit_context_(exit_context),
      upload_callback_(upload_callback),
      upload_context_(upload_context),
      write_dumps_(write_dumps),
      dump_folder_(dump_folder ? *dump_folder : base::FilePath()) {}

CrashPipeServer::~CrashPipeServer() {
  {
    base::AutoLock lock(lock_);
    shutting_down_ = true;
  }
  // The machine stops at its next turn; ending the connection and signalling
  // its event brings that turn now.
  if (pipe_.IsValid())
    ::DisconnectNamedPipe(pipe_.Get());
  if (overlapped_event_.IsValid())
    ::SetEvent(overlapped_event_.Get());
  for (int i = 0; pipe_wait_ && i < kShutdownPolls && state_ != kError; ++i)
    ::Sleep(kShutdownPollMs);
  if (pipe_wait_) {
    CancelWait(pipe_wait_);
    pipe_wait_ = nullptr;
  }
  if (pipe_.IsValid()) {
    if (overlapped_.Internal == kStatusPending) {
      ::CancelIoEx(pipe_.Get(), &overlapped_);
      ::GetOverlappedResult(pipe_.Get(), &overlapped_, &bytes_transferred_,
                            TRUE);
    }
    pipe_.Close();
  }

  std::vector<std::unique_ptr<CrashClient>> clients;
  {
    base::AutoLock lock(lock_);
    clients.swap(clients_);
  }
  for (std::unique_ptr<CrashClient>& client : clients)
    EndClient(std::move(client));
  // Exit callbacks that took their client before the shutdown began still
  // use this server until they end.
  while (exiting_clients_.load() > 0)
    ::Sleep(1);

  // Clients waiting for a dump see the mutex released and stop waiting.
  if (server_alive_mutex_.IsValid())
    ::ReleaseMutex(server_alive_mutex_.Get());
}

bool CrashPipeServer::Start() {
  State expected = kUninitialized;
  if (!state_.compare_exchange_strong(expected, kInitial))
    return false;
  server_alive_mutex_.Set(::CreateMutexW(nullptr, TRUE, nullptr));
  if (!server_alive_mutex_.IsValid()) {
    PLOG(ERROR) << "CreateMutex for the crash pipe failed";
    return false;
  }
  overlapped_event_.Set(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!overlapped_event_.IsValid()) {
    PLOG(ERROR) << "CreateEvent for the crash pipe failed";
    return false;
  }
  overlapped_.hEvent = overlapped_event_.Get();
  if (!::RegisterWaitForSingleObject(&pipe_wait_, overlapped_event_.Get(),
                                     &CrashPipeServer::OnPipeSignaled, this,
                                     INFINITE, WT_EXECUTEINWAITTHREAD)) {
    PLOG(ERROR) << "RegisterWaitForSingleObject for the crash pipe failed";
    pipe_wait_ = nullptr;
    return false;
  }
  pipe_.Set(::CreateNamedPipeW(pipe_name_.c_str(), kPipeOpenMode, kPipeMode, 1,
                               kPipeBufferSize, kPipeBufferSize, 0,
                               pipe_security_));
  if (!pipe_.IsValid()) {
    PLOG(ERROR) << "CreateNamedPipe failed";
    return false;
  }
  if (!::SetEvent(overlapped_event_.Get())) {
    state_ = kError;
    return false;
  }
  return true;
}

// static
void CALLBACK CrashPipeServer::OnPipeSignaled(void* context,
                                              BOOLEAN /* timed_out */) {
  static_cast<CrashPipeServer*>(context)->HandleMessage();
}

void CrashPipeServer::HandleMessage() {
  {
    base::AutoLock lock(lock_);
    if (shutting_down_) {
      state_ = kError;
      ::ResetEvent(overlapped_event_.Get());
      return;
    }
  }
  switch (state_.load()) {
    case kError:
      HandleError();
      break;
    case kInitial:
      HandleInitial();
      break;
    case kConnecting:
      HandleConnecting();
      break;
    case kConnected:
      HandleConnected();
      break;
    case kReading:
      HandleReading();
      break;
    case kReadDone:
      HandleReadDone();
      break;
    case kWriting:
      HandleWriting();
      break;
    case kWriteDone:
      HandleWriteDone();
      break;
    case kReadingAck:
      HandleReadingAck();
      break;
    case kDisconnecting:
      HandleDisconnecting();
      break;
    default:
      state_ = kError;
      break;
  }
}

void CrashPipeServer::HandleInitial() {
  if (!::ResetEvent(overlapped_event_.Get())) {
    Fail();
    return;
  }
  if (::ConnectNamedPipe(pipe_.Get(), &overlapped_)) {
    EnterStateWhenSignaled(kConnecting);
    return;
  }
  switch (::GetLastError()) {
    case ERROR_PIPE_CONNECTED:
      EnterStateImmediately(kConnected);
      break;
    case ERROR_IO_PENDING:
      EnterStateWhenSignaled(kConnecting);
      break;
    default:
      PLOG(ERROR) << "ConnectNamedPipe failed";
      Fail();
      break;
  }
}

void CrashPipeServer::HandleConnecting() {
  if (::GetOverlappedResult(pipe_.Get(), &overlapped_, &bytes_transferred_,
                            FALSE)) {
    EnterStateImmediately(kConnected);
  } else if (::GetLastError() != ERROR_IO_INCOMPLETE) {
    EnterStateImmediately(kDisconnecting);
  }
}

void CrashPipeServer::HandleConnected() {
  memset(&message_, 0, sizeof(message_));
  if (::ReadFile(pipe_.Get(), &message_, kMessageSize, nullptr, &overlapped_) ||
      ::GetLastError() == ERROR_IO_PENDING) {
    EnterStateWhenSignaled(kReading);
  } else {
    EnterStateImmediately(kDisconnecting);
  }
}

void CrashPipeServer::HandleReading() {
  if (::GetOverlappedResult(pipe_.Get(), &overlapped_, &bytes_transferred_,
                            FALSE) &&
      bytes_transferred_ == kMessageSize) {
    EnterStateImmediately(kReadDone);
  } else {
    EnterStateImmediately(kDisconnecting);
  }
}

void CrashPipeServer::HandleReadDone() {
  if (message_.tag == CrashPipeMessage::kUploadRequest) {
    if (upload_callback_)
      upload_callback_(upload_context_, message_.id);
    EnterStateImmediately(kDisconnecting);
    return;
  }
  if (!RegisterClient())
    EnterStateImmediately(kDisconnecting);
}

bool CrashPipeServer::IsValidRegistration() const {
  return message_.tag == CrashPipeMessage::kRegistrationRequest &&
         message_.id != 0 && message_.thread_id_address != 0 &&
         message_.exception_pointers_address != 0 &&
         message_.assertion_address != 0;
}

bool CrashPipeServer::RegisterClient() {
  if (!IsValidRegistration())
    return false;
  // The server opens the process with full access and later reads and
  // dumps it: a caller may only register itself.
  ULONG pipe_client_id = 0;
  if (!::GetNamedPipeClientProcessId(pipe_.Get(), &pipe_client_id) ||
      pipe_client_id != message_.id) {
    LOG(ERROR) << "Crash client claims process " << message_.id
               << " but the pipe's client is process " << pipe_client_id;
    return false;
  }
  std::unique_ptr<CrashClient> client(new CrashClient(this, message_));
  if (!client->Initialize())
    return false;

  CrashPipeMessage reply = {};
  reply.tag = CrashPipeMessage::kRegistrationReply;
  reply.id = ::GetCurrentProcessId();
  if (!DuplicateHandlesIntoClient(*client, &reply))
    return false;
  // The buffer must outlive the overlapped write.
  message_ = reply;
  if (!::WriteFile(pipe_.Get(), &message_, kMessageSize, nullptr,
                   &overlapped_) &&
      ::GetLastError() != ERROR_IO_PENDING) {
    CloseHandlesInClient(client->process_handle(), reply);
    return false;
  }
  CrashClient* const registered = client.get();
  if (!WatchClient(std::move(client))) {
    CloseHandlesInClient(registered->process_handle(), reply);
    return false;
  }
  client_being_registered_ = registered;
  EnterStateWhenSignaled(kWriting);
  return true;
}

bool CrashPipeServer::DuplicateHandlesIntoClient(const CrashClient& client,
                                                 CrashPipeMessage* reply) {
  const struct {
    HANDLE source;
    DWORD access;
    uint64_t* target;
  } kHandles[] = {
      {client.dump_request_event(), kDumpRequestAccess,
       &reply->dump_request_event},
      {client.dump_done_event(), kDumpDoneAccess, &reply->dump_done_event},
      {server_alive_mutex_.Get(), kServerAliveAccess,
       &reply->server_alive_mutex},
  };
  for (const auto& handle : kHandles) {
    HANDLE duplicate = nullptr;
    if (!::DuplicateHandle(::GetCurrentProcess(), handle.source,
                           client.process_handle(), &duplicate, handle.access,
                           FALSE, 0)) {
      PLOG(ERROR) << "DuplicateHandle into crash client failed";
      CloseHandlesInClient(client.process_handle(), *reply);
      return false;
    }
    *handle.target = FromHandle(duplicate);
  }
  return true;
}

bool CrashPipeServer::WatchClient(std::unique_ptr<CrashClient> client) {
  // Held while the waits are registered, so that an exit callback that
  // fires at once finds the client listed.
  base::AutoLock lock(lock_);
  if (shutting_down_)
    return false;
  if (!::RegisterWaitForSingleObject(
          &client->dump_request_wait, client->dump_request_event(),
          &CrashPipeServer::OnDumpRequested, client.get(), INFINITE,
          WT_EXECUTEINWAITTHREAD | WT_EXECUTELONGFUNCTION)) {
    PLOG(ERROR) << "RegisterWaitForSingleObject for a dump request failed";
    client->dump_request_wait = nullptr;
    return false;
  }
  if (!::RegisterWaitForSingleObject(
          &client->process_exit_wait, client->process_handle(),
          &CrashPipeServer::OnClientExited, client.get(), INFINITE,
          WT_EXECUTEONLYONCE)) {
    PLOG(ERROR) << "RegisterWaitForSingleObject for a crash client failed";
    client->process_exit_wait = nullptr;
    // The dump callback takes no lock of the server's: safe to wait for it.
    CancelWait(client->dump_request_wait);
    client->dump_request_wait = nullptr;
    return false;
  }
  clients_.push_back(std::move(client));
  return true;
}

void CrashPipeServer::HandleWriting() {
  if (::GetOverlappedResult(pipe_.Get(), &overlapped_, &bytes_transferred_,
                            FALSE)) {
    EnterStateImmediately(kWriteDone);
  } else {
    EnterStateImmediately(kDisconnecting);
  }
}

void CrashPipeServer::HandleWriteDone() {
  if (::ReadFile(pipe_.Get(), &message_, kMessageSize, nullptr, &overlapped_)) {
    EnterStateImmediately(kReadingAck);
  } else if (::GetLastError() == ERROR_IO_PENDING) {
    EnterStateWhenSignaled(kReadingAck);
  } else {
    EnterStateImmediately(kDisconnecting);
  }
}

void CrashPipeServer::HandleReadingAck() {
  if (::GetOverlappedResult(pipe_.Get(), &overlapped_, &bytes_transferred_,
                            FALSE) &&
      connected_callback_) {
    base::AutoLock lock(lock_);
    for (const std::unique_ptr<CrashClient>& client : clients_) {
      if (client.get() == client_being_registered_) {
        connected_callback_(connected_context_, client.get());
        break;
      }
    }
  }
  EnterStateImmediately(kDisconnecting);
}

void CrashPipeServer::HandleDisconnecting() {
  client_being_registered_ = nullptr;
  // An operation abandoned on the way here would complete into the record
  // that the next connection uses.
  if (overlapped_.Internal == kStatusPending) {
    ::CancelIoEx(pipe_.Get(), &overlapped_);
    ::GetOverlappedResult(pipe_.Get(), &overlapped_, &bytes_transferred_, TRUE);
  }
  overlapped_.Internal = 0;
  overlapped_.InternalHigh = 0;
  overlapped_.Offset = 0;
  overlapped_.OffsetHigh = 0;
  if (!::ResetEvent(overlapped_event_.Get()) ||
      !::DisconnectNamedPipe(pipe_.Get())) {
    PLOG(ERROR) << "Disconnecting the crash pipe failed";
    Fail();
    return;
  }
  {
    base::AutoLock lock(lock_);
    if (shutting_down_)
      return;
  }
  EnterStateImmediately(kInitial);
}

void CrashPipeServer::HandleError() {
  base::AutoLock lock(lock_);
  if (shutting_down_)
    return;
  // From inside its own callback the wait can only be released, not waited
  // for.
  if (pipe_wait_) {
    ::UnregisterWaitEx(pipe_wait_, nullptr);
    pipe_wait_ = nullptr;
  }
  pipe_.Close();
  overlapped_event_.Close();
}

void CrashPipeServer::EnterStateImmediately(State state) {
  state_ = state;
  if (!::SetEvent(overlapped_event_.Get()))
    state_ = kError;
}

void CrashPipeServer::EnterStateWhenSignaled(State state) {
  state_ = state;
}

void CrashPipeServer::Fail() {
  ::SetEvent(overlapped_event_.Get());
  state_ = kError;
}

// static
void CALLBACK CrashPipeServer::OnDumpRequested(void* context,
                                               BOOLEAN /* timed_out */) {
  CrashClient* client = static_cast<CrashClient*>(context);
  client->server()->ServeDumpRequest(client);
}

void CrashPipeServer::ServeDumpRequest(CrashClient* client) {
  client->FetchCrashKeys();
  bool dumped = true;
  base::FilePath dump_path;
  if (write_dumps_)
    dumped = DumpWriter::WriteDump(*client, dump_folder_, &dump_path);
  if (dumped && dump_callback_)
    dump_callback_(dump_context_, client, write_dumps_ ? &dump_path : nullptr);
  // The request is cleared before the client hears that its dump is done:
  // cleared after, it would wipe out a request the client makes at once.
  ::ResetEvent(client->dump_request_event());
  ::SetEvent(client->dump_done_event());
}

// static
void CALLBACK CrashPipeServer::OnClientExited(void* context,
                                              BOOLEAN /* timed_out */) {
  CrashClient* client = static_cast<CrashClient*>(context);
  CrashPipeServer* server = client->server();
  std::unique_ptr<CrashClient> owned;
  {
    base::AutoLock lock(server->lock_);
    if (!server->shutting_down_) {
      auto listed =
          std::find_if(server->clients_.begin(), server->clients_.end(),
                       [client](const std::unique_ptr<CrashClient>& item) {
                         return item.get() == client;
                       });
      if (listed != server->clients_.end()) {
        owned = std::move(*listed);
        server->clients_.erase(listed);
        ++server->exiting_clients_;
      }
    }
  }
  if (!owned) {
    // The destructor ends the record; this is the last touch of it.
    client->exit_callback_done.store(true);
    return;
  }
  CancelWait(owned->dump_request_wait);
  owned->dump_request_wait = nullptr;
  if (server->exit_callback_)
    server->exit_callback_(server->exit_context_, owned.get());
  // Its own wait: released, not waited for, from inside its callback.
  ::UnregisterWaitEx(owned->process_exit_wait, nullptr);
  owned.reset();
  --server->exiting_clients_;
}

// static
void CrashPipeServer::EndClient(std::unique_ptr<CrashClient> client) {
  if (client->process_exit_wait && !CancelWait(client->process_exit_wait)) {
    // The wait fired as it was cancelled: its callback runs on and leaves
    // the record alone, saying so when it is done.
    int waited = 0;
    for (; !client->exit_callback_done.load() && waited < kExitCallbackWaitMs;
         ++waited) {
      ::Sleep(1);
    }
    if (!client->exit_callback_done.load()) {
      LOG(ERROR) << "A crash client's exit callback did not end; its record "
                    "is left in place";
      static_cast<void>(client.release());
      return;
    }
  }
  if (client->dump_request_wait)
    CancelWait(client->dump_request_wait);
  client.reset();
}

}  // namespace crash_reporter
}  // namespace vexlo
