#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_PIPE_SERVER_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_PIPE_SERVER_H_

#include <windows.h>

#include <stdint.h>

#include <atomic>
#include <memory>
#include <vector>

#include "base/files/file_path.h"
#include "base/strings/string16.h"
#include "base/synchronization/lock.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/crash_reporter/crash_records.h"

namespace vexlo {
namespace crash_reporter {

class CrashClient;

// The crash reporter's end of the crash pipe. Watched processes register
// over the pipe; each gets two events and the server's lifetime mutex, and
// later asks for a dump by setting its request event, after which the
// server copies its crash keys, optionally writes a minidump, and calls the
// dump-request callback while the client waits. The pipe has a few
// instances, each served by a connection machine of its own, so that a peer
// that stalls holds one instance only, and only until its time-out.
// Everything runs on system wait threads; the server owns no thread.
class CrashPipeServer {
 public:
  using ClientConnectedCallback = void (*)(void* context, CrashClient* client);
  // |dump_path| is null when no dump was written.
  using DumpRequestCallback = void (*)(void* context,
                                       CrashClient* client,
                                       const base::FilePath* dump_path);
  using ClientExitedCallback = void (*)(void* context, CrashClient* client);
  using UploadRequestCallback = void (*)(void* context, uint32_t crash_id);

  // How many peers are served at once.
  static constexpr int kInstanceCount = 4;
  // How long the server waits for a connected peer's request, for it to take
  // the reply, and for its acknowledgement, before it drops the peer.
  static constexpr DWORD kPeerTimeoutMs = 5000;
  // How often the server looks for peers that are late.
  static constexpr DWORD kWatchdogPeriodMs = 500;

  // The connection machine's states.
  enum State : int32_t {
    kUninitialized = 0,
    kError = 1,
    kInitial = 2,
    kConnecting = 3,
    kConnected = 4,
    kReading = 5,
    kReadDone = 6,
    kWriting = 7,
    kWriteDone = 8,
    kReadingAck = 9,
    kDisconnecting = 10,
  };

  // Every callback is optional. |pipe_security| may be null for the default
  // security; |dump_folder| may be null when |write_dumps| is false.
  CrashPipeServer(const base::string16& pipe_name,
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
                  const base::FilePath* dump_folder);
  CrashPipeServer(const CrashPipeServer&) = delete;
  CrashPipeServer& operator=(const CrashPipeServer&) = delete;
  // Stops listening and ends every client record, after the callbacks that
  // are running have returned. Run it on the thread that called Start: the
  // lifetime mutex belongs to that thread.
  ~CrashPipeServer();

  // Creates the pipe and starts listening; false when the server was
  // started before or anything could not be created.
  bool Start();

  // Before Start: how long peers are waited for, instead of kPeerTimeoutMs.
  void set_peer_timeout_for_testing(DWORD timeout_ms) {
    peer_timeout_ms_ = timeout_ms;
  }

 private:
  // One instance of the pipe and the machine that serves its connections.
  struct Instance {
    CrashPipeServer* server = nullptr;
    std::atomic<State> state{kUninitialized};
    base::win::ScopedHandle pipe;
    HANDLE wait = nullptr;
    OVERLAPPED overlapped = {};
    base::win::ScopedHandle event;
    CrashPipeMessage message = {};
    DWORD bytes_transferred = 0;
    CrashClient* client_being_registered = nullptr;
    // When the peer's pending operation is given up; 0 while the machine
    // waits for no peer. Guarded by the server's lock.
    ULONGLONG peer_deadline = 0;
  };

  // The wait callbacks.
  static void CALLBACK OnPipeSignaled(void* context, BOOLEAN timed_out);
  static void CALLBACK OnDumpRequested(void* context, BOOLEAN timed_out);
  static void CALLBACK OnClientExited(void* context, BOOLEAN timed_out);
  static void CALLBACK OnWatchdog(void* context, BOOLEAN timed_out);

  // Creates the instance's event, its wait and its pipe, and sets it going.
  bool StartInstance(Instance* instance, bool first);
  // Ends the instance's wait and pending I/O and closes its pipe. Runs
  // after the shutting-down flag is set.
  static void StopInstance(Instance* instance);

  void HandleMessage(Instance* instance);
  // Cancels the pending operations of peers that are late: the machine
  // then finds them failed and drops the peer. The wait for a peer has no
  // time-out of its own, since under Wine a wait that timed out once is
  // never called again.
  void DropLatePeers();
  void HandleInitial(Instance* instance);
  void HandleConnecting(Instance* instance);
  void HandleConnected(Instance* instance);
  void HandleReading(Instance* instance);
  void HandleReadDone(Instance* instance);
  void HandleWriting(Instance* instance);
  void HandleWriteDone(Instance* instance);
  void HandleReadingAck(Instance* instance);
  void HandleDisconnecting(Instance* instance);
  void HandleError(Instance* instance);

  static void EnterStateImmediately(Instance* instance, State state);
  static void EnterStateWhenSignaled(Instance* instance, State state);
  // Enters |state| when signalled, giving the peer its time.
  void AwaitPeer(Instance* instance, State state);
  static void Fail(Instance* instance);

  // Checks and answers a registration request; false drops it.
  bool RegisterClient(Instance* instance);
  static bool IsValidRegistration(const CrashPipeMessage& request);
  bool DuplicateHandlesIntoClient(const CrashClient& client,
                                  CrashPipeMessage* reply);
  // Registers the client's two waits and lists it, unless the server is
  // shutting down. On failure nothing stays registered.
  bool WatchClient(std::unique_ptr<CrashClient> client);
  void ServeDumpRequest(CrashClient* client);
  // Cancels the client's waits, waiting for their callbacks, and destroys
  // it.
  static void EndClient(std::unique_ptr<CrashClient> client);

  const base::string16 pipe_name_;
  SECURITY_ATTRIBUTES* const pipe_security_;
  const ClientConnectedCallback connected_callback_;
  void* const connected_context_;
  const DumpRequestCallback dump_callback_;
  void* const dump_context_;
  const ClientExitedCallback exit_callback_;
  void* const exit_context_;
  const UploadRequestCallback upload_callback_;
  void* const upload_context_;
  const bool write_dumps_;
  const base::FilePath dump_folder_;

  DWORD peer_timeout_ms_ = kPeerTimeoutMs;
  std::atomic<bool> started_{false};
  base::win::ScopedHandle server_alive_mutex_;
  HANDLE watchdog_ = nullptr;
  Instance instances_[kInstanceCount];

  // Guards the client list and the shutting-down flag.
  base::Lock lock_;
  bool shutting_down_ = false;
  std::vector<std::unique_ptr<CrashClient>> clients_;
  // Exit callbacks that took their client off the list and still run.
  std::atomic<int> exiting_clients_{0};
};

}  // namespace crash_reporter
}  // namespace vexlo

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_PIPE_SERVER_H_
