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

// Duplex and overlapped.
constexpr DWORD kPipeOpenMode = FILE_FLAG_OVERLAPPED | PIPE_ACCESS_DUPLEX;
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

static_assert(kDumpRequestEventAccess == EVENT_MODIFY_STATE,
              "dump request event access");
static_assert(kDumpDoneEventAccess == (SYNCHRONIZE | EVENT_MODIFY_STATE),
              "dump done event access");
static_assert(kServerAliveMutexAccess == SYNCHRONIZE,
              "server alive mutex access");

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

// Ends the operation of |overlapped| on |pipe| that may still be in flight,
// and waits for it, since it writes into the record and its buffer. Wine
// marks the record pending before a start that then fails at once, and
// nothing ever ends that mark: the wait is only for an operation that the
// cancel found.
void EndPendingOperation(HANDLE pipe, OVERLAPPED* overlapped, DWORD* bytes) {
  if (overlapped->Internal != kStatusPending)
    return;
  if (::CancelIoEx(pipe, overlapped) || ::GetLastError() != ERROR_NOT_FOUND)
    ::GetOverlappedResult(pipe, overlapped, bytes, TRUE);
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
  if (watchdog_ &&
      !::DeleteTimerQueueTimer(nullptr, watchdog_, INVALID_HANDLE_VALUE)) {
    PLOG(ERROR) << "Ending the crash pipe's watchdog failed";
  }
  watchdog_ = nullptr;
  // Each machine stops at its next turn; ending the connection and
  // signalling its event brings that turn now.
  for (Instance& instance : instances_) {
    if (instance.pipe.IsValid())
      ::DisconnectNamedPipe(instance.pipe.Get());
    if (instance.event.IsValid())
      ::SetEvent(instance.event.Get());
  }
  for (const Instance& instance : instances_) {
    for (int i = 0;
         instance.wait && i < kShutdownPolls && instance.state != kError; ++i) {
      ::Sleep(kShutdownPollMs);
    }
  }
  for (Instance& instance : instances_)
    StopInstance(&instance);

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

// static
void CrashPipeServer::StopInstance(Instance* instance) {
  if (instance->wait) {
    CancelWait(instance->wait);
    instance->wait = nullptr;
  }
  if (instance->pipe.IsValid()) {
    EndPendingOperation(instance->pipe.Get(), &instance->overlapped,
                        &instance->bytes_transferred);
    instance->pipe.Close();
  }
}

bool CrashPipeServer::Start() {
  if (started_.exchange(true))
    return false;
  server_alive_mutex_.Set(::CreateMutexW(nullptr, TRUE, nullptr));
  if (!server_alive_mutex_.IsValid()) {
    PLOG(ERROR) << "CreateMutex for the crash pipe failed";
    return false;
  }
  if (!::CreateTimerQueueTimer(
          &watchdog_, nullptr, &CrashPipeServer::OnWatchdog, this,
          kWatchdogPeriodMs, kWatchdogPeriodMs, WT_EXECUTEINTIMERTHREAD)) {
    PLOG(ERROR) << "CreateTimerQueueTimer for the crash pipe failed";
    watchdog_ = nullptr;
    return false;
  }
  bool first = true;
  for (Instance& instance : instances_) {
    if (!StartInstance(&instance, first))
      return false;
    first = false;
  }
  return true;
}

bool CrashPipeServer::StartInstance(Instance* instance, bool first) {
  instance->server = this;
  instance->state = kInitial;
  instance->event.Set(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!instance->event.IsValid()) {
    PLOG(ERROR) << "CreateEvent for the crash pipe failed";
    return false;
  }
  instance->overlapped.hEvent = instance->event.Get();
  if (!::RegisterWaitForSingleObject(&instance->wait, instance->event.Get(),
                                     &CrashPipeServer::OnPipeSignaled, instance,
                                     INFINITE, WT_EXECUTEINWAITTHREAD)) {
    PLOG(ERROR) << "RegisterWaitForSingleObject for the crash pipe failed";
    instance->wait = nullptr;
    return false;
  }
  // Only the first instance claims the name: a name taken already is
  // refused rather than shared. (Wine ignores the flag; there a second
  // server is refused only once every instance of the first is made, and
  // clients check who serves the pipe.)
  const DWORD open_mode =
      kPipeOpenMode | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0);
  instance->pipe.Set(::CreateNamedPipeW(
      pipe_name_.c_str(), open_mode, kPipeMode, kInstanceCount, kPipeBufferSize,
      kPipeBufferSize, 0, pipe_security_));
  if (!instance->pipe.IsValid()) {
    PLOG(ERROR) << "CreateNamedPipe failed";
    return false;
  }
  if (!::SetEvent(instance->event.Get())) {
    instance->state = kError;
    return false;
  }
  return true;
}

// static
void CALLBACK CrashPipeServer::OnPipeSignaled(void* context,
                                              BOOLEAN /* timed_out */) {
  Instance* instance = static_cast<Instance*>(context);
  instance->server->HandleMessage(instance);
}

