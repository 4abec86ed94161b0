#include "desktop/launcher/installer/wininet/wininet.h"

#include <windows.h>

#include <wininet.h>

#include <algorithm>
#include <limits>
#include <map>
#include <utility>

#include "base/bind.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/threading/thread_task_runner_handle.h"
#include "base/threading/worker_pool.h"
#include "desktop/common/product/product_info.h"
#include "desktop/launcher/installer/package_fetcher/package_fetcher_delegate.h"
#include "desktop/launcher/installer/package_fetcher/ui_callback_runner.h"
#include "desktop/launcher/installer/wininet/wininet_delegate.h"
#include "desktop/launcher/installer/wininet/wininet_response_writer.h"

namespace vexlo {
namespace installer {

namespace {

const DWORD kMaxHostLength = 255;
const DWORD kMaxPathLength = 4095;
// The low bit of a connection's callback context tells it from a request's.
const uintptr_t kConnectionTag = 1;
// What some WinINet builds complete a read with when the server resets or
// aborts the connection: the socket's own error.
const uint32_t kSocketConnectionAborted = 10053;
const uint32_t kSocketConnectionReset = 10054;

bool IsConnectivityError(uint32_t error) {
  switch (error) {
    case ERROR_INTERNET_TIMEOUT:
    case ERROR_INTERNET_NAME_NOT_RESOLVED:
    case ERROR_INTERNET_CANNOT_CONNECT:
    case ERROR_INTERNET_CONNECTION_ABORTED:
    case ERROR_INTERNET_CONNECTION_RESET:
    case ERROR_HTTP_INVALID_SERVER_RESPONSE:
    case kSocketConnectionAborted:
    case kSocketConnectionReset:
      return true;
    default:
      return false;
  }
}

bool IsLostConnectionWhileReading(DWORD error) {
  return error == ERROR_INTERNET_NAME_NOT_RESOLVED ||
         error == ERROR_INTERNET_CONNECTION_ABORTED ||
         error == ERROR_INTERNET_CONNECTION_RESET ||
         error == kSocketConnectionAborted || error == kSocketConnectionReset;
}

bool IsRedirectStatus(uint32_t status) {
  return status == HTTP_STATUS_MOVED || status == HTTP_STATUS_REDIRECT ||
         status == HTTP_STATUS_REDIRECT_METHOD || status == 307 ||
         status == 308;
}

base::string16 UserAgent() {
  return L"Vexlo NetInstaller/" +
         base::ASCIIToUTF16(vexlo::ProductInfo::GetVersionString());
}

// The address WinINet reports on connecting: narrow text on some systems,
// wide on others.
std::string AddressText(const void* info, DWORD length) {
  const char* bytes = static_cast<const char*>(info);
  if (!bytes || !length)
    return std::string();
  if (length >= 2 && bytes[0] && !bytes[1]) {
    return base::UTF16ToUTF8(
        base::string16(static_cast<const wchar_t*>(info),
                       wcsnlen(static_cast<const wchar_t*>(info), length / 2)));
  }
  return std::string(bytes, strnlen(bytes, length));
}

std::atomic<internal::ProxyPromptFunction> g_proxy_prompt_for_testing{nullptr};

int32_t RunProxyCredentialsDialog(HINTERNET request, HWND window) {
  if (internal::ProxyPromptFunction prompt = g_proxy_prompt_for_testing)
    return static_cast<int32_t>(prompt(request, window));
  return static_cast<int32_t>(InternetErrorDlg(
      window, request, ERROR_INTERNET_INCORRECT_PASSWORD,
      FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS |
          FLAGS_ERROR_UI_FLAGS_GENERATE_DATA,
      nullptr));
}

bool ParseDecimal(const base::string16& text, uint64_t* value) {
  if (text.empty() || text.size() > 19)
    return false;
  uint64_t result = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9')
      return false;
    result = result * 10 + static_cast<uint64_t>(c - L'0');
  }
  *value = result;
  return true;
}

// "bytes FIRST-LAST/TOTAL" with FIRST <= LAST < TOTAL.
bool ParseContentRange(const base::string16& text,
                       uint64_t* first,
                       uint64_t* last,
                       uint64_t* total) {
  const base::string16 prefix = L"bytes ";
  if (text.compare(0, prefix.size(), prefix) != 0)
    return false;
  const size_t dash = text.find(L'-', prefix.size());
  const size_t slash = text.find(L'/', prefix.size());
  return dash != base::string16::npos && slash != base::string16::npos &&
         dash < slash &&
         ParseDecimal(text.substr(prefix.size(), dash - prefix.size()),
                      first) &&
         ParseDecimal(text.substr(dash + 1, slash - dash - 1), last) &&
         ParseDecimal(text.substr(slash + 1), total) && *first <= *last &&
         *last < *total;
}

// What the statistics record keeps of a byte offset.
int32_t StatsOffset(uint64_t offset) {
  return static_cast<int32_t>(
      std::min<uint64_t>(offset, std::numeric_limits<int32_t>::max()));
}

// Everything of |url| up to its path: "scheme://authority".
base::string16 UrlOrigin(const base::string16& url) {
  const size_t scheme_end = url.find(L"://");
  if (scheme_end == base::string16::npos)
    return url;
  const size_t path = url.find_first_of(L"/?#", scheme_end + 3);
  return url.substr(0, path);
}

bool StartsWithAscii(const base::string16& text, const wchar_t* prefix) {
  return base::StartsWith16(text, prefix, base::CompareCase::INSENSITIVE_ASCII);
}

// |bytes| as a request line carries them: what it cannot carry (controls,
// spaces, quotes, angle brackets and all that is not ASCII) as %XX, every
// other byte, escapes included, as it is.
base::string16 EscapeForRequestLine(const std::string& bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  base::string16 escaped;
  for (unsigned char c : bytes) {
    if (c <= 0x20 || c >= 0x7f || c == '"' || c == '<' || c == '>') {
      escaped += L'%';
      escaped += static_cast<wchar_t>(kHex[c >> 4]);
      escaped += static_cast<wchar_t>(kHex[c & 0xf]);
    } else {
      escaped += static_cast<wchar_t>(c);
    }
  }
  return escaped;
}

std::atomic<internal::InternetCloseHandleFunction> g_close_function_for_testing{
    nullptr};
std::atomic<internal::StatusCallbackHook> g_status_hook_for_testing{nullptr};

// Closes a request's session, and with it, as WinINet documents for any
// parent handle, the session's one connection and the connection's one
// request (their callbacks still come, the closing one last). WinINet lets
// go of a handle on whatever thread drops its last reference, and may still
// be unlinking it from its parent after its closing callback, while a close
// of the parent walks the parent's children (the test platform's WinINet
// does so without a lock). So no handle is closed on its own but the
// session: its close reaches the children, each of which WinINet can let go
// of only after that close has passed it, and nothing else closes that
// session.
void CloseSession(HINTERNET session) {
  internal::InternetCloseHandleFunction close = g_close_function_for_testing;
  (close ? close : &InternetCloseHandle)(session);
}

}  // namespace

// Where a request's reads land, with the count of the last one not yet
// kept. A read that pends gets its count written into |buffers| when it
// completes. (InternetReadFile is not used: Wine sets the count it was given
// to 0 after it queued a read that pends, and a read that completed on
// another thread in between lost its count, and its data with it.)
struct Wininet::ReadBuffer {
  // Starts a read into |data|; its count is in bytes() once it is done.
  BOOL Read(HINTERNET request) {
    buffers = INTERNET_BUFFERSA();
    buffers.dwStructSize = sizeof(buffers);
    buffers.lpvBuffer = data.data();
    buffers.dwBufferLength = Wininet::kReadBufferSize;
    return InternetReadFileExA(request, &buffers, IRF_ASYNC, 0);
  }
  DWORD bytes() const { return buffers.dwBufferLength; }
  void Clear() { buffers.dwBufferLength = 0; }

