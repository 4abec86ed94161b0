#include "desktop/launcher/installer/wininet/wininet.h"

#include <windows.h>

#include <wininet.h>

#include <string.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/bind.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/utf_string_conversions.h"
#include "base/synchronization/condition_variable.h"
#include "base/synchronization/lock.h"
#include "base/test/task_test_util.h"
#include "base/test/test_simple_task_runner.h"
#include "base/test/unique_test_dir.h"
#include "base/threading/thread.h"
#include "base/threading/thread_task_runner_handle.h"
#include "desktop/common/product/product_info.h"
#include "desktop/launcher/installer/package_fetcher/package_fetcher_delegate.h"
#include "desktop/launcher/installer/package_fetcher/ui_callback_runner.h"
#include "desktop/launcher/installer/wininet/proxy_credentials.h"
#include "desktop/launcher/installer/wininet/test/http_test_server.h"
#include "desktop/launcher/installer/wininet/test/immediate_retry_runner.h"
#include "desktop/launcher/installer/wininet/wininet_delegate.h"
#include "desktop/launcher/installer/wininet/wininet_response_writer.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {

namespace {

void SetFlag(bool* flag) {
  *flag = true;
}

void RunReply(const UICallbackRunner::Reply& reply, int32_t answer) {
  reply.Run(answer);
}

// What kind of WinINet handle |handle| is; 0 when it is none.
DWORD HandleType(HINTERNET handle) {
  DWORD type = 0;
  DWORD size = sizeof(type);
  return InternetQueryOptionW(handle, INTERNET_OPTION_HANDLE_TYPE, &type, &size)
             ? type
             : 0;
}

// Answers every UI callback with a fixed code, after |delay|, as a user at
// the proxy prompt would; the dialog itself cannot appear in a test.
class CannedUICallbackRunner : public UICallbackRunner {
 public:
  explicit CannedUICallbackRunner(int32_t answer,
                                  base::TimeDelta delay = base::TimeDelta())
      : answer_(answer), delay_(delay) {}

  void RunUICallbackAndPostReply(
      const UICallback& /*ui_callback*/,
      const base::scoped_refptr<base::SingleThreadTaskRunner>&
          reply_task_runner,
      const Reply& reply) override {
    ++calls_;
    reply_task_runner->PostDelayedTask(
        LOCATION_FROM_HERE("CannedUICallbackRunner"),
        base::Bind(&RunReply, reply, answer_), delay_);
  }

  int calls() const { return calls_; }

 private:
  const int32_t answer_;
  const base::TimeDelta delay_;
  std::atomic<int> calls_{0};
};

class RecordingProgress : public PackageFetcherDelegate {
 public:
  void SetTotalProgress(int32_t total) override { total_ = total; }
  void SetCurrentProgress(int32_t current) override {
    current_ = current;
    currents_.push_back(current);
  }
  void NotifyStalled() override { ++stalled_; }
  void NotifyStatusChanged(PackageFetcher::Status /*status*/) override {}
  void NotifyTrackingDataObtained(const std::string& /*data*/) override {}

  int32_t total_ = -1;
  int32_t current_ = -1;
  std::vector<int32_t> currents_;
  std::atomic<int> stalled_{0};
};

// A completion that notes the progress the owner had heard of by then.
void NoteProgressAndQuit(const RecordingProgress* progress,
                         int32_t* seen,
                         const base::Closure& quit) {
  *seen = progress->current_;
  quit.Run();
}

// The events of the statistics delegate as text, in order.
class EventLog {
 public:
  void Add(const std::string& event) {
    base::AutoLock hold(lock_);
    events_.push_back(event);
  }
  std::vector<std::string> events() {
    base::AutoLock hold(lock_);
    return events_;
  }

 private:
  base::Lock lock_;
  std::vector<std::string> events_;
};

class RecordingStats : public WininetDelegate {
 public:
  explicit RecordingStats(EventLog* log) : log_(log) {}
  void OnChunkStart(int32_t offset) override {
    log_->Add("start " + std::to_string(offset));
  }
  void OnRedirected(const base::string16& url) override {
    log_->Add("redirect " + base::UTF16ToUTF8(url));
  }
  void OnResponseHeader(const base::string16& name,
                        const base::string16& value) override {
    if (name == L"X-Served-By")
      log_->Add("header " + base::UTF16ToUTF8(value));
  }
  void OnWininetError(int32_t error) override {
    log_->Add("error " + std::to_string(error));
  }
  void OnHttpStatus(int32_t status) override {
    log_->Add("status " + std::to_string(status));
  }
  void OnRetry(int32_t count) override {
    log_->Add("retry " + std::to_string(count));
  }
  void OnChunkEnd(int32_t offset) override {
    log_->Add("end " + std::to_string(offset));
  }

 private:
  EventLog* const log_;
};

// Holds the closing callback of every connection and request that the
// clients make open for a while, as WinINet does when it is slow to let go
// of one, and counts the closes of a held handle's parents (a connection's
// session; a request's connection and session) that other threads enter
// meanwhile: WinINet may still be unlinking the handle from its parent
// then, while the close walks the parent's children. For a handle closed
// on its own, meanwhile begins at its close: WinINet reports it closing
// only once it lets go of it, which may be on another thread after an
// operation of it ends. A handle one of whose parents began to close
// before its callback, or whose callback runs inside a close on its own
// thread, is held a moment; any other, until another thread closes one of
// its parents (or a bound passes). Notes, too, every session that had more
// than one connection.
class ClosingCallbackWatch {
 public:
  // The process's one watch: the seams are plain functions.
  static ClosingCallbackWatch* Get() {
    static ClosingCallbackWatch* watch = new ClosingCallbackWatch;
    return watch;
  }

  void Start() {
    {
      base::AutoLock hold(lock_);
      handles_.clear();
      closes_.clear();
      closed_.clear();
      closing_threads_.clear();
      connections_of_session_.clear();
      connections_ = 0;
      requests_ = 0;
      held_connections_ = 0;
      held_requests_ = 0;
      shared_sessions_ = 0;
      unsafe_closes_ = 0;
    }
    internal::SetInternetCloseHandleFunctionForTesting(&Close);
    internal::SetStatusCallbackHookForTesting(&OnStatus);
  }

  // Waits until every connection and request made since Start has been
  // closed and held, then takes the seams out; false when that did not
  // happen within a minute.
  bool StopWhenEveryHandleClosed() {
    const base::TimeTicks end =
        base::TimeTicks::Now() + base::TimeDelta::FromSeconds(60);
    bool closed = false;
    while (!(closed = AllHeld()) && base::TimeTicks::Now() < end)
      Sleep(10);
    internal::SetStatusCallbackHookForTesting(nullptr);
    internal::SetInternetCloseHandleFunctionForTesting(nullptr);
    return closed;
  }

  int connections() {
    base::AutoLock hold(lock_);
    return connections_;
  }
  int requests() {
    base::AutoLock hold(lock_);
    return requests_;
  }
  int shared_sessions() {
    base::AutoLock hold(lock_);
    return shared_sessions_;
  }
  int unsafe_closes() {
    base::AutoLock hold(lock_);
    return unsafe_closes_;
  }

 private:
  // A connection or request, with its parents from the nearest up.
  struct Handle {
    std::vector<HINTERNET> parents;
    bool request = false;
    bool held = false;
    // The number of the close of this handle itself, 0 for none.
    size_t closed_alone = 0;
  };
  struct Closing {
    HINTERNET handle;
    DWORD thread;
  };
  struct Hold {
    std::vector<HINTERNET> parents;
    DWORD thread;
    bool closed_elsewhere;
  };

  static BOOL WINAPI Close(HINTERNET handle) {
    Get()->NoteClose(handle);
    const BOOL closed = InternetCloseHandle(handle);
    Get()->NoteCloseReturned();
    return closed;
  }

  static void OnStatus(void* handle, unsigned long status, void* info) {
    if (status == INTERNET_STATUS_HANDLE_CREATED && info)
      Get()->NoteCreated(handle, *static_cast<HINTERNET*>(info));
    else if (status == INTERNET_STATUS_HANDLE_CLOSING)
      Get()->HoldClosing(handle);
  }

  bool AllHeld() {
    base::AutoLock hold(lock_);
    return held_connections_ == connections_ && held_requests_ == requests_;
  }

  void NoteClose(HINTERNET handle) {
    base::AutoLock hold(lock_);
    closes_.push_back({handle, GetCurrentThreadId()});
    auto closed_alone = handles_.find(handle);
    if (closed_alone != handles_.end())
      closed_alone->second.closed_alone = closes_.size();
    closed_.insert(handle);
    connections_of_session_.erase(handle);
    closing_threads_.insert(GetCurrentThreadId());
    for (Hold* held : holds_) {
      if (held->thread != GetCurrentThreadId() &&
          std::count(held->parents.begin(), held->parents.end(), handle)) {
        held->closed_elsewhere = true;
        ++unsafe_closes_;
      }
    }
    closed_event_.Broadcast();
  }