void CrashPipeServer::HandleMessage(Instance* instance) {
  {
    base::AutoLock lock(lock_);
    // The operation the peer was given time for is over, one way or the
    // other.
    instance->peer_deadline = 0;
    if (shutting_down_) {
      instance->state = kError;
      ::ResetEvent(instance->event.Get());
      return;
    }
  }
  switch (instance->state.load()) {
    case kError:
      HandleError(instance);
      break;
    case kInitial:
      HandleInitial(instance);
      break;
    case kConnecting:
      HandleConnecting(instance);
      break;
    case kConnected:
      HandleConnected(instance);
      break;
    case kReading:
      HandleReading(instance);
      break;
    case kReadDone:
      HandleReadDone(instance);
      break;
    case kWriting:
      HandleWriting(instance);
      break;
    case kWriteDone:
      HandleWriteDone(instance);
      break;
    case kReadingAck:
      HandleReadingAck(instance);
      break;
    case kDisconnecting:
      HandleDisconnecting(instance);
      break;
    default:
      instance->state = kError;
      break;
  }
}

// static
void CALLBACK CrashPipeServer::OnWatchdog(void* context,
                                          BOOLEAN /* timed_out */) {
  static_cast<CrashPipeServer*>(context)->DropLatePeers();
}

void CrashPipeServer::DropLatePeers() {
  const ULONGLONG now = ::GetTickCount64();
  base::AutoLock lock(lock_);
  for (Instance& instance : instances_) {
    // Set only while the operation that it bounds is pending: cancelling
    // cannot reach a later one.
    if (instance.peer_deadline == 0 || now < instance.peer_deadline)
      continue;
    instance.peer_deadline = 0;
    LOG(WARNING) << "A crash pipe client did not go on within "
                 << peer_timeout_ms_ << " ms; dropping it";
    ::CancelIoEx(instance.pipe.Get(), &instance.overlapped);
  }
}

void CrashPipeServer::HandleInitial(Instance* instance) {
  if (!::ResetEvent(instance->event.Get())) {
    Fail(instance);
    return;
  }
  if (::ConnectNamedPipe(instance->pipe.Get(), &instance->overlapped)) {
    EnterStateWhenSignaled(instance, kConnecting);
    return;
  }
  switch (::GetLastError()) {
    case ERROR_PIPE_CONNECTED:
      EnterStateImmediately(instance, kConnected);
      break;
    case ERROR_IO_PENDING:
      EnterStateWhenSignaled(instance, kConnecting);
      break;
    default:
      PLOG(ERROR) << "ConnectNamedPipe failed";
      Fail(instance);
      break;
  }
}

void CrashPipeServer::HandleConnecting(Instance* instance) {
  if (::GetOverlappedResult(instance->pipe.Get(), &instance->overlapped,
                            &instance->bytes_transferred, FALSE)) {
    EnterStateImmediately(instance, kConnected);
  } else if (::GetLastError() != ERROR_IO_INCOMPLETE) {
    EnterStateImmediately(instance, kDisconnecting);
  }
}

void CrashPipeServer::HandleConnected(Instance* instance) {
  memset(&instance->message, 0, sizeof(instance->message));
  if (::ReadFile(instance->pipe.Get(), &instance->message, kMessageSize,
                 nullptr, &instance->overlapped) ||
      ::GetLastError() == ERROR_IO_PENDING) {
    AwaitPeer(instance, kReading);
  } else {
    EnterStateImmediately(instance, kDisconnecting);
  }
}

void CrashPipeServer::HandleReading(Instance* instance) {
  if (::GetOverlappedResult(instance->pipe.Get(), &instance->overlapped,
                            &instance->bytes_transferred, FALSE) &&
      instance->bytes_transferred == kMessageSize) {
    EnterStateImmediately(instance, kReadDone);
  } else {
    EnterStateImmediately(instance, kDisconnecting);
  }
}

void CrashPipeServer::HandleReadDone(Instance* instance) {
  if (instance->message.tag == CrashPipeMessage::kUploadRequest) {
    if (upload_callback_)
      upload_callback_(upload_context_, instance->message.id);
    EnterStateImmediately(instance, kDisconnecting);
    return;
  }
  if (!RegisterClient(instance))
    EnterStateImmediately(instance, kDisconnecting);
}

// static
bool CrashPipeServer::IsValidRegistration(const CrashPipeMessage& request) {
  return request.tag == CrashPipeMessage::kRegistrationRequest &&
         request.id != 0 && request.thread_id_address != 0 &&
         request.exception_pointers_address != 0 &&
         request.assertion_address != 0;
}