  std::vector<char> data = std::vector<char>(Wininet::kReadBufferSize);
  INTERNET_BUFFERSA buffers = {};
};

// What WinINet's callbacks of one transfer reach. Every connection of the
// transfer holds it until WinINet reports that connection closing, which
// is the last callback of its requests too; the client lets go of it when
// the transfer closes, without waiting for that. A server that holds a
// closed request open thus keeps a relay and the request's read buffer,
// never the client.

class Wininet::Relay : public base::RefCountedThreadSafe<Relay> {
 public:
  explicit Relay(Wininet* client) : client_(client) {}
  Relay(const Relay&) = delete;
  Relay& operator=(const Relay&) = delete;

  // The callback context of a request, and of a connection that has
  // |AddConnection|ed.
  uintptr_t request_context() { return reinterpret_cast<uintptr_t>(this); }
  uintptr_t connection_context() { return request_context() | kConnectionTag; }

  static void OnCallback(HINTERNET handle,
                         uintptr_t context,
                         DWORD status,
                         void* info,
                         DWORD info_length) {
    Relay* relay = reinterpret_cast<Relay*>(context & ~kConnectionTag);
    if ((context & kConnectionTag) && status == INTERNET_STATUS_HANDLE_CLOSING)
      relay->Release();
    else
      relay->Forward(handle, status, info, info_length);
  }

  // Where the reads of |request| go. They stay until WinINet lets go of the
  // request, since a read may still complete after it is closed.
  ReadBuffer* AddRequest(HINTERNET request) {
    auto buffer = std::make_unique<ReadBuffer>();
    ReadBuffer* result = buffer.get();
    base::AutoLock hold(lock_);
    read_buffers_[request] = std::move(buffer);
    return result;
  }

  void AddConnection() { AddRef(); }

  // No callback reaches the client once this returns; a running one is
  // waited out.
  void Detach() {
    base::AutoLock hold(lock_);
    client_ = nullptr;
  }

 private:
  friend class base::RefCountedThreadSafe<Relay>;
  ~Relay() = default;