  void NoteCloseReturned() {
    base::AutoLock hold(lock_);
    // A close that began before Start is not counted.
    auto thread = closing_threads_.find(GetCurrentThreadId());
    if (thread != closing_threads_.end())
      closing_threads_.erase(thread);
  }

  // WinINet reports a new handle to its parent's callback.
  void NoteCreated(HINTERNET parent, HINTERNET child) {
    const DWORD type = HandleType(parent);
    base::AutoLock hold(lock_);
    Handle created;
    created.parents.push_back(parent);
    if (type == INTERNET_HANDLE_TYPE_INTERNET) {
      // Handle values come back once WinINet has let go of them.
      closed_.erase(parent);
      ++connections_;
      if (++connections_of_session_[parent] > 1)
        ++shared_sessions_;
    } else if (type == INTERNET_HANDLE_TYPE_CONNECT_HTTP) {
      auto connection = handles_.find(parent);
      if (connection != handles_.end())
        created.parents.push_back(connection->second.parents[0]);
      created.request = true;
      ++requests_;
    } else {
      return;
    }
    closed_.erase(child);
    handles_[child] = created;
  }

  void HoldClosing(HINTERNET handle) {
    base::AutoLock hold(lock_);
    auto it = handles_.find(handle);
    if (it == handles_.end() || it->second.held)
      return;
    it->second.held = true;
    Hold held = {it->second.parents, GetCurrentThreadId(), false};
    const bool request = it->second.request;
    if (it->second.closed_alone)
      CountClosesSince(it->second.closed_alone, &held);
    bool parent_closing = closing_threads_.count(held.thread) > 0;
    for (HINTERNET parent : held.parents)
      parent_closing = parent_closing || closed_.count(parent) > 0;
    const base::TimeTicks end =
        base::TimeTicks::Now() +
        base::TimeDelta::FromMilliseconds(parent_closing ? 100 : 10000);
    holds_.push_back(&held);
    for (base::TimeTicks now = base::TimeTicks::Now();
         !held.closed_elsewhere && now < end; now = base::TimeTicks::Now()) {
      closed_event_.TimedWait(end - now);
    }
    holds_.erase(std::find(holds_.begin(), holds_.end(), &held));
    ++(request ? held_requests_ : held_connections_);
  }

  // The closes of |held|'s parents from other threads after the close
  // numbered |first|.
  void CountClosesSince(size_t first, Hold* held) {
    for (size_t i = first; i < closes_.size(); ++i) {
      if (closes_[i].thread != held->thread &&
          std::count(held->parents.begin(), held->parents.end(),
                     closes_[i].handle)) {
        held->closed_elsewhere = true;
        ++unsafe_closes_;
      }
    }
  }

  base::Lock lock_;
  base::ConditionVariable closed_event_{&lock_};
  std::map<HINTERNET, Handle> handles_;
  // Every close since Start, in order.
  std::vector<Closing> closes_;
  // The handles whose close has begun, and the threads inside a close.
  std::set<HINTERNET> closed_;
  std::multiset<DWORD> closing_threads_;
  std::map<HINTERNET, int> connections_of_session_;
  std::vector<Hold*> holds_;
  int connections_ = 0;
  int requests_ = 0;
  int held_connections_ = 0;
  int held_requests_ = 0;
  int shared_sessions_ = 0;
  int unsafe_closes_ = 0;
};

class WininetTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.Start());
    retry_runner_ = new ImmediateRetryRunner;
    client_.SetRetryTaskRunnerForTesting(retry_runner_);
    client_.SetMinResumeIntervalForTesting(base::TimeDelta());
  }

  // Runs the loop until |done| holds or |seconds| pass; whether it held.
  template <typename Predicate>
  bool RunUntil(Predicate done, int seconds = 30) {
    const base::TimeTicks end =
        base::TimeTicks::Now() + base::TimeDelta::FromSeconds(seconds);
    while (!done()) {
      if (base::TimeTicks::Now() > end)
        return false;
      base::test::RunUntilIdle();
      Sleep(10);
    }
    return true;
  }

  // Starts a transfer into |writer| and runs the loop until its completion.
  // False when it did not start or did not end within the time-out.
  bool Fetch(const std::string& path,
             const std::string& body,
             std::unique_ptr<ResponseWriter> writer) {
    base::RunLoop run_loop;
    if (!client_.Start(server_.Url(path), body, run_loop.QuitClosure(),
                       std::move(writer),
                       std::make_unique<RecordingStats>(&events_))) {
      return false;
    }
    return base::test::RunWithTimeout(&run_loop,
                                      base::TimeDelta::FromSeconds(30));
  }

  bool FetchString(const std::string& path, const std::string& body = "") {
    received_.clear();
    return Fetch(path, body,
                 std::make_unique<StringResponseWriter>(&received_));
  }

  bool FetchFile(const std::string& path) {
    auto writer = std::make_unique<FileResponseWriter>();
    if (!writer->Open(file_path()))
      return false;
    return Fetch(path, "", std::move(writer));
  }

  base::FilePath file_path() const { return dir_.path().Append(L"body.bin"); }
  std::string file_contents() const {
    std::string contents;
    base::ReadFileToString(file_path(), &contents);
    return contents;
  }

  // The statistics events that start with one of |prefixes|, in order.
  std::vector<std::string> Events(std::vector<std::string> prefixes) {
    std::vector<std::string> found;
    for (const std::string& event : events_.events()) {
      for (const std::string& prefix : prefixes) {
        if (event.compare(0, prefix.size(), prefix) == 0)
          found.push_back(event);
      }
    }
    return found;
  }

  // The Range header of every request the server saw ("-" for none).
  std::vector<std::string> Ranges() {
    std::vector<std::string> ranges;
    for (const HttpTestServer::Request& request : server_.GetRequests()) {
      auto it = request.headers.find("Range");
      ranges.push_back(it == request.headers.end() ? "-" : it->second);
    }
    return ranges;
  }

  base::MessageLoop loop_;
  base::UniqueTestDir dir_;
  HttpTestServer server_;
  CannedUICallbackRunner ui_runner_{0};
  RecordingProgress progress_;
  EventLog events_;
  base::scoped_refptr<ImmediateRetryRunner> retry_runner_;
  std::string received_;
  Wininet client_{&ui_runner_, &progress_};
};

TEST_F(WininetTest, GetSendsNoBodyAndReceivesTheWholeBody) {
  ASSERT_TRUE(FetchString("/bytes/70000"));
  EXPECT_EQ(Wininet::STATE_COMPLETED, client_.state());
  EXPECT_EQ(HttpTestServer::Pattern(70000), received_);
  EXPECT_EQ(70000, progress_.total_);
  EXPECT_EQ(70000, progress_.current_);

  std::vector<HttpTestServer::Request> requests = server_.GetRequests();
  ASSERT_EQ(1u, requests.size());
  EXPECT_EQ("GET", requests[0].method);
  EXPECT_EQ("/bytes/70000", requests[0].path);
  EXPECT_EQ("", requests[0].body);
  EXPECT_EQ("Vexlo NetInstaller/" + ProductInfo::GetVersionString(),
            requests[0].headers["User-Agent"]);
  // A read that waits for data completes with one more "error 0" of its own.
  std::vector<std::string> events = events_.events();
  ASSERT_GE(events.size(), 5u);
  EXPECT_EQ("error 0", events[1]);
  std::vector<std::string> others;
  for (const std::string& event : events) {
    if (event != "error 0")
      others.push_back(event);
  }
  EXPECT_EQ((std::vector<std::string>{"start 0", "status 200",
                                      "header http_test_server", "end 70000"}),
            others);
}

TEST_F(WininetTest, PostSendsTheBodyExactly) {
  const std::string body("tracking\0data \xff\x01", 16);
  ASSERT_TRUE(FetchString("/echo?x=1", body));
  EXPECT_EQ(Wininet::STATE_COMPLETED, client_.state());
  EXPECT_EQ(body, received_);
  std::vector<HttpTestServer::Request> requests = server_.GetRequests();
  ASSERT_EQ(1u, requests.size());
  EXPECT_EQ("POST", requests[0].method);
  EXPECT_EQ("/echo?x=1", requests[0].path);
  EXPECT_EQ(body, requests[0].body);
}

