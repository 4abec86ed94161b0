#include "desktop/launcher/installer/wininet/wininet.h"

#include <windows.h>

#include <wininet.h>

#include <utility>

#include "base/bind.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/threading/simple_thread.h"
#include "base/threading/thread_task_runner_handle.h"
#include "base/win/windows_version.h"
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
// How long a closed transfer's session waits for its callbacks to unhook on
// systems whose WinINet may never deliver the last one.
const DWORD kLegacyTerminationWaitMs = 5000;

bool IsConnectivityError(uint32_t error) {
  switch (error) {
    case ERROR_INTERNET_TIMEOUT:
    case ERROR_INTERNET_NAME_NOT_RESOLVED:
    case ERROR_INTERNET_CANNOT_CONNECT:
    case ERROR_INTERNET_CONNECTION_ABORTED:
    case ERROR_INTERNET_CONNECTION_RESET:
    case ERROR_HTTP_INVALID_SERVER_RESPONSE:
      return true;
    default:
      return false;
  }
}

bool IsLostConnectionWhileReading(DWORD error) {
  return error == ERROR_INTERNET_NAME_NOT_RESOLVED ||
         error == ERROR_INTERNET_CONNECTION_ABORTED ||
         error == ERROR_INTERNET_CONNECTION_RESET;
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

int32_t RunProxyCredentialsDialog(HINTERNET request, HWND window) {
  return static_cast<int32_t>(InternetErrorDlg(
      window, request, ERROR_INTERNET_INCORRECT_PASSWORD,
      FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS |
          FLAGS_ERROR_UI_FLAGS_GENERATE_DATA,
      nullptr));
}

}  // namespace

// Closes a finished transfer's session once its last status callback has
// unhooked, so that no callback runs against a closed session.
class Wininet::TerminationThread : public base::SimpleThread {
 public:
  TerminationThread(HINTERNET session, base::WaitableEvent* unhooked)
      : base::SimpleThread("Wininet Termination"),
        session_(session),
        unhooked_(unhooked) {}

  void Run() override {
    if (base::win::GetVersion() < base::win::VERSION_VISTA) {
      if (!unhooked_->TimedWait(
              base::TimeDelta::FromMilliseconds(kLegacyTerminationWaitMs))) {
        InternetSetStatusCallbackW(session_, nullptr);
      }
    } else {
      unhooked_->Wait();
    }
    InternetCloseHandle(session_);
    session_ = nullptr;
  }

 private:
  HINTERNET session_;
  base::WaitableEvent* const unhooked_;
};

Wininet::Wininet(UICallbackRunner* ui_callback_runner,
                 PackageFetcherDelegate* progress_delegate)
    : buffer_(kReadBufferSize),
      cancelled_(new base::CancellationFlag),
      termination_event_(true, false),
      ui_callback_runner_(ui_callback_runner),
      progress_delegate_(progress_delegate) {
  CHECK(ui_callback_runner_);
}

Wininet::~Wininet() {
  Close();
  if (termination_thread_)
    termination_thread_->Join();
}

void Wininet::SetAllowedDomains(const std::vector<base::string16>& domains) {
  allowed_domains_ = domains;
}

void Wininet::SetMaxRetries(int32_t max_retries) {
  max_retries_ = max_retries;
}