  void Forward(HINTERNET handle, DWORD status, void* info, DWORD info_length) {
    std::unique_ptr<ReadBuffer> released;
    base::AutoLock hold(lock_);
    if (status == INTERNET_STATUS_HANDLE_CLOSING) {
      auto it = read_buffers_.find(handle);
      if (it != read_buffers_.end()) {
        released = std::move(it->second);
        read_buffers_.erase(it);
      }
    }
    if (client_)
      client_->OnStatus(handle, status, info, info_length);
  }

  base::Lock lock_;
  Wininet* client_;
  // The read buffers of the requests WinINet still holds.
  std::map<HINTERNET, std::unique_ptr<ReadBuffer>> read_buffers_;
};

Wininet::Wininet(UICallbackRunner* ui_callback_runner,
                 PackageFetcherDelegate* progress_delegate)
    : ui_callback_runner_(ui_callback_runner),
      progress_delegate_(progress_delegate) {
  CHECK(ui_callback_runner_);
}

Wininet::~Wininet() {
  Close();
}

void Wininet::SetAllowedDomains(const std::vector<base::string16>& domains) {
  allowed_domains_ = domains;
}

void Wininet::SetMaxRetries(int32_t max_retries) {
  max_retries_ = max_retries;
}

void Wininet::SetMaxBodySize(uint64_t max_size) {
  max_body_size_ = max_size;
}

void Wininet::SetRetryTaskRunnerForTesting(
    base::scoped_refptr<base::TaskRunner> runner) {
  retry_task_runner_for_testing_ = std::move(runner);
}

void Wininet::SetStallCheckIntervalForTesting(base::TimeDelta interval) {
  stall_check_interval_ = interval;
}

void Wininet::SetMinResumeIntervalForTesting(base::TimeDelta interval) {
  min_resume_interval_ = interval;
}

// static
bool Wininet::IsHostAllowed(const base::string16& host,
                            const std::vector<base::string16>& domains) {
  if (domains.empty())
    return true;
  for (const base::string16& domain : domains) {
    if (domain.empty() || host.size() < domain.size())
      continue;
    const size_t start = host.size() - domain.size();
    if (!base::EndsWith16(host, domain, base::CompareCase::INSENSITIVE_ASCII))
      continue;
    if (start == 0 || domain[0] == L'.' || host[start - 1] == L'.')
      return true;
  }
  return false;
}

// static
bool Wininet::ParseUrl(const base::string16& url, ParsedUrl* parsed) {
  wchar_t host[kMaxHostLength + 1] = {};
  wchar_t path[kMaxPathLength + 1] = {};
  wchar_t extra[kMaxPathLength + 1] = {};
  URL_COMPONENTSW components = {};
  components.dwStructSize = sizeof(components);
  components.lpszHostName = host;
  components.dwHostNameLength = kMaxHostLength + 1;
  components.lpszUrlPath = path;
  components.dwUrlPathLength = kMaxPathLength + 1;
  components.lpszExtraInfo = extra;
  components.dwExtraInfoLength = kMaxPathLength + 1;
  // Split only: a signed URL holds only as long as its escapes stay as they
  // are.
  if (!InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0,
                         &components)) {
    return false;
  }
  if (components.nScheme != INTERNET_SCHEME_HTTP &&
      components.nScheme != INTERNET_SCHEME_HTTPS) {
    SetLastError(ERROR_INTERNET_UNRECOGNIZED_SCHEME);
    return false;
  }
  parsed->host.assign(host, components.dwHostNameLength);
  parsed->port = components.nPort;
  base::string16 object(path, components.dwUrlPathLength);
  object.append(extra, components.dwExtraInfoLength);
  // The fragment is the client's own, never the server's.
  object = object.substr(0, object.find(L'#'));
  if (object.empty() || object[0] != L'/')
    object.insert(0, 1, L'/');
  parsed->object_name = EscapeForRequestLine(base::UTF16ToUTF8(object));
  parsed->secure = components.nScheme == INTERNET_SCHEME_HTTPS;
  return true;
}

// static
bool Wininet::ResolveRedirect(const base::string16& base,
                              const base::string16& location,
                              base::string16* target) {
  if (location.empty())
    return false;
  for (wchar_t c : location) {
    if (c < 0x20 || c == 0x7f || c == L'\\')
      return false;
  }
  if (StartsWithAscii(location, L"http://") ||
      StartsWithAscii(location, L"https://")) {
    *target = location;
    return true;
  }
  if (StartsWithAscii(location, L"//")) {
    *target = base.substr(0, base.find(L':') + 1) + location;
    return true;
  }
  const base::string16 origin = UrlOrigin(base);
  if (location[0] == L'/') {
    *target = origin + location;
    return true;
  }
  // A scheme of its own comes before any path, query or fragment.
  const size_t colon = location.find(L':');
  if (colon != base::string16::npos && colon < location.find_first_of(L"/?#")) {
    return false;
  }
  base::string16 path = base.substr(origin.size());
  path = path.substr(0, path.find_first_of(L"?#"));
  path = path.substr(0, path.rfind(L'/') + 1);
  *target = origin + (path.empty() ? L"/" : path) + location;
  return true;
}

