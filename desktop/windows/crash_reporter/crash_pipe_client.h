#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_PIPE_CLIENT_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_PIPE_CLIENT_H_

#include <windows.h>

#include <stdint.h>

#include "base/strings/string16.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/crash_reporter/crash_records.h"

namespace vexlo {
namespace crash_reporter {

// The watched process's end of the crash pipe: registers with the crash
// reporter's server, and later asks it for a dump and waits while the
// reporter captures the process.
class CrashPipeClient {
 public:
  // How long a crashed process waits for the reporter's capture.
  static constexpr DWORD kDumpTimeoutMs = 15000;
  // How long a registration waits for the server's reply, and then for its
  // acknowledgement to be taken.
  static constexpr DWORD kReplyTimeoutMs = 10000;

  // A name of the reporter's form (its prefix and a process id) is only
  // trusted when that process serves it.
  CrashPipeClient(const base::string16& pipe_name,
                  uint32_t dump_type,
                  const CrashKeySet& crash_keys);
  // Uses |pipe|, an open client end opened for overlapped I/O, once instead
  // of opening the pipe by name; the client closes it.
  CrashPipeClient(HANDLE pipe,
                  uint32_t dump_type,
                  const CrashKeySet& crash_keys);
  CrashPipeClient(const CrashPipeClient&) = delete;
  CrashPipeClient& operator=(const CrashPipeClient&) = delete;
  ~CrashPipeClient();

  // True once the server has answered the registration; true at once when
  // registered before. False, after at most about kReplyTimeoutMs once
  // connected, when the server does not answer, or when the pipe is served
  // by a process other than the one its name or the reply names, or the
  // reply names anything but handles that the server's duplication made:
  // such a reply's handles are neither used nor closed.
  bool Register();
  bool IsRegistered() const { return dump_request_event_.IsValid(); }

  // Publishes the crash (and |assertion|, or a cleared record when null),
  // asks for the dump and waits for it. True only when the server said the
  // dump is done; false when not registered, on time-out, or when the
  // server went away.
  bool RequestDump(EXCEPTION_POINTERS* exception_pointers,
                   const AssertionRecord* assertion);

  uint32_t server_process_id() const { return server_process_id_; }

 private:
  HANDLE Connect();
  // True when |pipe| is served by the process that the name says, if it
  // says one.
  bool IsServedByExpectedProcess(HANDLE pipe, uint32_t* server_id) const;
  CrashPipeMessage MakeRegistrationRequest() const;

  const base::string16 pipe_name_;
  base::win::ScopedHandle given_pipe_;
  // The reporter that the name belongs to; 0 when the name names none.
  const uint32_t expected_server_id_;
  const uint32_t dump_type_;
  const CrashKeySet crash_keys_;

  base::win::ScopedHandle dump_request_event_;
  base::win::ScopedHandle dump_done_event_;
  base::win::ScopedHandle server_alive_mutex_;
  uint32_t server_process_id_ = 0;

  // Read by the server out of this process; their addresses are sent in
  // the registration.
  DWORD crash_thread_id_ = 0;
  EXCEPTION_POINTERS* exception_pointers_ = nullptr;
  AssertionRecord assertion_ = {};
};

}  // namespace crash_reporter
}  // namespace vexlo

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_PIPE_CLIENT_H_