void Wininet::SetRetryTaskRunnerForTesting(
    base::scoped_refptr<base::TaskRunner> runner) {
  retry_task_runner_for_testing_ = std::move(runner);
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
  if (!InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()),
                         ICU_DECODE | ICU_ESCAPE, &components)) {
    return false;
  }
  parsed->host.assign(host, components.dwHostNameLength);
  parsed->port = components.nPort;
  parsed->object_name.assign(path, components.dwUrlPathLength);
  parsed->object_name.append(extra, components.dwExtraInfoLength);
  parsed->secure = components.nScheme == INTERNET_SCHEME_HTTPS;
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

  writer_ = std::move(writer);
  stats_delegate_ = std::move(stats_delegate);
  completion_ = completion;
  owner_task_runner_ = base::ThreadTaskRunnerHandle::Get();

  if (!ParseUrl(url, &parsed_url_)) {
    PLOG(ERROR) << "Could not parse URL";
    writer_->Close();
    return false;
  }
  if (!IsHostAllowed(parsed_url_.host, allowed_domains_)) {
    LOG(ERROR) << "Attempting to download from a disallowed domain";
    writer_->Close();
    return false;
  }

  // A new transfer waits until the last one's callbacks are all gone.
  if (termination_thread_) {
    termination_thread_->Join();
    termination_thread_.reset();
  }
  termination_event_.Reset();

  expected_total_ = 0;
  bytes_in_buffer_ = 0;
  downloaded_ = 0;
  chunk_start_ = 0;
  range_requested_ = false;
  retry_count_ = 0;

  session_ = InternetOpenW(UserAgent().c_str(), INTERNET_OPEN_TYPE_PRECONFIG,
                           nullptr, nullptr, INTERNET_FLAG_ASYNC);
  if (!session_) {
    LOG(ERROR) << "Could not open internet";
    writer_->Close();
    return false;
  }
  InternetSetStatusCallbackW(session_, &Wininet::InternetStatusCallback);
  {
    base::AutoLock hold(lock_);
    cancelled_.reset(new base::CancellationFlag);
    weak_this_ = weak_factory_.GetWeakPtr();
  }
  body_ = body;

  HINTERNET connection = InternetConnectW(
      session_, parsed_url_.host.c_str(), parsed_url_.port, nullptr, nullptr,
      INTERNET_SERVICE_HTTP, 0, reinterpret_cast<DWORD_PTR>(this));
  if (!connection) {
    PLOG(ERROR) << "Could not start session";
    Close();
    return false;
  }
  {
    base::AutoLock hold(lock_);
    connection_ = connection;
    stats_delegate_->OnChunkStart(static_cast<int32_t>(downloaded_.load()));
  }
  if (!SendRequest(base::string16())) {
    PLOG(ERROR) << "Could not send Request";
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

bool Wininet::SendRequest(const base::string16& extra_headers) {
  const wchar_t* verb = body_.empty() ? L"GET" : L"POST";
  DWORD flags = INTERNET_FLAG_RELOAD;
  if (parsed_url_.secure)
    flags |= INTERNET_FLAG_SECURE;
  HINTERNET request = HttpOpenRequestW(
      connection_, verb, parsed_url_.object_name.c_str(), L"HTTP/1.1", nullptr,
      nullptr, flags, reinterpret_cast<DWORD_PTR>(this));
  if (!request) {
    PLOG(ERROR) << "Could not open Request";
    return false;
  }
  {
    base::AutoLock hold(lock_);
    request_ = request;
  }
  // The state goes first: the answer may arrive before the send returns.
  SetState(STATE_REQUEST_SENT);
  void* body = body_.empty() ? nullptr : const_cast<char*>(body_.data());
  if (HttpSendRequestW(request,
                       extra_headers.empty() ? nullptr : extra_headers.c_str(),
                       static_cast<DWORD>(extra_headers.size()), body,
                       static_cast<DWORD>(body_.size())) ||
      GetLastError() == ERROR_IO_PENDING) {
    return true;
  }
  PLOG(ERROR) << "Could not send Request";
  return false;
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
    reinterpret_cast<Wininet*>(context)->OnStatus(handle, status, info,
                                                  info_length);
}

void Wininet::OnStatus(void* handle,
                       unsigned long status,
                       void* info,
                       unsigned long info_length) {
  base::AutoLock hold(lock_);
  if (cancelled_->IsSet()) {
    OnCancelledStatus(handle, status);
    return;
  }
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
    case INTERNET_STATUS_REDIRECT:
      OnRedirect(info ? static_cast<const wchar_t*>(info) : L"");
      break;
    default:
      break;
  }
}

void Wininet::OnCancelledStatus(void* handle, unsigned long status) {
  // The connection is the parent of every request of the transfer, so its
  // closing is the last callback that carries this client.
  if (status != INTERNET_STATUS_HANDLE_CLOSING || !closing_connection_ ||
      handle != closing_connection_) {
    return;
  }
  InternetSetStatusCallbackW(closing_session_, nullptr);
  closing_connection_ = nullptr;
  termination_event_.Signal();
}

