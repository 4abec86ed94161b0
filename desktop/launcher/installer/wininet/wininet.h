#ifndef DESKTOP_LAUNCHER_INSTALLER_WININET_WININET_H_
#define DESKTOP_LAUNCHER_INSTALLER_WININET_WININET_H_

#include <stdint.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "base/callback.h"
#include "base/memory/ref_counted.h"
#include "base/memory/weak_ptr.h"
#include "base/single_thread_task_runner.h"
#include "base/strings/string16.h"
#include "base/synchronization/cancellation_flag.h"
#include "base/synchronization/lock.h"
#include "base/synchronization/waitable_event.h"
#include "base/task_runner.h"
#include "base/time/time.h"

namespace vexlo {
namespace installer {

class PackageFetcherDelegate;
class ResponseWriter;
class UICallbackRunner;
class WininetDelegate;

// The installer's HTTP client: one GET or POST at a time over asynchronous
// WinINet, its body streamed into a ResponseWriter. An interrupted body is
// resumed with a byte range; connectivity errors and busy servers (502 to
// 504) are retried after a pause; a proxy that wants credentials gets them
// from the user through the UI. The completion runs on the thread that
// started the transfer.
//
// Start, Stop and everything the transfer posts back run on the owner's
// thread. WinINet's status callbacks run on its own threads; they take
// |lock_| for as long as they touch the transfer, and post the rest to the
// owner through weak pointers.
class Wininet {
 public:
  enum State : int32_t {
    STATE_IDLE = 0,
    STATE_REQUEST_SENT = 1,
    STATE_READING = 2,
    STATE_STOPPED = 3,
    STATE_FAILED = 4,
    STATE_COMPLETED = 5,
  };

  static const int32_t kDefaultMaxRetries = 600;
  // The pause before a counted retry.
  static const int64_t kRetryDelayMs = 6000;
  // Each read costs far more than the bytes it moves, so reads are large: a
  // package of a few hundred megabytes takes about a thousand of them.
  static const uint32_t kReadBufferSize = 256 * 1024;

  // |ui_callback_runner| must not be null; |progress_delegate| may be. Both
  // must outlive the client.
  Wininet(UICallbackRunner* ui_callback_runner,
          PackageFetcherDelegate* progress_delegate);
  Wininet(const Wininet&) = delete;
  Wininet& operator=(const Wininet&) = delete;
  ~Wininet();

  // Hosts (and redirect targets) must fall under one of |domains|; an empty
  // list allows every host. Takes effect at the next Start.
  void SetAllowedDomains(const std::vector<base::string16>& domains);
  void SetMaxRetries(int32_t max_retries);

  // Sends a GET of |url|, or a POST of |body| when it is not empty. Takes
  // |writer| and |stats_delegate| (neither may be null) in any case. True
  // when the request is on its way: |completion| then runs once on this
  // thread when the transfer fails or completes, and never after Stop.
  bool Start(const base::string16& url,
             const std::string& body,
             const base::Closure& completion,
             std::unique_ptr<ResponseWriter> writer,
             std::unique_ptr<WininetDelegate> stats_delegate);

  // Abandons the transfer without running its completion.
  void Stop();

  State state() const { return static_cast<State>(state_.load()); }
  int32_t retry_count() const { return retry_count_.load(); }

  // Whether |host| falls under one of |domains|: it equals an entry, or ends
  // with it on a dot boundary; letter case does not matter.
  static bool IsHostAllowed(const base::string16& host,
                            const std::vector<base::string16>& domains);

  // Counted retries are posted to |runner| (with their delay) instead of the
  // owner's thread, so that a test sees the delays without waiting them out.
  void SetRetryTaskRunnerForTesting(
      base::scoped_refptr<base::TaskRunner> runner);

 private:
  class TerminationThread;
  struct ParsedUrl {
    base::string16 host;
    uint16_t port = 0;
    base::string16 object_name;
    bool secure = false;
  };

  static bool ParseUrl(const base::string16& url, ParsedUrl* parsed);
  static void __stdcall InternetStatusCallback(void* handle,
                                               uintptr_t context,
                                               unsigned long status,
                                               void* info,
                                               unsigned long info_length);

  // On WinINet's threads, under |lock_|.
  void OnStatus(void* handle,
                unsigned long status,
                void* info,
                unsigned long info_length);
  void OnCancelledStatus(void* handle, unsigned long status);
  void OnRequestComplete(void* handle, uint32_t error);
  void OnRedirect(const base::string16& url);
  bool HandleInitialCompletion();
  void HandleCompletionInProgress();
  void OnBodyInterrupted();
  uint32_t QueryNumber(uint32_t info_level, bool* found);
  base::string16 QueryRawHeader(const wchar_t* name);

  // On any thread.
  void CheckRetriesAndResume();
  void PostToOwner(const base::Closure& task);
  void SetState(State state);

  // On the owner's thread.
  bool SendRequest(const base::string16& extra_headers);
  void Resume();
  void DownloadFailed();
  void DownloadCompleted();
  void Close();
  void OnProxyDialogReply(int32_t result);
  void ReportTotalProgress(uint32_t total);
  void ReportCurrentProgress();

  std::atomic<int32_t> state_{STATE_IDLE};

  void* session_ = nullptr;
  void* connection_ = nullptr;
  void* request_ = nullptr;
  // Kept for the callbacks of a closed transfer, which must unhook from
  // the session once its connection is gone.
  void* closing_session_ = nullptr;
  void* closing_connection_ = nullptr;

  ParsedUrl parsed_url_;
  std::string body_;
  std::vector<base::string16> allowed_domains_;

  std::unique_ptr<ResponseWriter> writer_;
  std::unique_ptr<WininetDelegate> stats_delegate_;

  uint32_t expected_total_ = 0;
  std::vector<char> buffer_;
  unsigned long bytes_in_buffer_ = 0;
  std::atomic<uint32_t> downloaded_{0};
  // The body bytes held when the current request was sent: a response that
  // does not take the count past it brought nothing new.
  uint32_t chunk_start_ = 0;
  bool range_requested_ = false;
  // Whether a progress report is on its way to the owner; it reads the
  // count when it runs, so one at a time is enough.
  std::atomic<bool> progress_posted_{false};

  base::scoped_refptr<base::SingleThreadTaskRunner> owner_task_runner_;
  base::scoped_refptr<base::TaskRunner> retry_task_runner_for_testing_;
  base::Closure completion_;

  std::unique_ptr<base::CancellationFlag> cancelled_;
  base::WaitableEvent termination_event_;
  std::unique_ptr<TerminationThread> termination_thread_;

  UICallbackRunner* const ui_callback_runner_;
  PackageFetcherDelegate* const progress_delegate_;

  std::atomic<int32_t> retry_count_{0};
  int32_t max_retries_ = kDefaultMaxRetries;

  // Held by the status callbacks while they work, and by the owner while it
  // changes what they read. The owner never calls into WinINet holding it.
  base::Lock lock_;
  // The owner's weak pointer of the current transfer, copied by the
  // callbacks for what they post.
  base::WeakPtr<Wininet> weak_this_;
  base::WeakPtrFactory<Wininet> weak_factory_{this};
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_WININET_WININET_H_