bool Wininet::Start(const base::string16& url,
                    const std::string& body,
                    const base::Closure& completion,
                    std::unique_ptr<ResponseWriter> writer,
                    std::unique_ptr<WininetDelegate> stats_delegate) {
  CHECK(writer);
  CHECK(stats_delegate);
  LOG(INFO) << "Starting download from " << base::UTF16ToUTF8(url);
  if (state() == STATE_REQUEST_SENT || state() == STATE_READING)
    Stop();
  proxy_credentials_.Clear();

  writer_ = std::move(writer);
  stats_delegate_ = std::move(stats_delegate);
  completion_ = completion;
  owner_task_runner_ = base::ThreadTaskRunnerHandle::Get();

  ParsedUrl parsed;
  if (!ParseUrl(url, &parsed)) {
    PLOG(ERROR) << "Could not parse URL";
    writer_->Close();
    return false;
  }
  if (!IsHostAllowed(parsed.host, allowed_domains_)) {
    LOG(ERROR) << "Attempting to download from a disallowed domain";
    writer_->Close();
    return false;
  }

  url_ = url;
  expected_total_ = 0;
  response_end_ = 0;
  downloaded_ = 0;
  chunk_start_ = 0;
  range_requested_ = false;
  starting_over_ = false;
  retry_count_ = 0;
  progress_shift_ = 0;
  reported_downloaded_ = 0;
  next_progress_report_ = base::TimeTicks();
  closing_ = false;
  awaiting_ = false;
  redirects_ = 0;

  relay_ = new Relay(this);
  {
    base::AutoLock hold(lock_);
    weak_this_ = weak_factory_.GetWeakPtr();
  }
  body_ = body;
  request_has_body_ = !body_.empty();

  {
    base::AutoLock hold(lock_);
    stats_delegate_->OnChunkStart(StatsOffset(downloaded_.load()));
  }
  if (!SendRequest(url_, base::string16())) {
    Close();
    SetState(STATE_IDLE);
    return false;
  }
  return true;
}

void Wininet::Stop() {
  LOG(INFO) << "Stopping the download";
  Close();
  SetState(STATE_STOPPED);
}

bool Wininet::SendRequest(const base::string16& url,
                          const base::string16& extra_headers) {
  ParsedUrl parsed;
  if (!ParseUrl(url, &parsed)) {
    PLOG(ERROR) << "Could not parse URL";
    return false;
  }
  // A session and a connection per request: a redirect may lead to another
  // server, a request that a server holds keeps only its own connection,
  // and the request closes with its session alone (see CloseSession).
  session_ = InternetOpenW(UserAgent().c_str(), INTERNET_OPEN_TYPE_PRECONFIG,
                           nullptr, nullptr, INTERNET_FLAG_ASYNC);
  if (!session_) {
    LOG(ERROR) << "Could not open internet";
    return false;
  }
  InternetSetStatusCallbackW(session_, &Wininet::InternetStatusCallback);
  HINTERNET connection = InternetConnectW(
      session_, parsed.host.c_str(), parsed.port, nullptr, nullptr,
      INTERNET_SERVICE_HTTP, 0, relay_->connection_context());
  if (!connection) {
    PLOG(ERROR) << "Could not start session";
    return false;
  }
  relay_->AddConnection();
  connection_ = connection;
  const wchar_t* verb = request_has_body_ ? L"POST" : L"GET";
  // Redirects are followed here, after their targets are checked. Nothing
  // is written to the system's URL cache: every request reloads anyway, and
  // a package would be written to the disk twice.
  DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_AUTO_REDIRECT |
                INTERNET_FLAG_NO_CACHE_WRITE;
  if (parsed.secure)
    flags |= INTERNET_FLAG_SECURE;
  HINTERNET request = HttpOpenRequestW(
      connection, verb, parsed.object_name.c_str(), L"HTTP/1.1", nullptr,
      nullptr, flags, relay_->request_context());
  ReadBuffer* read = request ? relay_->AddRequest(request) : nullptr;
  {
    base::AutoLock hold(lock_);
    read_ = read;
    request_ = request;
    open_request_ = request;
    request_url_ = url;
    request_headers_ = extra_headers;
  }
  if (!request) {
    PLOG(ERROR) << "Could not open Request";
    return false;
  }
  // Should this fail, the proxy asks again and so does the prompt.
  if (!proxy_credentials_.ApplyTo(request))
    PLOG(WARNING) << "Could not give the request the proxy credentials";
  // The request is judged a whole period after it is sent, against what
  // was held when it was.
  judged_downloaded_ = downloaded_;
  progress_timer_.Start(
      LOCATION_FROM_HERE("vexlo::installer::Wininet::SendRequest"),
      stall_check_interval_, base::Bind(&Wininet::CheckProgress, this));
  last_request_time_ = base::TimeTicks::Now();
  awaiting_ = false;
  // The state goes first: the answer may arrive before the send returns.
  SetState(STATE_REQUEST_SENT);
  void* body = request_has_body_ ? const_cast<char*>(body_.data()) : nullptr;
  if (HttpSendRequestW(
          request, extra_headers.empty() ? nullptr : extra_headers.c_str(),
          static_cast<DWORD>(extra_headers.size()), body,
          request_has_body_ ? static_cast<DWORD>(body_.size()) : 0) ||
      GetLastError() == ERROR_IO_PENDING) {
    return true;
  }
  PLOG(ERROR) << "Could not send Request";
  return false;
}