void Wininet::OnRequestComplete(void* handle, uint32_t error) {
  // What a request closed by a resume still reports belongs to no one.
  if (handle != request_)
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

void Wininet::OnRedirect(const base::string16& url) {
  VLOG(1) << "Redirect occured";
  stats_delegate_->OnRedirected(url);
  ParsedUrl target;
  if (!ParseUrl(url, &target)) {
    PLOG(ERROR) << "Failed to parse redirect URL";
  } else if (!IsHostAllowed(target.host, allowed_domains_)) {
    LOG(ERROR) << "Attempting to redirect to a disallowed domain: "
               << base::UTF16ToUTF8(target.host);
  } else {
    return;
  }
  // The transfer fails; its request goes now so that the redirect is not
  // followed, its connection with the rest at Close.
  HINTERNET request = request_;
  request_ = nullptr;
  InternetCloseHandle(request);
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

bool Wininet::HandleInitialCompletion() {
  LOG(INFO) << "Initial request completion";
  bool found = false;
  const uint32_t status = QueryNumber(HTTP_QUERY_STATUS_CODE, &found);
  stats_delegate_->OnHttpStatus(static_cast<int32_t>(status));
  for (const wchar_t* name : {L"Date", L"Server", L"X-Served-By"})
    stats_delegate_->OnResponseHeader(name, QueryRawHeader(name));

  switch (status) {
    case HTTP_STATUS_OK:
    case HTTP_STATUS_PARTIAL_CONTENT:
      if (status == HTTP_STATUS_OK) {
        expected_total_ = QueryNumber(HTTP_QUERY_CONTENT_LENGTH, &found);
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
        PostToOwner(base::Bind(&Wininet::ReportTotalProgress, weak_this_,
                               expected_total_));
      } else if (!expected_total_) {
        // No whole answer came before (the first one was a retried
        // failure): the part's length from where it starts gives the total,
        // so that a part cut short is resumed and not taken for the end.
        const uint32_t rest = QueryNumber(HTTP_QUERY_CONTENT_LENGTH, &found);
        if (found) {
          expected_total_ = downloaded_ + rest;
          PostToOwner(base::Bind(&Wininet::ReportTotalProgress, weak_this_,
                                 expected_total_));
        }
      }
      SetState(STATE_READING);
      return true;
    case HTTP_STATUS_PROXY_AUTH_REQ:
      LOG(WARNING) << "Request completed with a "
                      "proxy authentication request";
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

void Wininet::HandleCompletionInProgress() {
  VLOG(2) << "Additional data downloaded";
  while (!cancelled_->IsSet()) {
    if (bytes_in_buffer_) {
      if (!writer_->Write(buffer_.data(),
                          static_cast<uint32_t>(bytes_in_buffer_))) {
        PostToOwner(base::Bind(&Wininet::DownloadFailed, weak_this_));
        return;
      }
      downloaded_ += static_cast<uint32_t>(bytes_in_buffer_);
      bytes_in_buffer_ = 0;
      // Only a response that gets further than the last one ends a run of
      // failures.
      if (downloaded_ > chunk_start_)
        retry_count_ = 0;
      VLOG(2) << "Downloaded size: " << downloaded_;
      if (!progress_posted_.exchange(true))
        PostToOwner(base::Bind(&Wininet::ReportCurrentProgress, weak_this_));
    }
    if (!InternetReadFile(request_, buffer_.data(), kReadBufferSize,
                          &bytes_in_buffer_)) {
      const DWORD error = GetLastError();
      if (error == ERROR_IO_PENDING)
        return;
      if (IsLostConnectionWhileReading(error)) {
        LOG(ERROR) << "Download interrupted by loss of connectivity: " << error;
        OnBodyInterrupted();
      } else {
        LOG(ERROR) << "Download interrupted for unknown reason: " << error;
        PostToOwner(base::Bind(&Wininet::DownloadFailed, weak_this_));
      }
      return;
    }
    if (!bytes_in_buffer_)
      break;
  }
  if (cancelled_->IsSet())
    return;
  if (downloaded_ < expected_total_)
    OnBodyInterrupted();
  else
    PostToOwner(base::Bind(&Wininet::DownloadCompleted, weak_this_));
}

void Wininet::OnBodyInterrupted() {
  // A response that brought nothing new is a failed try like any other: it
  // waits and counts, so that a server that keeps breaking off cannot keep
  // the client resuming for ever.
  if (downloaded_ <= chunk_start_) {
    CheckRetriesAndResume();
    return;
  }
  PostToOwner(base::Bind(&Wininet::Resume, weak_this_));
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

void Wininet::Resume() {
  HINTERNET old_request = nullptr;
  uint32_t downloaded = 0;
  {
    base::AutoLock hold(lock_);
    downloaded = downloaded_;
    stats_delegate_->OnChunkEnd(static_cast<int32_t>(downloaded));
    old_request = request_;
    request_ = nullptr;
    bytes_in_buffer_ = 0;
    chunk_start_ = downloaded;
    range_requested_ = true;
  }
  if (old_request)
    InternetCloseHandle(old_request);

  LOG(INFO) << "Attempting download resume";
  const base::string16 range =
      L"Range: bytes=" + base::UintToString16(downloaded) + L"-";
  {
    base::AutoLock hold(lock_);
    if (retry_count() <= 1)
      stats_delegate_->OnChunkStart(static_cast<int32_t>(downloaded));
    stats_delegate_->OnRetry(retry_count());
  }
  if (!SendRequest(range)) {
    LOG(ERROR) << "Could not resume downloading";
    DownloadFailed();
  }
}

void Wininet::OnProxyDialogReply(int32_t result) {
  if (result == ERROR_INTERNET_FORCE_RETRY) {
    LOG(INFO) << "Logged in to proxy - resuming download";
    Resume();
    return;
  }
  if (result == 0 || result == ERROR_CANCELLED)
    LOG(ERROR) << "The user cancelled the prompt for proxy credentials";
  else
    LOG(ERROR) << "Failed to obtain credentials for proxy";
  DownloadFailed();
}

void Wininet::ReportTotalProgress(uint32_t total) {
  if (progress_delegate_)
    progress_delegate_->SetTotalProgress(static_cast<int32_t>(total));
}

void Wininet::ReportCurrentProgress() {
  progress_posted_ = false;
  if (progress_delegate_) {
    progress_delegate_->SetCurrentProgress(
        static_cast<int32_t>(downloaded_.load()));
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
  HINTERNET connection = connection_;
  if (!connection && !session_)
    return;
  // Callbacks of this transfer stop at the flag; taking the lock waits out
  // the one that may be running.
  if (connection)
    cancelled_->Set();
  HINTERNET request = nullptr;
  {
    base::AutoLock hold(lock_);
    stats_delegate_->OnChunkEnd(static_cast<int32_t>(downloaded_.load()));
    request = request_;
    request_ = nullptr;
    connection_ = nullptr;
    if (connection) {
      closing_session_ = session_;
      closing_connection_ = connection;
    }
  }
  // Whatever this transfer still has queued for the owner is void now.
  weak_factory_.InvalidateWeakPtrs();
  progress_posted_ = false;
  if (writer_)
    writer_->Close();
  if (request)
    InternetCloseHandle(request);
  HINTERNET session = session_;
  session_ = nullptr;
  if (!connection) {
    InternetCloseHandle(session);
    return;
  }
  InternetCloseHandle(connection);
  if (termination_thread_)
    termination_thread_->Join();
  termination_thread_.reset(
      new TerminationThread(session, &termination_event_));
  if (!termination_thread_->Start()) {
    // Without the thread the session stays open rather than closing under
    // a callback that may still run.
    LOG(ERROR) << "Could not start the WinINet termination thread";
    termination_thread_.reset();
  }
}

}  // namespace installer
}  // namespace vexlo