TEST_F(WininetTest, StatusDecidesBetweenSuccessRetryAndFailure) {
  struct Case {
    const char* path;
    int32_t max_retries;
    Wininet::State end_state;
    size_t requests;
  } cases[] = {
      {"/status/200", 600, Wininet::STATE_COMPLETED, 1},
      {"/status/404", 600, Wininet::STATE_FAILED, 1},
      {"/status/500", 600, Wininet::STATE_FAILED, 1},
      {"/status/301", 600, Wininet::STATE_FAILED, 1},
      // A maximum of 0 still grants one retry.
      {"/status/502", 0, Wininet::STATE_FAILED, 2},
      {"/status/503", 2, Wininet::STATE_FAILED, 4},
      {"/status/504", 1, Wininet::STATE_FAILED, 3},
      {"/seq/503,504,502,200", 2, Wininet::STATE_COMPLETED, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    ASSERT_TRUE(server_.Reset());
    client_.SetMaxRetries(c.max_retries);
    ASSERT_TRUE(FetchString(c.path));
    EXPECT_EQ(c.end_state, client_.state());
    EXPECT_EQ(c.requests, server_.GetRequests().size());
  }
  // Every counted retry asked for the same pause.
  for (int64_t delay : retry_runner_->delays_ms())
    EXPECT_EQ(Wininet::kRetryDelayMs, delay);
  EXPECT_EQ(1u + 3u + 2u + 3u, retry_runner_->delays_ms().size());
}

// A connection that ends before the answer's status line, closed or reset,
// is lost like any other: retried, never a failure of its own. (A request
// sent on a connection kept from an earlier answer, and reset, completes
// now and then with no status: it is tried many times.)
TEST_F(WininetTest, ConnectionsEndingBeforeTheStatusAreRetried) {
  client_.SetMaxRetries(3);
  for (const char* path : {"/seq/0,200", "/seq/0,0,200?drop=reset"}) {
    SCOPED_TRACE(path);
    for (int i = 0; i < 20; ++i) {
      ASSERT_TRUE(FetchString("/status/200"));
      ASSERT_TRUE(server_.Reset());
      ASSERT_TRUE(FetchString(path));
      ASSERT_EQ(Wininet::STATE_COMPLETED, client_.state());
      EXPECT_EQ(HttpTestServer::Pattern(1000), received_);
    }
  }
}

TEST_F(WininetTest, RetriesCountUpAndReportStalling) {
  client_.SetMaxRetries(3);
  ASSERT_TRUE(FetchString("/seq/503,503,503,503,200?size=3000"));
  EXPECT_EQ(Wininet::STATE_COMPLETED, client_.state());
  EXPECT_EQ(HttpTestServer::Pattern(3000), received_);
  EXPECT_EQ(0, client_.retry_count());
  // Checks at the counts 2 and 3 come after two failures in a row.
  EXPECT_EQ(2, progress_.stalled_);
  EXPECT_EQ(
      (std::vector<std::string>{"retry 1", "retry 2", "retry 3", "retry 4"}),
      Events({"retry "}));
  EXPECT_EQ((std::vector<std::string>{"-", "bytes=0-", "bytes=0-", "bytes=0-",
                                      "bytes=0-"}),
            Ranges());
}

TEST_F(WininetTest, ResumesAfterCutsAtSeveralOffsetsToAnIdenticalFile) {
  const uint32_t size = 300000;
  ASSERT_TRUE(FetchFile("/bytes/300000?cut=1,4096,150000,299999"));
  EXPECT_EQ(Wininet::STATE_COMPLETED, client_.state());
  EXPECT_TRUE(file_contents() == HttpTestServer::Pattern(size));
  EXPECT_EQ((std::vector<std::string>{"-", "bytes=1-", "bytes=4096-",
                                      "bytes=150000-", "bytes=299999-"}),
            Ranges());
  // Resumes that made headway are neither delayed nor counted.
  EXPECT_TRUE(retry_runner_->delays_ms().empty());
  EXPECT_EQ(
      (std::vector<std::string>{"start 0", "end 1", "start 1", "end 4096",
                                "start 4096", "end 150000", "start 150000",
                                "end 299999", "start 299999", "end 300000"}),
      Events({"start ", "end "}));
  EXPECT_EQ(static_cast<int32_t>(size), progress_.total_);
  EXPECT_EQ(static_cast<int32_t>(size), progress_.current_);
}

// After a retried failure the first body comes as a part, from offset 0; its
// length gives the total, so that a cut in it is resumed.
TEST_F(WininetTest, APartFirstCutShortIsResumed) {
  ASSERT_TRUE(FetchFile("/seq/503,200,200?size=5000&cut=0,2000"));
  EXPECT_EQ(Wininet::STATE_COMPLETED, client_.state());
  EXPECT_TRUE(file_contents() == HttpTestServer::Pattern(5000));
  EXPECT_EQ((std::vector<std::string>{"-", "bytes=0-", "bytes=2000-"}),
            Ranges());
  EXPECT_EQ(5000, progress_.total_);
}

TEST_F(WininetTest, AWholeBodyAnsweringARangeStartsTheBodyOver) {
  ASSERT_TRUE(FetchFile("/bytes/100000?cut=30000,70000&norange=1"));
  EXPECT_EQ(Wininet::STATE_COMPLETED, client_.state());
  EXPECT_TRUE(file_contents() == HttpTestServer::Pattern(100000));
  EXPECT_EQ((std::vector<std::string>{"-", "bytes=30000-", "bytes=70000-"}),
            Ranges());

  ASSERT_TRUE(server_.Reset());
  ASSERT_TRUE(FetchString("/bytes/50000?cut=20000&norange=1"));
  EXPECT_TRUE(received_ == HttpTestServer::Pattern(50000));
}

TEST_F(WininetTest, ResponsesThatBringNothingNewAreCountedAndDelayed) {
  client_.SetMaxRetries(2);
  ASSERT_TRUE(FetchString("/bytes/5000?cut=100,100,100,100,100,100"));
  EXPECT_EQ(Wininet::STATE_FAILED, client_.state());
  // The first cut made headway; then three empty answers were retried,
  // each after the pause, and the fourth failed the transfer.
  EXPECT_EQ(5u, server_.GetRequests().size());
  EXPECT_EQ(
      (std::vector<int64_t>{Wininet::kRetryDelayMs, Wininet::kRetryDelayMs,
                            Wininet::kRetryDelayMs}),
      retry_runner_->delays_ms());

  // An answer that ignores the range and breaks off where the last one did
  // brings nothing new either.
  ASSERT_TRUE(server_.Reset());
  ASSERT_TRUE(FetchString("/bytes/5000?cut=100,100,100,100,100&norange=1"));
  EXPECT_EQ(Wininet::STATE_FAILED, client_.state());
  EXPECT_EQ(5u, server_.GetRequests().size());
}

TEST_F(WininetTest, BodyWithoutLengthEndsWithTheConnection) {
  ASSERT_TRUE(FetchString("/bytes/20000?nolength=1"));
  EXPECT_EQ(Wininet::STATE_COMPLETED, client_.state());
  EXPECT_EQ(HttpTestServer::Pattern(20000), received_);
  EXPECT_EQ(0, progress_.total_);
}

TEST_F(WininetTest, RedirectsFollowOnlyIntoAllowedDomains) {
  const std::string to_loopback_name =
      "/redirect?to=http://localhost:" + std::to_string(server_.port()) +
      "/bytes/800";
  const std::string to_loopback_address =
      "/redirect?to=" + base::UTF16ToUTF8(server_.Url("/bytes/900"));
  struct Case {
    std::vector<base::string16> domains;
    std::string path;
    Wininet::State end_state;
    size_t body_size;
  } cases[] = {
      {{}, to_loopback_name, Wininet::STATE_COMPLETED, 800},
      {{L"127.0.0.1"}, to_loopback_address, Wininet::STATE_COMPLETED, 900},
      {{L"127.0.0.1"}, to_loopback_name, Wininet::STATE_FAILED, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    client_.SetAllowedDomains(c.domains);
    ASSERT_TRUE(FetchString(c.path));
    EXPECT_EQ(c.end_state, client_.state());
    EXPECT_EQ(HttpTestServer::Pattern(c.body_size), received_);
  }
  const std::string by_name =
      "redirect " + to_loopback_name.substr(strlen("/redirect?to="));
  EXPECT_EQ(
      (std::vector<std::string>{
          by_name,
          "redirect " + to_loopback_address.substr(strlen("/redirect?to=")),
          by_name}),
      Events({"redirect "}));
}

TEST_F(WininetTest, ConnectionResetsResumeAndRefusedConnectionsRetry) {
  ASSERT_TRUE(FetchFile("/bytes/200000?cut=5000,90000&reset=1"));
  EXPECT_EQ(Wininet::STATE_COMPLETED, client_.state());
  EXPECT_TRUE(file_contents() == HttpTestServer::Pattern(200000));
  EXPECT_EQ(3u, server_.GetRequests().size());

  // Nothing listens on the port of a stopped server: a connectivity error,
  // retried once with a maximum of 0.
  const base::string16 url = server_.Url("/bytes/10");
  server_.Stop();
  client_.SetMaxRetries(0);
  const size_t delays_before = retry_runner_->delays_ms().size();
  base::RunLoop run_loop;
  ASSERT_TRUE(client_.Start(url, "", run_loop.QuitClosure(),
                            std::make_unique<DiscardingResponseWriter>(),
                            std::make_unique<WininetDelegate>()));
  ASSERT_TRUE(base::test::RunWithTimeout(&run_loop));
  EXPECT_EQ(Wininet::STATE_FAILED, client_.state());
  EXPECT_EQ(delays_before + 1, retry_runner_->delays_ms().size());
}

TEST_F(WininetTest, StartRefusesDisallowedHostsAndBadUrls) {
  bool completed = false;
  client_.SetAllowedDomains({L".vexlo.example.invalid"});
  EXPECT_FALSE(client_.Start(server_.Url("/bytes/10"), "",
                             base::Bind(&SetFlag, &completed),
                             std::make_unique<DiscardingResponseWriter>(),
                             std::make_unique<WininetDelegate>()));
  client_.SetAllowedDomains({});
  EXPECT_FALSE(client_.Start(L"not a url", "", base::Bind(&SetFlag, &completed),
                             std::make_unique<DiscardingResponseWriter>(),
                             std::make_unique<WininetDelegate>()));
  base::test::RunUntilIdle();
  EXPECT_FALSE(completed);
  EXPECT_TRUE(server_.GetRequests().empty());
}

TEST_F(WininetTest, AWriterThatFailsFailsTheTransfer) {
  ASSERT_TRUE(Fetch("/bytes/3000", "", std::make_unique<FileResponseWriter>()));
  EXPECT_EQ(Wininet::STATE_FAILED, client_.state());
}

// A name planted where the download goes, a hard link to another file or
// a file of its own, is replaced, never written through.
TEST_F(WininetTest, TheFileWriterNeverWritesThroughWhatWasThere) {
  base::UniqueTestDir dir;
  const base::FilePath victim = dir.path().Append(L"victim.txt");
  const base::FilePath download = dir.path().Append(L"download.exe");
  ASSERT_EQ(4, base::WriteFile(victim, "kept", 4));
  ASSERT_TRUE(::CreateHardLinkW(download.value().c_str(),
                                victim.value().c_str(), nullptr));
  auto writer = std::make_unique<FileResponseWriter>();
  ASSERT_TRUE(writer->Open(download));
  EXPECT_TRUE(writer->Write("new", 3));
  writer->Close();
  std::string contents;
  EXPECT_TRUE(base::ReadFileToString(victim, &contents));
  EXPECT_EQ("kept", contents);
  EXPECT_TRUE(base::ReadFileToString(download, &contents));
  EXPECT_EQ("new", contents);
}

TEST(WininetHostTest, HostsMatchOnDotBoundariesIgnoringCase) {
  const std::vector<base::string16> domains = {L".vexlo.example", L"localhost",
                                               L"127.0.0.1"};
  struct Case {
    const wchar_t* host;
    bool allowed;
  } cases[] = {
      {L"www.vexlo.example", true},  {L"WWW.Vexlo.EXAMPLE", true},
      {L"a.b.vexlo.example", true},  {L"vexlo.example", false},
      {L"evilvexlo.example", false}, {L"localhost", true},
      {L"LOCALHOST", true},          {L"evillocalhost", false},
      {L"sub.localhost", true},      {L"127.0.0.1", true},
      {L"1127.0.0.1", false},        {L"", false},
      {L"example", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.allowed, Wininet::IsHostAllowed(c.host, domains)) << c.host;
  EXPECT_TRUE(Wininet::IsHostAllowed(L"anything.example", {}));
}

struct ProxyCase {
  int32_t answer;
  Wininet::State end_state;
};

class WininetProxyTest : public WininetTest,
                         public testing::WithParamInterface<ProxyCase> {};

TEST_P(WininetProxyTest, ProxyPromptAnswerDecides) {
  CannedUICallbackRunner prompt(GetParam().answer);
  Wininet client(&prompt, nullptr);
  base::RunLoop run_loop;
  received_.clear();
  ASSERT_TRUE(client.Start(server_.Url("/seq/407,200?size=600"), "",
                           run_loop.QuitClosure(),
                           std::make_unique<StringResponseWriter>(&received_),
                           std::make_unique<WininetDelegate>()));
  ASSERT_TRUE(base::test::RunWithTimeout(&run_loop));
  EXPECT_EQ(1, prompt.calls());
  EXPECT_EQ(GetParam().end_state, client.state());
  if (GetParam().end_state == Wininet::STATE_COMPLETED) {
    EXPECT_EQ(HttpTestServer::Pattern(600), received_);
    EXPECT_EQ((std::vector<std::string>{"-", "bytes=0-"}), Ranges());
  } else {
    EXPECT_EQ(1u, server_.GetRequests().size());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Answers,
    WininetProxyTest,
    testing::Values(ProxyCase{ERROR_INTERNET_FORCE_RETRY,
                              Wininet::STATE_COMPLETED},
                    ProxyCase{0, Wininet::STATE_FAILED},
                    ProxyCase{ERROR_CANCELLED, Wininet::STATE_FAILED},
                    ProxyCase{ERROR_ACCESS_DENIED, Wininet::STATE_FAILED}));

// Stands in for the system's proxy prompt and its user: does to the request
// what the prompt does when the user types a user name and a password and
// presses OK (sets them on the request, answers ERROR_INTERNET_FORCE_RETRY),
// or Cancel. One answer of its script a prompt; past its end it cancels, so
// that a client that keeps asking fails rather than loops.
class ScriptedProxyPrompt {
 public:
  struct Answer {
    // Null for Cancel.
    const wchar_t* user;
    const wchar_t* password;
  };

  // The process's one prompt: the seam is a plain function.
  static ScriptedProxyPrompt* Get() {
    static ScriptedProxyPrompt* prompt = new ScriptedProxyPrompt;
    return prompt;
  }

  void Start(const std::vector<Answer>& script) {
    {
      base::AutoLock hold(lock_);
      script_ = script;
      prompts_ = 0;
      not_requests_ = 0;
    }
    internal::SetProxyPromptFunctionForTesting(&Prompt);
  }
  void Stop() { internal::SetProxyPromptFunctionForTesting(nullptr); }

  int prompts() {
    base::AutoLock hold(lock_);
    return prompts_;
  }
  // Prompts for a handle that was not a request.
  int not_requests() {
    base::AutoLock hold(lock_);
    return not_requests_;
  }

 private:
  static uint32_t Prompt(void* request, HWND__* /*window*/) {
    return Get()->AnswerPrompt(request);
  }

  uint32_t AnswerPrompt(HINTERNET request) {
    const bool is_request =
        HandleType(request) == INTERNET_HANDLE_TYPE_HTTP_REQUEST;
    Answer answer = {nullptr, nullptr};
    {
      base::AutoLock hold(lock_);
      not_requests_ += is_request ? 0 : 1;
      if (static_cast<size_t>(prompts_) < script_.size())
        answer = script_[prompts_];
      ++prompts_;
    }
    if (!answer.user)
      return ERROR_CANCELLED;
    if (!SetOption(request, INTERNET_OPTION_PROXY_USERNAME, answer.user) ||
        !SetOption(request, INTERNET_OPTION_PROXY_PASSWORD, answer.password)) {
      return GetLastError();
    }
    return ERROR_INTERNET_FORCE_RETRY;
  }

  static bool SetOption(HINTERNET request, DWORD option, const wchar_t* text) {
    return InternetSetOptionW(request, option, const_cast<wchar_t*>(text),
                              static_cast<DWORD>(wcslen(text) + 1)) != FALSE;
  }

  base::Lock lock_;
  std::vector<Answer> script_;
  int prompts_ = 0;
  int not_requests_ = 0;
};

// Every line logged while one lives, by any thread, with every verbose
// level on; the lines still go where they would.
class CapturedLog {
 public:
  CapturedLog() {
    base::AutoLock hold(Lock());
    Text().clear();
    base::SetMinLogLevel(-9);
    base::SetLogMessageHandler(&Capture);
  }
  CapturedLog(const CapturedLog&) = delete;
  CapturedLog& operator=(const CapturedLog&) = delete;
  ~CapturedLog() {
    base::SetLogMessageHandler(nullptr);
    base::SetMinLogLevel(0);
  }

  bool Holds(const std::string& text) const {
    base::AutoLock hold(Lock());
    return Text().find(text) != std::string::npos;
  }

 private:
  // Never freed: a thread of the client may still log once the test ends.
  static base::Lock& Lock() {
    static base::Lock* lock = new base::Lock;
    return *lock;
  }
  static std::string& Text() {
    static std::string* text = new std::string;
    return *text;
  }
  static bool Capture(int, const char*, int, size_t, const std::string& line) {
    base::AutoLock hold(Lock());
    Text() += line;
    return false;
  }
};

void RunUICallbackAndPostItsReply(
    const UICallbackRunner::UICallback& ui_callback,
    const base::scoped_refptr<base::SingleThreadTaskRunner>& reply_task_runner,
    const UICallbackRunner::Reply& reply) {
  reply_task_runner->PostTask(
      LOCATION_FROM_HERE("RunUICallbackAndPostItsReply"),
      base::Bind(&RunReply, reply, ui_callback.Run(nullptr)));
}

// Runs UI callbacks on a thread of their own, as the installer's window
// thread does.
class ThreadUICallbackRunner : public UICallbackRunner {
 public:
  ThreadUICallbackRunner() { thread_.Start(); }

  void RunUICallbackAndPostReply(
      const UICallback& ui_callback,
      const base::scoped_refptr<base::SingleThreadTaskRunner>&
          reply_task_runner,
      const Reply& reply) override {
    thread_.task_runner()->PostTask(
        LOCATION_FROM_HERE("ThreadUICallbackRunner"),
        base::Bind(&RunUICallbackAndPostItsReply, ui_callback,
                   reply_task_runner, reply));
  }

 private:
  base::Thread thread_{"UI callbacks"};
};

// What the user types into the proxy prompt goes with every later request
// of the transfer, whichever handle WinINet keeps it on, and a password
// without a user name as well: the prompt comes once, whatever follows it
// (a resume after a cut, a counted retry, a redirect hop), and again only
// when the proxy refuses what was typed. Cancel fails the transfer. The
// next transfer asks afresh. No password typed reaches the log.
TEST_F(WininetTest, CredentialsGivenToTheProxyPromptGoWithEveryLaterRequest) {
  const std::string kUser = "proxy-user";
  const std::string kPassword = "s3cret.pass";
  const std::string kWrongPassword = "wr0ng.pass";
  // Longer than the room a first read of it has.
  const std::string kLongPassword(300, 'p');
  const std::wstring long_password(kLongPassword.begin(), kLongPassword.end());
  using Answer = ScriptedProxyPrompt::Answer;
  const Answer kRight = {L"proxy-user", L"s3cret.pass"};
  const Answer kWrong = {L"proxy-user", L"wr0ng.pass"};
  const Answer kCancel = {nullptr, nullptr};
  struct Case {
    const char* name;
    // The proxy's user name and password, and the path behind it.
    std::string user;
    std::string password;
    std::string path;
    std::vector<Answer> answers;
    Wininet::State end_state;
    uint32_t body_size;
    // What the proxy let through, in order: path and Range of each.
    std::vector<std::string> let_through;
  } cases[] = {
      {"a plain download",
       kUser,
       kPassword,
       "/bytes/70000",
       {kRight},
       Wininet::STATE_COMPLETED,
       70000,
       {"/bytes/70000 bytes=0-"}},
      {"cut once",
       kUser,
       kPassword,
       "/bytes/100000?cut=40000",
       {kRight},
       Wininet::STATE_COMPLETED,
       100000,
       {"/bytes/100000?cut=40000 bytes=0-",
        "/bytes/100000?cut=40000 bytes=40000-"}},
      {"a password alone, cut once",
       "",
       kPassword,
       "/bytes/100000?cut=40000",
       {{L"", L"s3cret.pass"}},
       Wininet::STATE_COMPLETED,
       100000,
       {"/bytes/100000?cut=40000 bytes=0-",
        "/bytes/100000?cut=40000 bytes=40000-"}},
      {"a user name alone, cut once",
       kUser,
       "",
       "/bytes/100000?cut=40000",
       {{L"proxy-user", L""}},
       Wininet::STATE_COMPLETED,
       100000,
       {"/bytes/100000?cut=40000 bytes=0-",
        "/bytes/100000?cut=40000 bytes=40000-"}},
      {"a counted retry",
       kUser,
       kPassword,
       "/seq/503,200?size=3000",
       {kRight},
       Wininet::STATE_COMPLETED,
       3000,
       {"/seq/503,200?size=3000 bytes=0-", "/seq/503,200?size=3000 bytes=0-"}},
      {"a redirect hop",
       kUser,
       kPassword,
       "/redirect?to=" +
           HttpTestServer::ProxiedPath(kUser, kPassword, "/bytes/700"),
       {kRight},
       Wininet::STATE_COMPLETED,
       700,
       {"/redirect?to=" +
            HttpTestServer::ProxiedPath(kUser, kPassword, "/bytes/700") +
            " bytes=0-",
        "/bytes/700 bytes=0-"}},
      {"wrong credentials first",
       kUser,
       kPassword,
       "/bytes/5000",
       {kWrong, kRight},
       Wininet::STATE_COMPLETED,
       5000,
       {"/bytes/5000 bytes=0-"}},
      {"a long password",
       kUser,
       kLongPassword,
       "/bytes/100000?cut=40000",
       {{L"proxy-user", long_password.c_str()}},
       Wininet::STATE_COMPLETED,
       100000,
       {"/bytes/100000?cut=40000 bytes=0-",
        "/bytes/100000?cut=40000 bytes=40000-"}},
      {"cancelled",
       kUser,
       kPassword,
       "/bytes/5000",
       {kCancel},
       Wininet::STATE_FAILED,
       0,
       {}},
  };
  CapturedLog log;
  ThreadUICallbackRunner ui_runner;
  Wininet client(&ui_runner, nullptr);
  client.SetRetryTaskRunnerForTesting(retry_runner_);
  client.SetMinResumeIntervalForTesting(base::TimeDelta());
  ScriptedProxyPrompt* prompt = ScriptedProxyPrompt::Get();
  for (const Case& c : cases) {
    const std::string proxy =
        HttpTestServer::ProxiedPath(c.user, c.password, "");
    for (const char* transfer : {"first", "next"}) {
      SCOPED_TRACE(std::string(c.name) + ", " + transfer + " transfer");
      ASSERT_TRUE(server_.Reset());
      prompt->Start(c.answers);
      received_.clear();
      base::RunLoop run_loop;
      ASSERT_TRUE(
          client.Start(server_.Url(proxy + c.path), "", run_loop.QuitClosure(),
                       std::make_unique<StringResponseWriter>(&received_),
                       std::make_unique<WininetDelegate>()));
      const bool ended = base::test::RunWithTimeout(&run_loop);
      prompt->Stop();
      ASSERT_TRUE(ended);
      EXPECT_EQ(c.end_state, client.state());
      EXPECT_TRUE(received_ == HttpTestServer::Pattern(c.body_size));
      EXPECT_EQ(static_cast<int>(c.answers.size()), prompt->prompts());
      EXPECT_EQ(0, prompt->not_requests());
      std::vector<std::string> let_through;
      for (const HttpTestServer::Request& request : server_.GetRequests()) {
        auto range = request.headers.find("Range");
        let_through.push_back(
            request.path.substr(proxy.size()) + " " +
            (range == request.headers.end() ? "-" : range->second));
      }
      EXPECT_EQ(c.let_through, let_through);
    }
  }
  EXPECT_TRUE(log.Holds("Logged in to proxy"));
  for (const std::string& typed : {kPassword, kWrongPassword, kLongPassword})
    EXPECT_FALSE(log.Holds(typed)) << typed;
}

// Credentials that a request refuses, as a closed one does, say so and put
// no password in the log; a request open takes them whole.
TEST(ProxyCredentialsTest, ARequestThatRefusesThemLogsNoPassword) {
  const wchar_t kUser[] = L"proxy-user";
  const wchar_t kPassword[] = L"s3cret.pass";
  CapturedLog log;
  const auto set = [](HINTERNET handle, DWORD option, const wchar_t* text) {
    return InternetSetOptionW(handle, option, const_cast<wchar_t*>(text),
                              static_cast<DWORD>(wcslen(text) + 1)) != FALSE;
  };
  const auto query = [](HINTERNET handle, DWORD option) {
    wchar_t text[64] = {};
    DWORD size = sizeof(text) - sizeof(wchar_t);
    return InternetQueryOptionW(handle, option, text, &size)
               ? std::wstring(text)
               : std::wstring(L"none");
  };
  HINTERNET session =
      InternetOpenW(L"test", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  ASSERT_TRUE(session);
  HINTERNET connection = InternetConnectW(session, L"127.0.0.1", 80, nullptr,
                                          nullptr, INTERNET_SERVICE_HTTP, 0, 0);
  ASSERT_TRUE(connection);
  const auto open_request = [connection] {
    return HttpOpenRequestW(connection, L"GET", L"/", nullptr, nullptr, nullptr,
                            INTERNET_FLAG_NO_CACHE_WRITE, 0);
  };
  // As the prompt leaves them.
  HINTERNET prompted = open_request();
  ASSERT_TRUE(prompted);
  ASSERT_TRUE(set(prompted, INTERNET_OPTION_PROXY_USERNAME, kUser));
  ASSERT_TRUE(set(prompted, INTERNET_OPTION_PROXY_PASSWORD, kPassword));
  ProxyCredentials credentials;
  EXPECT_TRUE(credentials.ReadFrom({nullptr, prompted}));
  InternetCloseHandle(prompted);
  HINTERNET request = open_request();
  ASSERT_TRUE(request);
  EXPECT_TRUE(credentials.ApplyTo(request));
  EXPECT_EQ(kUser, query(request, INTERNET_OPTION_PROXY_USERNAME));
  EXPECT_EQ(kPassword, query(request, INTERNET_OPTION_PROXY_PASSWORD));
  InternetCloseHandle(request);
  HINTERNET closed = open_request();
  ASSERT_TRUE(closed);
  InternetCloseHandle(closed);
  EXPECT_FALSE(credentials.ApplyTo(closed));
  InternetCloseHandle(connection);
  InternetCloseHandle(session);
  EXPECT_FALSE(log.Holds("s3cret.pass"));
}

// Tasks the transfer queued for its owner before Stop must come to nothing.
TEST(WininetStopTest, StopVoidsWhatTheTransferAlreadyQueued) {
  HttpTestServer server;
  ASSERT_TRUE(server.Start());
  base::scoped_refptr<base::TestSimpleTaskRunner> owner =
      new base::TestSimpleTaskRunner;
  base::ThreadTaskRunnerHandle handle(owner);
  CannedUICallbackRunner ui_runner(0);
  RecordingProgress progress;
  Wininet client(&ui_runner, &progress);
  bool completed = false;
  ASSERT_TRUE(client.Start(server.Url("/bytes/4000"), "",
                           base::Bind(&SetFlag, &completed),
                           std::make_unique<DiscardingResponseWriter>(),
                           std::make_unique<WininetDelegate>()));
  // The progress check, total, current progress and the completion.
  for (int waited = 0; owner->GetPendingTasks().size() < 4 && waited < 10000;
       waited += 10) {
    Sleep(10);
  }
  ASSERT_EQ(4u, owner->GetPendingTasks().size());
  client.Stop();
  owner->RunUntilIdle();
  EXPECT_FALSE(completed);
  EXPECT_EQ(Wininet::STATE_STOPPED, client.state());
  EXPECT_EQ(-1, progress.current_);
}

// A transfer left by Stop, or by a new Start, never completes; the next one
// runs as usual.
TEST_F(WininetTest, StopOrANewStartAbandonsTheTransferInFlight) {
  for (bool by_stop : {false, true}) {
    SCOPED_TRACE(by_stop ? "Stop" : "Start");
    bool completed = false;
    progress_.current_ = -1;
    ASSERT_TRUE(client_.Start(server_.Url("/bytes/2000000?slow=20"), "",
                              base::Bind(&SetFlag, &completed),
                              std::make_unique<DiscardingResponseWriter>(),
                              std::make_unique<WininetDelegate>()));
    for (int i = 0; i < 500 && progress_.current_ <= 0; ++i) {
      base::test::RunUntilIdle();
      Sleep(10);
    }
    EXPECT_GT(progress_.current_, 0);
    EXPECT_EQ(Wininet::STATE_READING, client_.state());
    if (by_stop) {
      client_.Stop();
      EXPECT_EQ(Wininet::STATE_STOPPED, client_.state());
      base::test::RunUntilIdle();
    }
    ASSERT_TRUE(FetchString("/bytes/1234"));
    EXPECT_EQ(Wininet::STATE_COMPLETED, client_.state());
    EXPECT_EQ(HttpTestServer::Pattern(1234), received_);
    base::test::RunUntilIdle();
    EXPECT_FALSE(completed);
  }
}

// Servers that never let go: the silent listener holds every connection
// until the server stops, the drip sends a byte a second for a day.
struct HoldingServerCase {
  const char* name;
  bool secure;
  const char* path;
};

void PrintTo(const HoldingServerCase& c, std::ostream* os) {
  *os << c.name;
}

const HoldingServerCase kHoldingServers[] = {
    {"silent after the request", false, nullptr},
    {"https handshake never answered", true, nullptr},
    {"dripping body", false, "/drip/100000"},
};

class WininetHoldingServerTest
    : public WininetTest,
      public testing::WithParamInterface<HoldingServerCase> {
 protected:
  base::string16 HoldingUrl() {
    return GetParam().path ? server_.Url(GetParam().path)
                           : server_.SilentUrl(GetParam().secure, "/held");
  }

  // What the server has taken so far: requests, or silent connections.
  int Taken() {
    return GetParam().path ? static_cast<int>(server_.GetRequests().size())
                           : server_.SilentConnections();
  }
};

// The bound is far below what the server holds (until the test ends), so
// it only fails when ending waits for the server.
TEST_P(WininetHoldingServerTest, StopAndDestructionEndWithoutTheServer) {
  const base::TimeDelta bound = base::TimeDelta::FromSeconds(15);
  for (bool stop_first : {true, false}) {
    SCOPED_TRACE(stop_first ? "Stop, then destruction" : "destruction");
    const int taken = Taken();
    bool completed = false;
    auto client = std::make_unique<Wininet>(&ui_runner_, nullptr);
    ASSERT_TRUE(client->Start(HoldingUrl(), "",
                              base::Bind(&SetFlag, &completed),
                              std::make_unique<DiscardingResponseWriter>(),
                              std::make_unique<WininetDelegate>()));
    ASSERT_TRUE(RunUntil([this, taken] { return Taken() > taken; }));
    const base::TimeTicks begin = base::TimeTicks::Now();
    if (stop_first) {
      client->Stop();
      EXPECT_EQ(Wininet::STATE_STOPPED, client->state());
    }
    client.reset();
    EXPECT_LT(base::TimeTicks::Now() - begin, bound);
    base::test::RunUntilIdle();
    EXPECT_FALSE(completed);
  }
}

// A request that makes no progress is a failed try: retried after the
// pause, and the transfer fails once the retries are spent.
TEST_P(WininetHoldingServerTest, AStalledRequestFailsByTheRetryRules) {
  client_.SetStallCheckIntervalForTesting(
      base::TimeDelta::FromMilliseconds(300));
  client_.SetMaxRetries(1);
  base::RunLoop run_loop;
  ASSERT_TRUE(client_.Start(HoldingUrl(), "", run_loop.QuitClosure(),
                            std::make_unique<DiscardingResponseWriter>(),
                            std::make_unique<RecordingStats>(&events_)));
  ASSERT_TRUE(
      base::test::RunWithTimeout(&run_loop, base::TimeDelta::FromSeconds(60)));
  EXPECT_EQ(Wininet::STATE_FAILED, client_.state());
  EXPECT_EQ(
      (std::vector<int64_t>{Wininet::kRetryDelayMs, Wininet::kRetryDelayMs}),
      retry_runner_->delays_ms());
  EXPECT_EQ((std::vector<std::string>{"retry 1", "retry 2"}),
            Events({"retry "}));
  if (GetParam().path) {
    EXPECT_EQ(3u, server_.GetRequests().size());
  }
}

INSTANTIATE_TEST_SUITE_P(Servers,
                         WininetHoldingServerTest,
                         testing::ValuesIn(kHoldingServers));

// A stalled request's few bytes do not end the run of failures, but a
// request that keeps moving is never judged stalled.
TEST_F(WininetTest, ASlowButSteadyBodyIsNotStalled) {
  client_.SetStallCheckIntervalForTesting(base::TimeDelta::FromSeconds(2));
  // 400 KB/s: a read's buffer fills about three times a period.
  ASSERT_TRUE(FetchString("/drip/1500000?every=100&step=40000"));
  EXPECT_EQ(Wininet::STATE_COMPLETED, client_.state());
  EXPECT_TRUE(received_ == HttpTestServer::Pattern(1500000));
  EXPECT_TRUE(retry_runner_->delays_ms().empty());
}

// A server that ends every answer after one byte gets resumes no faster
// than the pace: the count of requests stays within the time it had.
TEST_F(WininetTest, ResumesAfterHeadwayArePaced) {
  const base::TimeDelta pace = base::TimeDelta::FromMilliseconds(100);
  client_.SetMinResumeIntervalForTesting(pace);
  bool completed = false;
  const base::TimeTicks begin = base::TimeTicks::Now();
  ASSERT_TRUE(client_.Start(server_.Url("/bytes/100000?percon=1"), "",
                            base::Bind(&SetFlag, &completed),
                            std::make_unique<DiscardingResponseWriter>(),
                            std::make_unique<WininetDelegate>()));
  ASSERT_TRUE(RunUntil([this] { return server_.GetRequests().size() >= 5; }));
  client_.Stop();
  const base::TimeDelta ran = base::TimeTicks::Now() - begin;
  EXPECT_LE(
      server_.GetRequests().size(),
      static_cast<size_t>(ran.InMilliseconds() / pace.InMilliseconds()) + 1);
  EXPECT_FALSE(completed);
  // Resumes after headway are still uncounted.
  EXPECT_TRUE(retry_runner_->delays_ms().empty());
}

TEST_F(WininetTest, RedirectsEndAfterABoundedNumberOfHops) {
  struct Case {
    const char* path;
    size_t requests;
  } cases[] = {
      // A chain of fresh URLs: the first request and kMaxRedirects hops.
      {"/chain/0", Wininet::kMaxRedirects + 1},
      // A redirect to nothing goes nowhere.
      {"/redirect?to=", 1},
      {"/redirect?to=/redirect%3Fto%3D/redirect%3Fto%3D", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    ASSERT_TRUE(server_.Reset());
    ASSERT_TRUE(FetchString(c.path));
    EXPECT_EQ(Wininet::STATE_FAILED, client_.state());
    EXPECT_EQ(c.requests, server_.GetRequests().size());
  }
  EXPECT_TRUE(retry_runner_->delays_ms().empty());
}

// Every target is checked before it is asked: what is refused is never
// reached, and no target reaches WinINet's own handling of other schemes.
TEST_F(WininetTest, RedirectTargetsAreCheckedBeforeTheyAreAsked) {
  const std::string port = std::to_string(server_.port());
  struct Case {
    std::vector<base::string16> domains;
    std::string location;
    Wininet::State end_state;
    size_t body_size;
  } cases[] = {
      {{L"127.0.0.1"},
       "http://localhost:" + port + "/bytes/800",
       Wininet::STATE_FAILED,
       0},
      // \\127.0.0.1\share\x
      {{},
       "&hexto=5c5c3132372e302e302e315c73686172655c78",
       Wininet::STATE_FAILED,
       0},
      {{}, "file:///c:/windows/win.ini", Wininet::STATE_FAILED, 0},
      {{}, "ftp://127.0.0.1:" + port + "/bytes/10", Wininet::STATE_FAILED, 0},
      {{}, "/bytes/700", Wininet::STATE_COMPLETED, 700},
      // Relative to the redirecting path, without its query.
      {{}, "bytes/600", Wininet::STATE_COMPLETED, 600},
      {{L"127.0.0.1"},
       "//127.0.0.1:" + port + "/bytes/500",
       Wininet::STATE_COMPLETED,
       500},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.location);
    ASSERT_TRUE(server_.Reset());
    client_.SetAllowedDomains(c.domains);
    ASSERT_TRUE(FetchString("/redirect?to=" + c.location));
    EXPECT_EQ(c.end_state, client_.state());
    EXPECT_EQ(HttpTestServer::Pattern(c.body_size), received_);
    EXPECT_EQ(c.end_state == Wininet::STATE_COMPLETED ? 2u : 1u,
              server_.GetRequests().size());
  }
}

// A resume asks the redirecting URL again and keeps its range on the way.
TEST_F(WininetTest, AResumeFollowsTheRedirectWithItsRange) {
  ASSERT_TRUE(FetchFile("/redirect?to=%2Fbytes%2F100000%3Fcut%3D40000"));
  EXPECT_EQ(Wininet::STATE_COMPLETED, client_.state());
  EXPECT_TRUE(file_contents() == HttpTestServer::Pattern(100000));
  EXPECT_EQ(
      (std::vector<std::string>{"-", "-", "bytes=40000-", "bytes=40000-"}),
      Ranges());

  // Each resume counts its hops afresh: a line that breaks more often than
  // the bound of hops still gets the whole body.
  std::string cuts;
  for (int i = 1; i <= Wininet::kMaxRedirects + 2; ++i)
    cuts += (i > 1 ? "%2C" : "") + std::to_string(i * 1000);
  ASSERT_TRUE(server_.Reset());
  ASSERT_TRUE(FetchFile("/redirect?to=%2Fbytes%2F20000%3Fcut%3D" + cuts));
  EXPECT_EQ(Wininet::STATE_COMPLETED, client_.state());
  EXPECT_TRUE(file_contents() == HttpTestServer::Pattern(20000));
}

// Each lie is told once and then the server answers truly: the client
// refuses the lie, starts over, and ends with the resource itself; told
// every time, the lie never ends in wrong bytes either.
TEST_F(WininetTest, ALyingResumeNeverCompletesWithWrongBytes) {
  const char* const kLies[] = {"start0", "nocr",   "skip",     "early",
                               "total",  "longer", "longbody", "pastend"};
  client_.SetMaxRetries(2);
  for (const char* lie : kLies) {
    for (bool once : {true, false}) {
      SCOPED_TRACE(std::string(lie) + (once ? " once" : " always"));
      ASSERT_TRUE(server_.Reset());
      ASSERT_TRUE(FetchString(std::string("/bytes/50000?cut=20000&lie=") + lie +
                              (once ? "&lies=1" : "")));
      if (once || client_.state() == Wininet::STATE_COMPLETED) {
        EXPECT_EQ(Wininet::STATE_COMPLETED, client_.state());
        EXPECT_TRUE(received_ == HttpTestServer::Pattern(50000));
      } else {
        EXPECT_EQ(Wininet::STATE_FAILED, client_.state());
      }
    }
  }
}

TEST_F(WininetTest, APartAnsweringARequestWithoutRangeMustStartAtZero) {
  // A 206 from 100 to the first request is refused; the retry's answer,
  // from 0, is taken.
  ASSERT_TRUE(FetchString("/bytes/5000?lie=unasked&lies=1"));
  EXPECT_EQ(Wininet::STATE_COMPLETED, client_.state());
  EXPECT_TRUE(received_ == HttpTestServer::Pattern(5000));
  // Starting over asks for the whole body again.
  EXPECT_EQ((std::vector<std::string>{"-", "-"}), Ranges());
  EXPECT_EQ(1u, retry_runner_->delays_ms().size());
}

TEST_F(WininetTest, ABodyNeverPassesItsBound) {
  const uint64_t bound = 1024 * 1024;
  struct Case {
    std::string path;
    Wininet::State end_state;
    size_t requests = 1;
  } cases[] = {
      {"/bytes/" + std::to_string(bound), Wininet::STATE_COMPLETED},
      {"/bytes/" + std::to_string(bound) + "?nolength=1",
       Wininet::STATE_COMPLETED},
      {"/bytes/" + std::to_string(bound + 1), Wininet::STATE_FAILED},
      {"/bytes/" + std::to_string(bound + 1) + "?nolength=1",
       Wininet::STATE_FAILED},
      // 768 MiB, cut at 2 MiB so that the server stops soon.
      {"/bytes/805306368?cut=2097152", Wininet::STATE_FAILED},
      {"/bytes/805306368?cut=2097152&nolength=1", Wininet::STATE_FAILED},
      // The bound holds the whole body across a resume, not each piece.
      {"/bytes/" + std::to_string(bound + 1) +
           "?nolength=1&reset=1&cut=" + std::to_string(bound / 2),
       Wininet::STATE_FAILED, 2},
  };
  client_.SetMaxBodySize(bound);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    ASSERT_TRUE(server_.Reset());
    ASSERT_TRUE(FetchString(c.path));
    EXPECT_EQ(c.end_state, client_.state());
    EXPECT_LE(received_.size(), bound);
    // An announced length past the bound is refused before any byte.
    if (c.path.find("nolength") == std::string::npos &&
        c.end_state == Wininet::STATE_FAILED) {
      EXPECT_TRUE(received_.empty());
    }
    // Too large is final: not retried.
    EXPECT_EQ(c.requests, server_.GetRequests().size());
  }
}

TEST_F(WininetTest, SizesPastThirtyTwoBitsReachTheProgressPositive) {
  // 5,000,000,000 bytes, reported in units of 4 bytes.
  // Cut short again and again, so that the server never streams it all.
  std::string cuts = "300000";
  for (int i = 0; i < 20; ++i)
    cuts += ",300000";
  ASSERT_TRUE(client_.Start(server_.Url("/bytes/5000000000?cut=" + cuts), "",
                            base::Closure(),
                            std::make_unique<DiscardingResponseWriter>(),
                            std::make_unique<WininetDelegate>()));
  ASSERT_TRUE(RunUntil([this] { return progress_.current_ > 0; }));
  client_.Stop();
  EXPECT_EQ(1250000000, progress_.total_);
  EXPECT_GT(progress_.current_, 0);
}

// The retries of a run count up across failed tries; an answer that got
// further ends the run, so that the tries after it count from 0 again.
TEST_F(WininetTest, AResponseThatGotFurtherEndsARunOfFailures) {
  client_.SetMaxRetries(1);
  ASSERT_TRUE(
      FetchString("/seq/503,503,200,503,503,206?size=5000&cut=0,0,1000"));
  EXPECT_EQ(Wininet::STATE_COMPLETED, client_.state());
  EXPECT_TRUE(received_ == HttpTestServer::Pattern(5000));
  EXPECT_EQ(4u, retry_runner_->delays_ms().size());
}

// Reads that follow each other without a wait are reported in bursts: what
// the owner hears still only rises, and reaches the whole body before the
// completion runs, across a resume and without a length too.
TEST_F(WininetTest, ProgressRisesAndReachesTheWholeBodyBeforeTheCompletion) {
  struct Case {
    const char* path;
    int32_t size;
  } cases[] = {
      {"/bytes/16000000", 16000000},
      {"/bytes/16000000?cut=9000000", 16000000},
      {"/bytes/6000000?nolength=1", 6000000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    progress_.currents_.clear();
    int32_t at_completion = -1;
    base::RunLoop run_loop;
    ASSERT_TRUE(
        client_.Start(server_.Url(c.path), "",
                      base::Bind(&NoteProgressAndQuit, &progress_,
                                 &at_completion, run_loop.QuitClosure()),
                      std::make_unique<DiscardingResponseWriter>(),
                      std::make_unique<WininetDelegate>()));
    ASSERT_TRUE(base::test::RunWithTimeout(&run_loop,
                                           base::TimeDelta::FromSeconds(30)));
    EXPECT_EQ(Wininet::STATE_COMPLETED, client_.state());
    EXPECT_EQ(c.size, at_completion);
    EXPECT_TRUE(
        std::is_sorted(progress_.currents_.begin(), progress_.currents_.end()));
  }
}

// A downloaded body is the writer's alone: no copy of it is left in the
// system's URL cache (a package would take its size twice on the disk).
TEST_F(WininetTest, NoBodyIsLeftInTheUrlCache) {
  ASSERT_TRUE(FetchString("/bytes/300000"));
  EXPECT_EQ(Wininet::STATE_COMPLETED, client_.state());
  DWORD size = 0;
  EXPECT_FALSE(GetUrlCacheEntryInfoW(server_.Url("/bytes/300000").c_str(),
                                     nullptr, &size));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

// A URL reaches the server byte for byte as given, directly and behind a
// redirect: escapes stay escapes (the server refuses a signature that is
// not), what a request line cannot carry is escaped, and the fragment stays
// behind.
TEST_F(WininetTest, UrlsAreSentAsGiven) {
  const std::string signed_path = "/bytes/700?sig=a%2Bb%2F%3D%26c&exp=1";
  const auto redirect_to = [](const std::string& location) {
    return "/redirect?hexto=" +
           base::HexEncode(location.data(), location.size());
  };
  struct Case {
    std::string path;
    std::string sent;
  } cases[] = {
      {signed_path, signed_path},
      {signed_path + "#sig=x", signed_path},
      {"/bytes/700?x=\xc3\xa9 \"<>y", "/bytes/700?x=%C3%A9%20%22%3C%3Ey"},
      {redirect_to(signed_path), signed_path},
      {redirect_to("/bytes/700?sig=a%2Bb%2F%3D%26c#sig=x"),
       "/bytes/700?sig=a%2Bb%2F%3D%26c"},
      {redirect_to("/bytes/700?x=\xc3\xa9 y"), "/bytes/700?x=%C3%A9%20y"},
      {redirect_to(signed_path + "&pad=" + std::string(300, 'x')),
       signed_path + "&pad=" + std::string(300, 'x')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    ASSERT_TRUE(server_.Reset());
    ASSERT_TRUE(FetchString(c.path));
    EXPECT_EQ(Wininet::STATE_COMPLETED, client_.state());
    EXPECT_EQ(HttpTestServer::Pattern(700), received_);
    const std::vector<HttpTestServer::Request> requests = server_.GetRequests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(c.sent, requests.back().path);
  }
}

// 307 and 308 repeat a POST with its body; the other redirects fetch the
// target.
TEST_F(WininetTest, OnlyRedirectsThatKeepTheMethodRepeatThePost) {
  const std::string body = "posted body";
  for (int code : {301, 302, 303, 307, 308}) {
    SCOPED_TRACE(code);
    ASSERT_TRUE(server_.Reset());
    ASSERT_TRUE(FetchString(
        "/redirect?code=" + std::to_string(code) + "&to=/echo", body));
    EXPECT_EQ(Wininet::STATE_COMPLETED, client_.state());
    const bool keeps = code == 307 || code == 308;
    EXPECT_EQ(keeps ? body : "", received_);
    const std::vector<HttpTestServer::Request> requests = server_.GetRequests();
    ASSERT_EQ(2u, requests.size());
    EXPECT_EQ(keeps ? "POST" : "GET", requests[1].method);
  }
}

// Closing never waits for the rest of a body, however fast and long the
// server sends it: not after a failure, nor at Stop or destruction. The
// server gives up after a minute, far past the bound.
TEST_F(WininetTest, ClosingNeverWaitsForAnEndlessBody) {
  const base::TimeDelta bound = base::TimeDelta::FromSeconds(30);
  enum Ending { kBodyTooLarge, kStop, kDestruction };
  for (const char* path :
       {"/endless?chunked=1", "/endless", "/endless?length=5000000000"}) {
    for (Ending ending : {kBodyTooLarge, kStop, kDestruction}) {
      SCOPED_TRACE(std::string(path) + " " + std::to_string(ending));
      RecordingProgress progress;
      bool completed = false;
      auto client = std::make_unique<Wininet>(&ui_runner_, &progress);
      if (ending == kBodyTooLarge)
        client->SetMaxBodySize(1024 * 1024);
      const base::TimeTicks begin = base::TimeTicks::Now();
      ASSERT_TRUE(client->Start(server_.Url(path), "",
                                base::Bind(&SetFlag, &completed),
                                std::make_unique<DiscardingResponseWriter>(),
                                std::make_unique<WininetDelegate>()));
      if (ending == kBodyTooLarge) {
        EXPECT_TRUE(RunUntil([&completed] { return completed; }, 60));
        EXPECT_EQ(Wininet::STATE_FAILED, client->state());
      } else {
        ASSERT_TRUE(RunUntil([&progress] { return progress.current_ > 0; }));
        if (ending == kStop)
          client->Stop();
      }
      client.reset();
      EXPECT_LT((base::TimeTicks::Now() - begin).InMilliseconds(),
                bound.InMilliseconds());
      base::test::RunUntilIdle();
      EXPECT_EQ(ending == kBodyTooLarge, completed);
    }
  }
}

// No session or connection is closed while WinINet may still be letting go
// of one of its children on another thread, whatever the transfer does:
// each connection's and request's closing callback is held open, and no
// other thread closes a parent of it meanwhile. Each connection has a
// session of its own, whose close alone closes it.
TEST_F(WininetTest, NoSessionClosesWhileAConnectionOfItIsLetGo) {
  const struct Case {
    const char* path;
    const char* body;
    // Stopped once the body flows, rather than left to end.
    bool stop;
  } kCases[] = {
      {"/bytes/70000", "", false},
      {"/echo", "posted", false},
      // Hops until the bound, then fails.
      {"/chain/0", "", false},
      {"/bytes/200000?cut=5000,90000&reset=1", "", false},
      {"/seq/503,0,200", "", false},
      {"/status/404", "", false},
      {"/bytes/2000000?slow=20", "", true},
  };
  ClosingCallbackWatch* watch = ClosingCallbackWatch::Get();
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.path);
    ASSERT_TRUE(server_.Reset());
    watch->Start();
    if (c.stop) {
      progress_.current_ = -1;
      ASSERT_TRUE(client_.Start(server_.Url(c.path), c.body, base::Closure(),
                                std::make_unique<DiscardingResponseWriter>(),
                                std::make_unique<WininetDelegate>()));
      EXPECT_TRUE(RunUntil([this] { return progress_.current_ > 0; }));
      client_.Stop();
    } else {
      EXPECT_TRUE(FetchString(c.path, c.body));
    }
    EXPECT_TRUE(watch->StopWhenEveryHandleClosed());
    // A connection for each request, or fewer: WinINet sends a request
    // again by itself when the kept-alive connection it tried was gone.
    EXPECT_LE(1, watch->connections());
    EXPECT_LE(static_cast<size_t>(watch->connections()),
              server_.GetRequests().size());
    EXPECT_EQ(watch->connections(), watch->requests());
    EXPECT_EQ(0, watch->shared_sessions());
    EXPECT_EQ(0, watch->unsafe_closes());
  }
}

void NoteRetries(ImmediateRetryRunner* runner, size_t* retries) {
  *retries = runner->delays_ms().size();
}

// A request that brings nothing is judged stalled once it has run one
// period: by the time a task posted after it for one period runs.
TEST_F(WininetTest, AStallIsDeclaredAfterOnePeriod) {
  const base::TimeDelta period = base::TimeDelta::FromMilliseconds(500);
  client_.SetStallCheckIntervalForTesting(period);
  client_.SetMaxRetries(0);
  base::RunLoop run_loop;
  ASSERT_TRUE(client_.Start(server_.SilentUrl(false, "/held"), "",
                            run_loop.QuitClosure(),
                            std::make_unique<DiscardingResponseWriter>(),
                            std::make_unique<WininetDelegate>()));
  size_t retries_after_one_period = 0;
  base::ThreadTaskRunnerHandle::Get()->PostDelayedTask(
      LOCATION_FROM_HERE("AStallIsDeclaredAfterOnePeriod"),
      base::Bind(&NoteRetries, retry_runner_.get(), &retries_after_one_period),
      period);
  ASSERT_TRUE(
      base::test::RunWithTimeout(&run_loop, base::TimeDelta::FromSeconds(30)));
  EXPECT_EQ(Wininet::STATE_FAILED, client_.state());
  EXPECT_EQ(1u, retries_after_one_period);
}

// Waiting for a retry (the real pause) or for the user is not a stall:
// waits of many periods neither count a retry of their own nor send
// another request.
TEST_F(WininetTest, AWaitingTransferIsNotJudgedStalled) {
  CannedUICallbackRunner prompt(
      ERROR_INTERNET_FORCE_RETRY,
      base::TimeDelta::FromMilliseconds(Wininet::kRetryDelayMs));
  Wininet client(&prompt, nullptr);
  client.SetStallCheckIntervalForTesting(
      base::TimeDelta::FromMilliseconds(500));
  base::RunLoop run_loop;
  ASSERT_TRUE(client.Start(server_.Url("/seq/503,407,200"), "",
                           run_loop.QuitClosure(),
                           std::make_unique<StringResponseWriter>(&received_),
                           std::make_unique<RecordingStats>(&events_)));
  ASSERT_TRUE(
      base::test::RunWithTimeout(&run_loop, base::TimeDelta::FromSeconds(60)));
  EXPECT_EQ(Wininet::STATE_COMPLETED, client.state());
  EXPECT_EQ(HttpTestServer::Pattern(1000), received_);
  EXPECT_EQ((std::vector<std::string>{"retry 1", "retry 1"}),
            Events({"retry "}));
  EXPECT_EQ(3u, server_.GetRequests().size());
}

}  // namespace

}  // namespace installer
}  // namespace vexlo
