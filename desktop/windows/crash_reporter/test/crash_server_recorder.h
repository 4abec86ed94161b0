#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_TEST_CRASH_SERVER_RECORDER_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_TEST_CRASH_SERVER_RECORDER_H_

#include <windows.h>

#include <stdint.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "base/synchronization/lock.h"
#include "desktop/windows/crash_reporter/crash_pipe_server.h"
#include "desktop/windows/crash_reporter/crash_records.h"

namespace vexlo {
namespace crash_reporter {

// What reached a crash pipe server for one dump request, read out of the
// client while it waited.
struct RecordedDump {
  uint32_t process_id = 0;
  DWORD thread_id = 0;
  // 0 when the exception record could not be read.
  DWORD exception_code = 0;
  AssertionRecord assertion = {};
  // The fetched keys, each name's values joined in slot order.
  std::map<std::wstring, std::wstring> keys;
  size_t key_count = 0;
  bool dump_path_given = false;
  base::FilePath dump_path;
};

// A crash pipe server in the test process that records every callback.
class CrashServerRecorder {
 public:
  // The pipe a watched process looks for when its reporter is this
  // process.
  static std::wstring OwnPipeName();

  explicit CrashServerRecorder(const std::wstring& pipe_name = OwnPipeName(),
                               const base::FilePath* dump_folder = nullptr);
  CrashServerRecorder(const CrashServerRecorder&) = delete;
  CrashServerRecorder& operator=(const CrashServerRecorder&) = delete;
  ~CrashServerRecorder();

  bool Start();
  // Before Start: how long the server waits for a connected peer.
  void set_peer_timeout(DWORD timeout_ms) { peer_timeout_ms_ = timeout_ms; }
  // Ends the server; the records stay.
  void Stop();

  // Wait, at most 60 s, until the counts reach |count|.
  bool WaitForConnections(size_t count) { return WaitFor(connected_, count); }
  bool WaitForExits(size_t count) { return WaitFor(exited_, count); }
  bool WaitForUploads(size_t count) { return WaitFor(uploads_, count); }
  bool WaitForDumps(size_t count) { return WaitFor(dumps_, count); }

  std::vector<RecordedDump> dumps() const { return Copy(dumps_); }
  std::vector<uint32_t> connected() const { return Copy(connected_); }
  std::vector<uint32_t> exited() const { return Copy(exited_); }
  std::vector<uint32_t> uploads() const { return Copy(uploads_); }

 private:
  static constexpr DWORD kWaitLimitMs = 60000;

  static void OnConnected(void* context, CrashClient* client);
  static void OnDumpRequest(void* context,
                            CrashClient* client,
                            const base::FilePath* dump_path);
  static void OnExited(void* context, CrashClient* client);
  static void OnUpload(void* context, uint32_t crash_id);

  template <typename Item>
  bool WaitFor(const std::vector<Item>& list, size_t count) const {
    for (DWORD waited = 0; waited < kWaitLimitMs; waited += 5) {
      {
        base::AutoLock lock(lock_);
        if (list.size() >= count)
          return true;
      }
      ::Sleep(5);
    }
    return false;
  }
  template <typename Item>
  std::vector<Item> Copy(const std::vector<Item>& list) const {
    base::AutoLock lock(lock_);
    return list;
  }

  const std::wstring pipe_name_;
  const bool write_dumps_;
  const base::FilePath dump_folder_;
  DWORD peer_timeout_ms_ = CrashPipeServer::kPeerTimeoutMs;
  std::unique_ptr<CrashPipeServer> server_;

  mutable base::Lock lock_;
  std::vector<RecordedDump> dumps_;
  std::vector<uint32_t> connected_;
  std::vector<uint32_t> exited_;
  std::vector<uint32_t> uploads_;
};

// Joins the values of the entries named |name|, in order.
std::wstring JoinCrashKey(const CrashKeyEntry* entries,
                          size_t count,
                          const wchar_t* name);

}  // namespace crash_reporter
}  // namespace vexlo

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_TEST_CRASH_SERVER_RECORDER_H_
