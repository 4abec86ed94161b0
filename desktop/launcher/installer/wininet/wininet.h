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
#include "base/synchronization/lock.h"
#include "base/task_runner.h"
#include "base/time/time.h"
#include "base/timer/timer.h"
#include "desktop/launcher/installer/wininet/proxy_credentials.h"

struct HWND__;

namespace vexlo {
namespace installer {

class PackageFetcherDelegate;
class ResponseWriter;
class UICallbackRunner;
class WininetDelegate;

// The installer's HTTP client: one GET or POST at a time over asynchronous
// WinINet, its body streamed into a ResponseWriter. An interrupted body is
// resumed with a byte range, taken only where the server's range starts
// where it was asked to; connectivity errors, busy servers (502 to 504) and
// requests that make no progress are retried after a pause; a proxy that
// wants credentials gets them from the user through the UI, and every later
// request of the transfer carries them. Redirects are followed by the
// client itself, a bounded number of hops, each target checked before it
// is asked. The completion runs on the thread that started the transfer.
//
// Start, Stop and everything the transfer posts back run on the owner's
// thread. WinINet's status callbacks run on its own threads and reach the
// client through a Relay, which the client lets go of when it closes. Each
// request has a session of its own, whose close alone closes the request
// and its connection, on a worker, so that no failure, Stop or destruction
// waits for a server, and no handle closes while WinINet may still be
// letting go of one of its children on another thread. The callbacks take
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
  // Redirects followed from one request before the transfer fails.
  static const int kMaxRedirects = 10;
  // How often the progress of the current request is judged, from its
  // send on: one that handed over fewer than kMinProgressBytes in a period
  // has stalled and is retried like a lost connection. A read completes only
  // once its buffer is full (or the body ends), so a body slower than a
  // buffer a period (4.4 KB/s) is taken for stalled.
  static const int64_t kStallCheckIntervalMs = 60000;
  static const uint64_t kMinProgressBytes = 1024;
  // The least time between the starts of two requests of a resume that
  // follows headway, so that a server that breaks off after every few bytes
  // cannot make the client flood it.
  static const int64_t kMinResumeIntervalMs = 1000;
  // Reads that follow each other without a wait report their progress to
  // the owner at most this often (each report wakes the owner's thread,
  // which costs more than a read); the last count before a wait, a resume
  // or the end is always reported.
  static const int64_t kProgressIntervalMs = 50;
  static const uint64_t kNoBodySizeLimit = UINT64_MAX;
  // The bound for a body that is held in memory or read whole: the update
  // server's reply (a download URL, a checksum and a few partner entries)
  // and the preference overrides are a few kilobytes; this leaves room for
  // a thousand times that and still costs nothing to hold.
  static const uint64_t kMaxHeldBodySize = 4 * 1024 * 1024;

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
  // A body that would pass |max_size| bytes fails the transfer (it is not
  // retried). Takes effect at the next Start; kNoBodySizeLimit by default.
  void SetMaxBodySize(uint64_t max_size);

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
  // Shorter periods for tests; a zero resume interval resumes at once.
  void SetStallCheckIntervalForTesting(base::TimeDelta interval);
  void SetMinResumeIntervalForTesting(base::TimeDelta interval);

 private:
  class Relay;
  struct ReadBuffer;
  struct ParsedUrl {
    base::string16 host;
    uint16_t port = 0;
    base::string16 object_name;
    bool secure = false;
  };

  // Only http and https URLs parse.
  static bool ParseUrl(const base::string16& url, ParsedUrl* parsed);
  // The absolute URL that |location| names from |base|; false for an empty
  // target, one with another scheme, and anything WinINet might take for a
  // path of its own (backslashes, control characters).
  static bool ResolveRedirect(const base::string16& base,
                              const base::string16& location,
                              base::string16* target);
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
  void OnRequestComplete(void* handle, uint32_t error);
  bool HandleInitialCompletion();
  bool AcceptWholeBody();
  bool AcceptPart();
  void OnRedirectStatus(uint32_t status);
  void HandleCompletionInProgress();
  bool KeepBlock(uint64_t size);
  void ReportKeptBytes();
  void OnBodyInterrupted();
  void StartOver();
  uint32_t QueryNumber(uint32_t info_level, bool* found);
  base::string16 QueryRawHeader(const wchar_t* name);
  // The Location header's bytes as the server sent them.
  std::string QueryLocationBytes();

  // On any thread.
  void CheckRetriesAndResume();
  void PostToOwner(const base::Closure& task);
  void SetState(State state);