bool CrashPipeServer::RegisterClient(Instance* instance) {
  const CrashPipeMessage& request = instance->message;
  if (!IsValidRegistration(request))
    return false;
  // The server opens the process with full access and later reads and
  // dumps it: a caller may only register itself.
  ULONG pipe_client_id = 0;
  if (!::GetNamedPipeClientProcessId(instance->pipe.Get(), &pipe_client_id) ||
      pipe_client_id != request.id) {
    LOG(ERROR) << "Crash client claims process " << request.id
               << " but the pipe's client is process " << pipe_client_id;
    return false;
  }
  std::unique_ptr<CrashClient> client(new CrashClient(this, request));
  if (!client->Initialize())
    return false;

  CrashPipeMessage reply = {};
  reply.tag = CrashPipeMessage::kRegistrationReply;
  reply.id = ::GetCurrentProcessId();
  if (!DuplicateHandlesIntoClient(*client, &reply))
    return false;
  // The buffer must outlive the overlapped write.
  instance->message = reply;
  if (!::WriteFile(instance->pipe.Get(), &instance->message, kMessageSize,
                   nullptr, &instance->overlapped) &&
      ::GetLastError() != ERROR_IO_PENDING) {
    CloseHandlesInClient(client->process_handle(), reply);
    return false;
  }
  CrashClient* const registered = client.get();
  if (!WatchClient(std::move(client))) {
    CloseHandlesInClient(registered->process_handle(), reply);
    return false;
  }
  instance->client_being_registered = registered;
  AwaitPeer(instance, kWriting);
  return true;
}

bool CrashPipeServer::DuplicateHandlesIntoClient(const CrashClient& client,
                                                 CrashPipeMessage* reply) {
  const struct {
    HANDLE source;
    DWORD access;
    uint64_t* target;
  } kHandles[] = {
      {client.dump_request_event(), kDumpRequestEventAccess,
       &reply->dump_request_event},
      {client.dump_done_event(), kDumpDoneEventAccess, &reply->dump_done_event},
      {server_alive_mutex_.Get(), kServerAliveMutexAccess,
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

void CrashPipeServer::HandleWriting(Instance* instance) {
  if (::GetOverlappedResult(instance->pipe.Get(), &instance->overlapped,
                            &instance->bytes_transferred, FALSE)) {
    EnterStateImmediately(instance, kWriteDone);
  } else {
    EnterStateImmediately(instance, kDisconnecting);
  }
}

void CrashPipeServer::HandleWriteDone(Instance* instance) {
  if (::ReadFile(instance->pipe.Get(), &instance->message, kMessageSize,
                 nullptr, &instance->overlapped)) {
    EnterStateImmediately(instance, kReadingAck);
  } else if (::GetLastError() == ERROR_IO_PENDING) {
    AwaitPeer(instance, kReadingAck);
  } else {
    EnterStateImmediately(instance, kDisconnecting);
  }
}

void CrashPipeServer::HandleReadingAck(Instance* instance) {
  if (::GetOverlappedResult(instance->pipe.Get(), &instance->overlapped,
                            &instance->bytes_transferred, FALSE) &&
      connected_callback_) {
    base::AutoLock lock(lock_);
    for (const std::unique_ptr<CrashClient>& client : clients_) {
      if (client.get() == instance->client_being_registered) {
        connected_callback_(connected_context_, client.get());
        break;
      }
    }
  }
  EnterStateImmediately(instance, kDisconnecting);
}

void CrashPipeServer::HandleDisconnecting(Instance* instance) {
  instance->client_being_registered = nullptr;
  OVERLAPPED& overlapped = instance->overlapped;
  // An operation abandoned on the way here would complete into the record
  // that the next connection uses.
  EndPendingOperation(instance->pipe.Get(), &overlapped,
                      &instance->bytes_transferred);
  overlapped.Internal = 0;
  overlapped.InternalHigh = 0;
  overlapped.Offset = 0;
  overlapped.OffsetHigh = 0;
  if (!::ResetEvent(instance->event.Get()) ||
      !::DisconnectNamedPipe(instance->pipe.Get())) {
    PLOG(ERROR) << "Disconnecting the crash pipe failed";
    Fail(instance);
    return;
  }
  {
    base::AutoLock lock(lock_);
    if (shutting_down_)
      return;
  }
  EnterStateImmediately(instance, kInitial);
}

void CrashPipeServer::HandleError(Instance* instance) {
  base::AutoLock lock(lock_);
  if (shutting_down_)
    return;
  // From inside its own callback the wait can only be released, not waited
  // for.
  if (instance->wait) {
    ::UnregisterWaitEx(instance->wait, nullptr);
    instance->wait = nullptr;
  }
  instance->pipe.Close();
  instance->event.Close();
}

// static
void CrashPipeServer::EnterStateImmediately(Instance* instance, State state) {
  instance->state = state;
  if (!::SetEvent(instance->event.Get()))
    instance->state = kError;
}

// static
void CrashPipeServer::EnterStateWhenSignaled(Instance* instance, State state) {
  instance->state = state;
}

void CrashPipeServer::AwaitPeer(Instance* instance, State state) {
  {
    base::AutoLock lock(lock_);
    instance->peer_deadline = ::GetTickCount64() + peer_timeout_ms_;
  }
  EnterStateWhenSignaled(instance, state);
}

// static
void CrashPipeServer::Fail(Instance* instance) {
  ::SetEvent(instance->event.Get());
  instance->state = kError;
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