void Wininet::CloseRequest() {
  {
    base::AutoLock hold(lock_);
    request_ = nullptr;
    open_request_ = nullptr;
    read_ = nullptr;
  }
  HINTERNET session = session_;
  session_ = nullptr;
  connection_ = nullptr;
  if (!session)
    return;
  // What the request still reports is dropped: it is no longer the current
  // one. Closing a request reads what the server still sends of its
  // answer, for as long as it keeps sending (for ever, for an endless one):
  // its session closes on a worker, and the relay, which the callbacks
  // reach, outlives them.
  const base::Closure close = base::Bind(&CloseSession, session);
  if (!base::WorkerPool::PostTask(
          LOCATION_FROM_HERE("vexlo::installer::Wininet::CloseRequest"), close,
          true)) {
    LOG(ERROR) << "Could not hand a request over to be closed";
    close.Run();
  }
}

void Wininet::SetState(State state) {
  state_ = state;
  VLOG(1) << "Downloader state: " << static_cast<int>(state);
}

// static
void __stdcall Wininet::InternetStatusCallback(void* handle,
                                               uintptr_t context,
                                               unsigned long status,
                                               void* info,
                                               unsigned long info_length) {
  // The session handle carries no context; only its children report here.
  if (context)
    Relay::OnCallback(handle, context, status, info, info_length);
  if (internal::StatusCallbackHook hook = g_status_hook_for_testing)
    hook(handle, status, info);
}

void Wininet::OnStatus(void* handle,
                       unsigned long status,
                       void* info,
                       unsigned long info_length) {
  base::AutoLock hold(lock_);
  if (closing_)
    return;
  switch (status) {
    case INTERNET_STATUS_CONNECTED_TO_SERVER:
      stats_delegate_->OnServerAddress(AddressText(info, info_length));
      break;
    case INTERNET_STATUS_REQUEST_COMPLETE: {
      const INTERNET_ASYNC_RESULT* result =
          static_cast<const INTERNET_ASYNC_RESULT*>(info);
      OnRequestComplete(handle, result ? result->dwError : ERROR_SUCCESS);
      break;
    }
    default:
      break;
  }
}

void Wininet::OnRequestComplete(void* handle, uint32_t error) {
  // What a request closed by a resume still reports belongs to no one.
  if (handle != request_ || !request_)
    return;
  stats_delegate_->OnWininetError(static_cast<int32_t>(error));
  if (error == ERROR_SUCCESS) {
    if (state() == STATE_REQUEST_SENT) {
      if (HandleInitialCompletion())
        HandleCompletionInProgress();
    } else if (state() == STATE_READING) {
      HandleCompletionInProgress();
    }
    return;
  }
  if (IsConnectivityError(error)) {
    LOG(WARNING) << "Request completed with an error "
                    "indicating connectivity issues: "
                 << error;
    CheckRetriesAndResume();
    return;
  }
  LOG(ERROR) << "Request completed with an unexpected error: " << error;
  PostToOwner(base::Bind(&Wininet::DownloadFailed, weak_this_));
}

uint32_t Wininet::QueryNumber(uint32_t info_level, bool* found) {
  DWORD value = 0;
  DWORD size = sizeof(value);
  *found = HttpQueryInfoW(request_, info_level | HTTP_QUERY_FLAG_NUMBER, &value,
                          &size, nullptr) != FALSE;
  return *found ? value : 0;
}