  // On the owner's thread.
  bool SendRequest(const base::string16& url,
                   const base::string16& extra_headers);
  void CloseRequest();
  void Resume();
  void ResumeAfterHeadway();
  void FollowRedirect(const base::string16& url, bool keep_body);
  void CheckProgress();
  void DownloadFailed();
  void DownloadCompleted();
  void Close();
  void OnProxyDialogReply(int32_t result);
  void TakeProxyCredentials();
  void ReportTotalProgress(uint64_t total);
  void ReportCurrentProgress();

  std::atomic<int32_t> state_{STATE_IDLE};

  // The current request's own session, which holds its connection, which
  // holds the request.
  void* session_ = nullptr;
  void* connection_ = nullptr;
  // The request whose callbacks are taken (null once it stalled), and the
  // one that is open.
  void* request_ = nullptr;
  void* open_request_ = nullptr;
  base::scoped_refptr<Relay> relay_;

  base::string16 url_;
  std::string body_;
  std::vector<base::string16> allowed_domains_;
  uint64_t max_body_size_ = kNoBodySizeLimit;

  // The current request: its URL (the transfer's or a redirect target),
  // whether it carries the body, its extra headers (a range), and the
  // redirects followed to reach it.
  base::string16 request_url_;
  bool request_has_body_ = false;
  base::string16 request_headers_;
  int redirects_ = 0;
  // What the user gave the proxy prompt, set on every later request of the
  // transfer: each has a session of its own, and WinINet may keep the
  // credentials on the prompted request's session.
  ProxyCredentials proxy_credentials_;

  std::unique_ptr<ResponseWriter> writer_;
  std::unique_ptr<WininetDelegate> stats_delegate_;

  // The size of the whole body, 0 while unknown.
  uint64_t expected_total_ = 0;
  // Where the current response's bytes must end (0 when it did not say):
  // a longer answer is not the resource.
  uint64_t response_end_ = 0;
  // Where the current request's reads go; owned by the relay.
  ReadBuffer* read_ = nullptr;
  std::atomic<uint64_t> downloaded_{0};
  // The body bytes held when the current request was sent: a response that
  // does not take the count past it brought nothing new.
  uint64_t chunk_start_ = 0;
  bool range_requested_ = false;
  // Set when what was held is dropped: the next request asks for the whole
  // body.
  bool starting_over_ = false;
  // Whether a progress report is on its way to the owner; it reads the
  // count when it runs, so one at a time is enough.
  std::atomic<bool> progress_posted_{false};
  // The count last handed to the owner, and when the next is due while
  // reads follow each other.
  uint64_t reported_downloaded_ = 0;
  base::TimeTicks next_progress_report_;
  // The progress delegate counts in 32 bits: sizes reach it divided by
  // 2^|progress_shift_|.
  int progress_shift_ = 0;
  // Set by Close so that a callback that is reading lets go soon.
  std::atomic<bool> closing_{false};

  // Progress checks: each request is judged every period from its send,
  // unless the transfer waits for a resume or for the user.
  base::RepeatingTimer progress_timer_;
  base::TimeDelta stall_check_interval_ =
      base::TimeDelta::FromMilliseconds(kStallCheckIntervalMs);
  uint64_t judged_downloaded_ = 0;
  std::atomic<bool> awaiting_{false};

  base::TimeDelta min_resume_interval_ =
      base::TimeDelta::FromMilliseconds(kMinResumeIntervalMs);
  base::TimeTicks last_request_time_;

  base::scoped_refptr<base::SingleThreadTaskRunner> owner_task_runner_;
  base::scoped_refptr<base::TaskRunner> retry_task_runner_for_testing_;
  base::Closure completion_;

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

namespace internal {

// The system call that closes a WinINet handle.
using InternetCloseHandleFunction = int(__stdcall*)(void* handle);
// Makes every client close its WinINet handles through |function| instead
// of the system, so that tests see which handle closes when, and on which
// thread; null puts the system call back.
void SetInternetCloseHandleFunctionForTesting(
    InternetCloseHandleFunction function);

// Called on WinINet's thread at the end of each status callback that a
// client receives, after the client has handled it, with WinINet's
// arguments: a test sees the handles as they are made and can hold a
// closing callback open; null for none.
using StatusCallbackHook = void (*)(void* handle,
                                    unsigned long status,
                                    void* info);
void SetStatusCallbackHookForTesting(StatusCallbackHook hook);

// The proxy prompt: asks the user, over |window|, for the credentials that
// the proxy wanted of |request| (a WinINet request handle answered 407),
// leaves what was typed on the request, and answers as the system's prompt
// does (ERROR_INTERNET_FORCE_RETRY after OK). Tests put a stand-in in the
// system's place, since no one answers a dialog there; null puts the
// system's back.
using ProxyPromptFunction = uint32_t (*)(void* request, HWND__* window);
void SetProxyPromptFunctionForTesting(ProxyPromptFunction function);

}  // namespace internal

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_WININET_WININET_H_
