#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_CLIENT_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_CLIENT_H_

#include <windows.h>

#include <stdint.h>

#include <atomic>
#include <vector>

#include "base/win/scoped_handle.h"
#include "desktop/windows/crash_reporter/crash_records.h"

namespace vexlo {
namespace crash_reporter {

class CrashPipeServer;

// The crash pipe server's record of one registered process: where its crash
// fields live in its memory, the events through which it asks for a dump
// and hears that the dump is done, and the crash keys copied out of it.
class CrashClient {
 public:
  // More entries than this are not copied: a sane client sends about a
  // hundred.
  static constexpr uint64_t kMaxCrashKeyCount = 4096;

  CrashClient(CrashPipeServer* server, const CrashPipeMessage& request);
  CrashClient(const CrashClient&) = delete;
  CrashClient& operator=(const CrashClient&) = delete;
  ~CrashClient();

  // Opens the process and makes the two events; false when any of it
  // fails.
  bool Initialize();

  // Copies the client's crash keys and stamps the "ptime" entry with its
  // uptime. A copy that cannot be made leaves the previous one.
  void FetchCrashKeys();

  // Reads |size| bytes at |address| of the client; false on a short read.
  bool ReadMemory(uint64_t address, void* buffer, size_t size) const;

  // The copied keys with the "ptime" entry last; {null, 0} before the first
  // copy or when the client declared too many.
  CrashKeySet GetCrashKeys() const;

  CrashPipeServer* server() const { return server_; }
  uint32_t process_id() const { return process_id_; }
  HANDLE process_handle() const { return process_.Get(); }
  uint32_t dump_type() const { return dump_type_; }
  uint32_t crash_id() const { return crash_id_; }
  FILETIME start_time() const { return start_time_; }
  uint64_t thread_id_address() const { return thread_id_address_; }
  uint64_t exception_pointers_address() const {
    return exception_pointers_address_;
  }
  uint64_t assertion_address() const { return assertion_address_; }
  uint64_t crash_keys_address() const { return crash_keys_address_; }
  uint64_t crash_key_count() const { return crash_key_count_; }
  HANDLE dump_request_event() const { return dump_request_event_.Get(); }
  HANDLE dump_done_event() const { return dump_done_event_.Get(); }

  // The server's waits on this client, kept here so that whoever ends the
  // record can cancel them.
  HANDLE dump_request_wait = nullptr;
  HANDLE process_exit_wait = nullptr;
  // Set by the exit wait's callback as its last touch of the record when it
  // leaves the record to the server.
  std::atomic<bool> exit_callback_done{false};

 private:
  CrashPipeServer* const server_;
  const uint32_t process_id_;
  const uint32_t dump_type_;
  const uint64_t thread_id_address_;
  const uint64_t exception_pointers_address_;
  const uint64_t assertion_address_;
  const uint64_t crash_keys_address_;
  const uint64_t crash_key_count_;

  base::win::ScopedHandle process_;
  base::win::ScopedHandle dump_request_event_;
  base::win::ScopedHandle dump_done_event_;
  FILETIME start_time_ = {};
  uint32_t crash_id_ = 0;
  std::vector<CrashKeyEntry> crash_keys_;
};

}  // namespace crash_reporter
}  // namespace vexlo

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_CLIENT_H_