base::string16 Wininet::QueryRawHeader(const wchar_t* name) {
  std::vector<wchar_t> buffer(64);
  for (int attempt = 0; attempt < 2; ++attempt) {
    wcsncpy(buffer.data(), name, buffer.size() - 1);
    buffer.back() = L'\0';
    DWORD size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    if (HttpQueryInfoW(request_, HTTP_QUERY_CUSTOM, buffer.data(), &size,
                       nullptr)) {
      return base::string16(buffer.data(), size / sizeof(wchar_t));
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
      break;
    buffer.resize(size / sizeof(wchar_t) + wcslen(name) + 2);
  }
  return base::string16();
}

std::string Wininet::QueryLocationBytes() {
  // The narrow query hands the header's bytes over as they came: the wide
  // one widens them in the system's code page, which no server means.
  std::string buffer(256, '\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    DWORD size = static_cast<DWORD>(buffer.size());
    if (HttpQueryInfoA(request_, HTTP_QUERY_LOCATION, &buffer[0], &size,
                       nullptr)) {
      return buffer.substr(0, size);
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
      break;
    buffer.resize(size + 1);
  }
  return std::string();
}

bool Wininet::HandleInitialCompletion() {
  LOG(INFO) << "Initial request completion";
  bool found = false;
  const uint32_t status = QueryNumber(HTTP_QUERY_STATUS_CODE, &found);
  stats_delegate_->OnHttpStatus(static_cast<int32_t>(status));
  for (const wchar_t* name : {L"Date", L"Server", L"X-Served-By"})
    stats_delegate_->OnResponseHeader(name, QueryRawHeader(name));
  // A connection that ends before the answer's status line can complete
  // the request with no status, or with 0: it was lost like any other.
  if (!found || status < 100) {
    LOG(WARNING) << "Request completed without an HTTP status";
    CheckRetriesAndResume();
    return false;
  }

  if (IsRedirectStatus(status) && !QueryRawHeader(L"Location").empty()) {
    OnRedirectStatus(status);
    return false;
  }
  switch (status) {
    case HTTP_STATUS_OK:
    case HTTP_STATUS_PARTIAL_CONTENT:
      if (!(status == HTTP_STATUS_OK ? AcceptWholeBody() : AcceptPart()))
        return false;
      if (expected_total_ > max_body_size_) {
        LOG(ERROR) << "The body of " << expected_total_
                   << " bytes passes the bound of " << max_body_size_;
        PostToOwner(base::Bind(&Wininet::DownloadFailed, weak_this_));
        return false;
      }
      PostToOwner(base::Bind(&Wininet::ReportTotalProgress, weak_this_,
                             expected_total_));
      SetState(STATE_READING);
      return true;
    case HTTP_STATUS_PROXY_AUTH_REQ:
      LOG(WARNING) << "Request completed with a "
                      "proxy authentication request";
      awaiting_ = true;
      ui_callback_runner_->RunUICallbackAndPostReply(
          base::Bind(&RunProxyCredentialsDialog, request_), owner_task_runner_,
          base::Bind(&Wininet::OnProxyDialogReply, weak_this_));
      return false;
    case HTTP_STATUS_BAD_GATEWAY:
    case HTTP_STATUS_SERVICE_UNAVAIL:
    case HTTP_STATUS_GATEWAY_TIMEOUT:
      LOG(WARNING) << "Download failed with " << status << " error";
      CheckRetriesAndResume();
      return false;
    default:
      LOG(ERROR) << "Request completed with an unexpected HTTP status";
      PostToOwner(base::Bind(&Wininet::DownloadFailed, weak_this_));
      return false;
  }
}

bool Wininet::AcceptWholeBody() {
  uint64_t length = 0;
  expected_total_ =
      ParseDecimal(QueryRawHeader(L"Content-Length"), &length) ? length : 0;
  response_end_ = expected_total_;
  VLOG(1) << "Expected total size: " << expected_total_;
  // A server that ignores the range sends the whole body again.
  if (range_requested_) {
    if (!writer_->Rewind()) {
      LOG(ERROR) << "Could not start the body over";
      PostToOwner(base::Bind(&Wininet::DownloadFailed, weak_this_));
      return false;
    }
    downloaded_ = 0;
  }
  return true;
}

bool Wininet::AcceptPart() {
  // A part is taken only where it continues what is held: it starts where
  // the request asked (at 0 for a request without a range) and agrees with
  // the total known so far. Its bytes may not run past its range.
  uint64_t first = 0;
  uint64_t last = 0;
  uint64_t total = 0;
  if (!ParseContentRange(QueryRawHeader(L"Content-Range"), &first, &last,
                         &total) ||
      first != downloaded_ || (expected_total_ && total != expected_total_)) {
    LOG(ERROR) << "A partial answer that does not continue the body at "
               << downloaded_ << "; starting over";
    StartOver();
    return false;
  }
  expected_total_ = total;
  response_end_ = last + 1;
  return true;
}

void Wininet::OnRedirectStatus(uint32_t status) {
  const base::string16 location = EscapeForRequestLine(QueryLocationBytes());
  base::string16 target;
  const bool resolved = ResolveRedirect(request_url_, location, &target);
  VLOG(1) << "Redirect occured";
  stats_delegate_->OnRedirected(resolved ? target : location);
  ParsedUrl parsed;
  if (!resolved || !ParseUrl(target, &parsed)) {
    LOG(ERROR) << "Failed to parse redirect URL";
  } else if (!IsHostAllowed(parsed.host, allowed_domains_)) {
    LOG(ERROR) << "Attempting to redirect to a disallowed domain: "
               << base::UTF16ToUTF8(parsed.host);
  } else {
    // 307 and 308 repeat the request as it was; the others fetch the
    // target.
    awaiting_ = true;
    PostToOwner(base::Bind(&Wininet::FollowRedirect, weak_this_, target,
                           status == 307 || status == 308));
    return;
  }
  PostToOwner(base::Bind(&Wininet::DownloadFailed, weak_this_));
}

void Wininet::HandleCompletionInProgress() {
  VLOG(2) << "Additional data downloaded";
  while (!closing_) {
    if (read_->bytes()) {
      if (!KeepBlock(read_->bytes()))
        return;
      read_->Clear();
      // Only a response that gets further than the last one ends a run of
      // failures.
      if (downloaded_ > chunk_start_)
        retry_count_ = 0;
      VLOG(2) << "Downloaded size: " << downloaded_;
      if (base::TimeTicks::Now() >= next_progress_report_)
        ReportKeptBytes();
    }
    if (!read_->Read(request_)) {
      const DWORD error = GetLastError();
      // Whatever follows, the owner hears of every byte kept before it.
      ReportKeptBytes();
      if (error == ERROR_IO_PENDING)
        return;
      read_->Clear();
      if (IsLostConnectionWhileReading(error)) {
        LOG(ERROR) << "Download interrupted by loss of connectivity: " << error;
        OnBodyInterrupted();
      } else {
        LOG(ERROR) << "Download interrupted for unknown reason: " << error;
        PostToOwner(base::Bind(&Wininet::DownloadFailed, weak_this_));
      }
      return;
    }
    if (!read_->bytes())
      break;
  }
  if (closing_)
    return;
  ReportKeptBytes();
  if (downloaded_ < expected_total_)
    OnBodyInterrupted();
  else
    PostToOwner(base::Bind(&Wininet::DownloadCompleted, weak_this_));
}

bool Wininet::KeepBlock(uint64_t size) {
  const uint64_t end = downloaded_ + size;
  if (end > max_body_size_) {
    LOG(ERROR) << "The body passes the bound of " << max_body_size_ << " bytes";
    ReportKeptBytes();
    PostToOwner(base::Bind(&Wininet::DownloadFailed, weak_this_));
    return false;
  }
  if (response_end_ && end > response_end_) {
    LOG(ERROR) << "The response runs past the " << response_end_
               << " bytes it announced; starting over";
    StartOver();
    return false;
  }
  if (!writer_->Write(read_->data.data(), static_cast<uint32_t>(size))) {
    ReportKeptBytes();
    PostToOwner(base::Bind(&Wininet::DownloadFailed, weak_this_));
    return false;
  }
  downloaded_ = end;
  return true;
}

void Wininet::ReportKeptBytes() {
  next_progress_report_ =
      base::TimeTicks::Now() +
      base::TimeDelta::FromMilliseconds(kProgressIntervalMs);
  if (downloaded_ == reported_downloaded_)
    return;
  reported_downloaded_ = downloaded_;
  // A report on its way reads the count when it runs.
  if (!progress_posted_.exchange(true))
    PostToOwner(base::Bind(&Wininet::ReportCurrentProgress, weak_this_));
}

void Wininet::OnBodyInterrupted() {
  // A response that brought nothing new is a failed try like any other: it
  // waits and counts, so that a server that keeps breaking off cannot keep
  // the client resuming for ever.
  if (downloaded_ <= chunk_start_) {
    CheckRetriesAndResume();
    return;
  }
  awaiting_ = true;
  PostToOwner(base::Bind(&Wininet::ResumeAfterHeadway, weak_this_));
}

void Wininet::StartOver() {
  // Nothing held can be trusted to be the resource; the next try asks for
  // all of it without a range, so that the answer is the whole body with
  // its own total, after the pause of a failed one.
  read_->Clear();
  if (!writer_->Rewind()) {
    LOG(ERROR) << "Could not start the body over";
    PostToOwner(base::Bind(&Wininet::DownloadFailed, weak_this_));
    return;
  }
  downloaded_ = 0;
  chunk_start_ = 0;
  expected_total_ = 0;
  response_end_ = 0;
  starting_over_ = true;
  CheckRetriesAndResume();
}

void Wininet::CheckRetriesAndResume() {
  const int32_t count = retry_count_.load();
  if (count > 1 && progress_delegate_)
    progress_delegate_->NotifyStalled();
  if (count > max_retries_) {
    PostToOwner(base::Bind(&Wininet::DownloadFailed, weak_this_));
    return;
  }
  LOG(INFO) << "Retrying " << count << " of " << max_retries_;
  retry_count_ = count + 1;
  awaiting_ = true;
  base::TaskRunner* runner = retry_task_runner_for_testing_
                                 ? retry_task_runner_for_testing_.get()
                                 : owner_task_runner_.get();
  runner->PostDelayedTask(LOCATION_FROM_HERE("vexlo::installer::Wininet::"
                                             "CheckRetriesAndResume"),
                          base::Bind(&Wininet::Resume, weak_this_),
                          base::TimeDelta::FromMilliseconds(kRetryDelayMs));
}

void Wininet::PostToOwner(const base::Closure& task) {
  owner_task_runner_->PostTask(
      LOCATION_FROM_HERE("vexlo::installer::Wininet::PostToOwner"), task);
}

void Wininet::ResumeAfterHeadway() {
  const base::TimeDelta wait =
      last_request_time_ + min_resume_interval_ - base::TimeTicks::Now();
  if (wait <= base::TimeDelta()) {
    Resume();
    return;
  }
  owner_task_runner_->PostDelayedTask(
      LOCATION_FROM_HERE("vexlo::installer::Wininet::ResumeAfterHeadway"),
      base::Bind(&Wininet::Resume, weak_this_), wait);
}

void Wininet::Resume() {
  uint64_t downloaded = 0;
  {
    base::AutoLock hold(lock_);
    downloaded = downloaded_;
    stats_delegate_->OnChunkEnd(StatsOffset(downloaded));
    chunk_start_ = downloaded;
    range_requested_ = !starting_over_;
    redirects_ = 0;
  }
  CloseRequest();

  LOG(INFO) << "Attempting download resume";
  const base::string16 range =
      starting_over_
          ? base::string16()
          : L"Range: bytes=" + base::Uint64ToString16(downloaded) + L"-";
  starting_over_ = false;
  {
    base::AutoLock hold(lock_);
    if (retry_count() <= 1)
      stats_delegate_->OnChunkStart(StatsOffset(downloaded));
    stats_delegate_->OnRetry(retry_count());
  }
  request_has_body_ = !body_.empty();
  if (!SendRequest(url_, range)) {
    LOG(ERROR) << "Could not resume downloading";
    DownloadFailed();
  }
}

void Wininet::FollowRedirect(const base::string16& url, bool keep_body) {
  const base::string16 headers = request_headers_;
  CloseRequest();
  if (++redirects_ > kMaxRedirects) {
    LOG(ERROR) << "More than " << kMaxRedirects << " redirects";
    DownloadFailed();
    return;
  }
  request_has_body_ = request_has_body_ && keep_body;
  if (!SendRequest(url, headers)) {
    LOG(ERROR) << "Could not follow the redirect";
    DownloadFailed();
  }
}

void Wininet::CheckProgress() {
  // A transfer that waits for a resume or for the user is not the server's
  // doing; the next request is judged afresh.
  if (awaiting_ || (state() != STATE_REQUEST_SENT && state() != STATE_READING))
    return;
  const uint64_t downloaded = downloaded_;
  if (downloaded >= judged_downloaded_ + kMinProgressBytes) {
    judged_downloaded_ = downloaded;
    return;
  }
  LOG(WARNING) << "The request made no progress for "
               << stall_check_interval_.InMilliseconds() << " ms";
  // Its callbacks are dropped from now on; the resume closes it.
  base::AutoLock hold(lock_);
  request_ = nullptr;
  CheckRetriesAndResume();
}

void Wininet::OnProxyDialogReply(int32_t result) {
  if (result == ERROR_INTERNET_FORCE_RETRY) {
    LOG(INFO) << "Logged in to proxy - resuming download";
    TakeProxyCredentials();
    Resume();
    return;
  }
  if (result == 0 || result == ERROR_CANCELLED)
    LOG(ERROR) << "The user cancelled the prompt for proxy credentials";
  else
    LOG(ERROR) << "Failed to obtain credentials for proxy";
  DownloadFailed();
}

void Wininet::TakeProxyCredentials() {
  // The prompt leaves what the user typed on the request, or on a handle
  // above it (the test platform keeps it on the session); the resume closes
  // all three. None of them is closed before the reply: the transfer waits
  // for it.
  if (!proxy_credentials_.ReadFrom({open_request_, connection_, session_}))
    LOG(WARNING) << "The proxy prompt left no credentials on the request";
}

void Wininet::ReportTotalProgress(uint64_t total) {
  progress_shift_ = 0;
  while ((total >> progress_shift_) >
         static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
    ++progress_shift_;
  }
  if (progress_delegate_)
    progress_delegate_->SetTotalProgress(
        static_cast<int32_t>(total >> progress_shift_));
}

void Wininet::ReportCurrentProgress() {
  progress_posted_ = false;
  if (progress_delegate_) {
    progress_delegate_->SetCurrentProgress(
        StatsOffset(downloaded_.load() >> progress_shift_));
  }
}

void Wininet::DownloadFailed() {
  LOG(ERROR) << "Download failed";
  Close();
  SetState(STATE_FAILED);
  base::Closure completion = completion_;
  if (!completion.is_null())
    completion.Run();
}

void Wininet::DownloadCompleted() {
  retry_count_ = 0;
  Close();
  LOG(INFO) << "Download completed";
  SetState(STATE_COMPLETED);
  base::Closure completion = completion_;
  if (!completion.is_null())
    completion.Run();
}

void Wininet::Close() {
  progress_timer_.Stop();
  proxy_credentials_.Clear();
  if (!relay_)
    return;
  // A callback that is reading lets go at the flag; detaching waits it out,
  // and none reaches this client afterwards, whatever the server does.
  closing_ = true;
  relay_->Detach();
  {
    base::AutoLock hold(lock_);
    stats_delegate_->OnChunkEnd(StatsOffset(downloaded_.load()));
  }
  // Whatever this transfer still has queued for the owner is void now.
  weak_factory_.InvalidateWeakPtrs();
  progress_posted_ = false;
  if (writer_)
    writer_->Close();
  CloseRequest();
  relay_ = nullptr;
}

namespace internal {

void SetInternetCloseHandleFunctionForTesting(
    InternetCloseHandleFunction function) {
  g_close_function_for_testing = function;
}

void SetStatusCallbackHookForTesting(StatusCallbackHook hook) {
  g_status_hook_for_testing = hook;
}

void SetProxyPromptFunctionForTesting(ProxyPromptFunction function) {
  g_proxy_prompt_for_testing = function;
}

}  // namespace internal

}  // namespace installer
}  // namespace vexlo
