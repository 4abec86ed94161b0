#include "desktop/windows/crash_reporter/crash_upload.h"

#include <windows.h>

#include <minizip/zip.h>
#include <stdio.h>
#include <stdlib.h>
#include <wininet.h>

// After zip.h, whose headers it needs.
#include <minizip/iowin32.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/common/product/product_configuration.h"
#include "desktop/common/product/product_info.h"
#include "desktop/windows/crash_reporter/crash_upload_task.h"
#include "desktop/windows/crash_reporter/pending_work_gate.h"

namespace vexlo {
namespace crash_reporter {

const wchar_t kCrashUploadUserAgent[] = L"CrashReporter/1.0 (Windows)";

namespace {

constexpr wchar_t kServerUrlVariable[] = L"VEXLO_CRASH_SERVER_URL";
constexpr char kEmailVariableSuffix[] = "_CRASH_EMAIL";
constexpr wchar_t kCollectorPath[] = L"/collector/submit";
constexpr wchar_t kActiveUrlHeader[] = L"X-Vexlo-Crash-URL";
constexpr wchar_t kOriginHeader[] = L"X-Origin";
constexpr wchar_t kCrashIdMarker[] = L"?id=";
constexpr char kBoundaryPrefix[] = "---------------------------";
constexpr size_t kLogPieceSize = 1048576;
// An answer's announced length is only a hint for the buffer: a server
// cannot make the reporter reserve more than this up front.
constexpr size_t kMaxResponseReservation = 1048576;

struct UploadSettings {
  base::string16 server_url;
  base::string16 user_agent_suffix;
};

UploadSettings& Settings() {
  static UploadSettings* settings = new UploadSettings;
  return *settings;
}

// The whole value of an environment variable, whatever its length; empty
// when it is absent.
base::string16 ReadEnvironmentVariable(const base::string16& name) {
  base::string16 value;
  DWORD size = ::GetEnvironmentVariableW(name.c_str(), nullptr, 0);
  while (size > 0) {
    value.resize(size);
    const DWORD length =
        ::GetEnvironmentVariableW(name.c_str(), &value[0], size);
    if (length < size) {
      value.resize(length);
      return value;
    }
    size = length;
  }
  return base::string16();
}

// |text| as UTF-8 with everything but the unreserved characters escaped,
// fit for a query value.
base::string16 EscapeQueryValue(const base::string16& text) {
  base::string16 escaped;
  for (const unsigned char c : base::UTF16ToUTF8(text)) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
        (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' ||
        c == '~') {
      escaped.push_back(c);
    } else {
      escaped += base::ASCIIToUTF16(base::StringPrintf("%%%02X", c));
    }
  }
  return escaped;
}

class ScopedInternetHandle {
 public:
  explicit ScopedInternetHandle(HINTERNET handle = nullptr) : handle_(handle) {}
  ScopedInternetHandle(const ScopedInternetHandle&) = delete;
  ScopedInternetHandle& operator=(const ScopedInternetHandle&) = delete;
  ~ScopedInternetHandle() {
    if (handle_)
      ::InternetCloseHandle(handle_);
  }
  void Set(HINTERNET handle) {
    if (handle_)
      ::InternetCloseHandle(handle_);
    handle_ = handle;
  }
  HINTERNET Get() const { return handle_; }

 private:
  HINTERNET handle_;
};

struct SplitUrl {
  bool secure = false;
  base::string16 scheme;
  base::string16 host;
  INTERNET_PORT port = 0;
  // With the query.
  base::string16 path;
};

bool SplitCrashUrl(const base::string16& url, SplitUrl* split) {
  wchar_t scheme[16];
  wchar_t host[256];
  wchar_t path[256];
  wchar_t extra[256];
  URL_COMPONENTSW components = {};
  components.dwStructSize = sizeof(components);
  components.lpszScheme = scheme;
  components.dwSchemeLength = ARRAYSIZE(scheme);
  components.lpszHostName = host;
  components.dwHostNameLength = ARRAYSIZE(host);
  components.lpszUrlPath = path;
  components.dwUrlPathLength = ARRAYSIZE(path);
  components.lpszExtraInfo = extra;
  components.dwExtraInfoLength = ARRAYSIZE(extra);
  if (url.empty() ||
      !::InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0,
                           &components)) {
    PLOG(ERROR) << "Splitting the crash URL failed";
    return false;
  }
  if (components.nScheme != INTERNET_SCHEME_HTTPS &&
      components.nScheme != INTERNET_SCHEME_HTTP) {
    LOG(ERROR) << "The crash URL is neither http nor https";
    return false;
  }
  split->secure = components.nScheme == INTERNET_SCHEME_HTTPS;
  split->scheme.assign(scheme, components.dwSchemeLength);
  split->host.assign(host, components.dwHostNameLength);
  split->port = components.nPort;
  split->path.assign(path, components.dwUrlPathLength);
  split->path.append(extra, components.dwExtraInfoLength);
  return true;
}

// One WinINet session with its connection and request.
struct InternetRequest {
  ScopedInternetHandle session;
  ScopedInternetHandle connection;
  ScopedInternetHandle request;
};

bool OpenRequest(const base::string16& user_agent_suffix,
                 const SplitUrl& url,
                 const wchar_t* verb,
                 DWORD flags,
                 InternetRequest* request) {
  const base::string16 user_agent = kCrashUploadUserAgent + user_agent_suffix;
  request->session.Set(::InternetOpenW(
      user_agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (request->session.Get()) {
    request->connection.Set(
        ::InternetConnectW(request->session.Get(), url.host.c_str(), url.port,
                           nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  }
  if (request->connection.Get()) {
    request->request.Set(::HttpOpenRequestW(
        request->connection.Get(), verb, url.path.c_str(), nullptr, nullptr,
        nullptr, flags | (url.secure ? INTERNET_FLAG_SECURE : 0), 0));
  }
  if (request->request.Get())
    return true;
  PLOG(ERROR) << "Opening the crash request failed";
  return false;
}

bool SetTimeout(HINTERNET request, DWORD option, int timeout_ms) {
  DWORD value = static_cast<DWORD>(timeout_ms);
  return ::InternetSetOptionW(request, option, &value, sizeof(value)) != FALSE;
}

bool AddHeader(HINTERNET request,
               const wchar_t* name,
               const base::string16& value,
               DWORD flags) {
  const base::string16 line = name + (L": " + value) + L"\r\n";
  return ::HttpAddRequestHeadersW(request, line.c_str(),
                                  static_cast<DWORD>(line.size()),
                                  flags) != FALSE;
}

// The status code as its text ("200"); empty when it cannot be read.
base::string16 ReadStatusText(HINTERNET request) {
  wchar_t status[4] = {};
  DWORD size = sizeof(status);
  if (!::HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE, status, &size,
                        nullptr)) {
    PLOG(ERROR) << "Reading the crash server's status failed";
    return base::string16();
  }
  return base::string16(status, size / sizeof(wchar_t));
}

bool ReadLocationHeader(HINTERNET request, base::string16* location) {
  static constexpr wchar_t kName[] = L"Location";
  std::vector<wchar_t> buffer(kName, kName + ARRAYSIZE(kName));
  DWORD size = sizeof(kName);
  if (::HttpQueryInfoW(request, HTTP_QUERY_CUSTOM, buffer.data(), &size,
                       nullptr)) {
    location->assign(buffer.data(), size / sizeof(wchar_t));
    return true;
  }
  if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0)
    return false;
  buffer.assign(size / sizeof(wchar_t) + 1, L'\0');
  std::copy(kName, kName + ARRAYSIZE(kName), buffer.begin());
  size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
  if (!::HttpQueryInfoW(request, HTTP_QUERY_CUSTOM, buffer.data(), &size,
                        nullptr)) {
    return false;
  }
  location->assign(buffer.data(), size / sizeof(wchar_t));
  return true;
}

// Field names go into quoted header values: printable ASCII, no quote.
bool AreFieldNamesSafe(const UploadFields& fields) {
  for (const auto& field : fields) {
    if (field.first.empty())
      return false;
    for (const wchar_t c : field.first) {
      if (c < 32 || c > 127 || c == L'"')
        return false;
    }
  }
  return true;
}

struct FilePart {
  std::string name;
  std::string path;
  std::string contents;
};

bool ReadFileParts(const UploadFiles& files, std::vector<FilePart>* parts) {
  for (const auto& file : files) {
    FilePart part;
    part.name = base::UTF16ToUTF8(file.first);
    part.path = base::UTF16ToUTF8(file.second.value());
    if (!base::ReadFileToString(file.second, &part.contents)) {
      LOG(ERROR) << "Reading " << part.path << " for the upload failed";
      return false;
    }
    if (part.name.empty() || part.path.empty())
      return false;
    parts->push_back(std::move(part));
  }
  return true;
}

std::string DrawBoundary() {
  const int high = rand();
  const int low = rand();
  return base::StringPrintf("%s%08X%08X", kBoundaryPrefix, high, low);
}

// A boundary that no value of the form contains, so that no part can end
// early.
std::string ChooseBoundary(const std::vector<std::string>& values,
                           const std::vector<FilePart>& parts) {
  for (;;) {
    const std::string boundary = DrawBoundary();
    const auto contains = [&boundary](const std::string& text) {
      return text.find(boundary) != std::string::npos;
    };
    if (std::none_of(values.begin(), values.end(), contains) &&
        std::none_of(parts.begin(), parts.end(), [&](const FilePart& part) {
          return contains(part.contents);
        })) {
      return boundary;
    }
  }
}

std::string BuildBody(const std::string& boundary,
                      const std::vector<std::string>& names,
                      const std::vector<std::string>& values,
                      const std::vector<FilePart>& parts) {
  std::string body;
  for (size_t i = 0; i < names.size(); ++i) {
    body += "--" + boundary + "\r\n";
    body += "Content-Disposition: form-data; name=\"" + names[i] +
            "\"\r\n\r\n" + values[i] + "\r\n";
  }
  for (const FilePart& part : parts) {
    body += "--" + boundary + "\r\n";
    body += "Content-Disposition: form-data; name=\"" + part.name +
            "\"; filename=\"" + part.path + "\"\r\n";
    body += "Content-Type: application/octet-stream\r\n\r\n";
    body += part.contents + "\r\n";
  }
  return body + "--" + boundary + "--\r\n";
}

// Reads the answer's body; true when it arrived whole.
bool ReadResponse(HINTERNET request, std::string* body) {
  wchar_t length_text[32] = {};
  DWORD size = sizeof(length_text);
  uint64_t length = 0;
  const bool length_known =
      ::HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH, length_text, &size,
                       nullptr) &&
      base::StringToUint64(base::UTF16ToUTF8(base::string16(
                               length_text, size / sizeof(wchar_t))),
                           &length);
  if (length_known)
    body->reserve(static_cast<size_t>(
        std::min<uint64_t>(length, kMaxResponseReservation)));
  std::vector<char> buffer;
  for (;;) {
    DWORD available = 0;
    if (!::InternetQueryDataAvailable(request, &available, 0, 0))
      return false;
    if (available == 0)
      break;
    buffer.resize(available);
    DWORD read = 0;
    if (!::InternetReadFile(request, buffer.data(), available, &read))
      return false;
    if (read == 0)
      break;
    body->append(buffer.data(), read);
  }
  return !length_known || body->size() == length;
}

}  // namespace

void InitializeCrashUpload() {
  UploadSettings& settings = Settings();
  settings.server_url = ReadEnvironmentVariable(kServerUrlVariable);
  if (settings.server_url.empty())
    settings.server_url =
        base::UTF8ToUTF16(ProductConfiguration::GetUrl("crash"));
  const base::string16 email = ReadEnvironmentVariable(base::UTF8ToUTF16(
      base::ToUpperASCII(ProductConfiguration::GetProductName()) +
      kEmailVariableSuffix));
  if (!email.empty()) {
    const bool has_query =
        settings.server_url.find(L'?') != base::string16::npos;
    settings.server_url +=
        (has_query ? L"&email=" : L"?email=") + EscapeQueryValue(email);
  }
  settings.user_agent_suffix =
      base::UTF8ToUTF16(ProductInfo::GetEditionSuffix());
}

const base::string16& GetCrashServerUrl() {
  return Settings().server_url;
}

const base::string16& GetCrashUploadUserAgentSuffix() {
  return Settings().user_agent_suffix;
}

base::string16 GetCrashCollectorUrl() {
  SplitUrl split;
  if (!SplitCrashUrl(GetCrashServerUrl(), &split))
    return base::string16();
  return split.scheme + L"://" + split.host + L":" +
         base::UintToString16(split.port) + kCollectorPath;
}

CrashUrlQueryResult QueryCrashUrl(const base::string16& active_url,
                                  const base::string16& origin,
                                  base::string16* crash_id,
                                  base::string16* location,
                                  int timeout_ms) {
  SplitUrl url;
  InternetRequest request;
  if (!SplitCrashUrl(GetCrashServerUrl(), &url) ||
      !OpenRequest(GetCrashUploadUserAgentSuffix(), url, L"GET",
                   INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_COOKIES,
                   &request)) {
    return kCrashUrlOther;
  }
  const HINTERNET handle = request.request.Get();
  if (timeout_ms > 0) {
    SetTimeout(handle, INTERNET_OPTION_CONNECT_TIMEOUT, timeout_ms);
    SetTimeout(handle, INTERNET_OPTION_SEND_TIMEOUT, timeout_ms);
  }
  if ((!active_url.empty() && !AddHeader(handle, kActiveUrlHeader, active_url,
                                         HTTP_ADDREQ_FLAG_ADD_IF_NEW)) ||
      (!origin.empty() && !AddHeader(handle, kOriginHeader, origin,
                                     HTTP_ADDREQ_FLAG_ADD_IF_NEW))) {
    PLOG(ERROR) << "Adding the crash query's headers failed";
    return kCrashUrlOther;
  }
  if (!::HttpSendRequestW(handle, nullptr, 0, nullptr, 0)) {
    PLOG(ERROR) << "Asking the crash server failed";
    return kCrashUrlOther;
  }
  const base::string16 status = ReadStatusText(handle);
  if (status == L"503")
    return kCrashUrlRefused;
  base::string16 answer;
  if (status != L"303" || !ReadLocationHeader(handle, &answer))
    return kCrashUrlOther;
  const size_t marker = answer.find(kCrashIdMarker);
  if (marker == base::string16::npos)
    return kCrashUrlOther;
  const size_t id_start = marker + ARRAYSIZE(kCrashIdMarker) - 1;
  const size_t id_end = answer.find(L'&', id_start);
  if (id_end == base::string16::npos)
    return kCrashUrlOther;
  *crash_id = answer.substr(id_start, id_end - id_start);
  *location = answer;
  return kCrashUrlAccepted;
}

bool SendMultipartRequest(const base::string16& user_agent_suffix,
                          const base::string16& url,
                          const UploadFields& fields,
                          const UploadFiles& files,
                          int timeout_ms,
                          base::string16* response,
                          int* status) {
  if (status)
    *status = 0;
  if (!AreFieldNamesSafe(fields)) {
    LOG(ERROR) << "A crash upload field has an unfit name";
    return false;
  }
  SplitUrl split;
  InternetRequest request;
  if (!SplitCrashUrl(url, &split) ||
      !OpenRequest(user_agent_suffix, split, L"POST", INTERNET_FLAG_NO_COOKIES,
                   &request)) {
    return false;
  }
  const HINTERNET handle = request.request.Get();
  std::vector<std::string> names;
  std::vector<std::string> values;
  for (const auto& field : fields) {
    names.push_back(base::UTF16ToUTF8(field.first));
    values.push_back(base::UTF16ToUTF8(field.second));
  }
  std::vector<FilePart> parts;
  if (!ReadFileParts(files, &parts))
    return false;
  const std::string boundary = ChooseBoundary(values, parts);
  if (!AddHeader(
          handle, L"Content-Type",
          L"multipart/form-data; boundary=" + base::ASCIIToUTF16(boundary),
          HTTP_ADDREQ_FLAG_ADD)) {
    PLOG(ERROR) << "Adding the upload's content type failed";
    return false;
  }
  std::string body = BuildBody(boundary, names, values, parts);
  if (timeout_ms > 0) {
    if (!SetTimeout(handle, INTERNET_OPTION_SEND_TIMEOUT, timeout_ms))
      fputs("Could not unset send timeout, continuing...\n", stderr);
    if (!SetTimeout(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, timeout_ms))
      fputs("Could not unset receive timeout, continuing...\n", stderr);
  }
  if (!::HttpSendRequestW(handle, nullptr, 0, &body[0],
                          static_cast<DWORD>(body.size()))) {
    PLOG(ERROR) << "Sending the crash upload failed";
    return false;
  }
  int code = 0;
  base::StringToInt(base::UTF16ToUTF8(ReadStatusText(handle)), &code);
  if (status)
    *status = code;
  std::string answer;
  const bool complete = ReadResponse(handle, &answer);
  if (response)
    *response = base::UTF8ToUTF16(answer);
  return code == 200 && complete;
}

bool SendMultipartRequestNoSuffix(const base::string16& url,
                                  const UploadFields& fields,
                                  const UploadFiles& files,
                                  int timeout_ms,
                                  base::string16* response,
                                  int* status) {
  return SendMultipartRequest(base::string16(), url, fields, files, timeout_ms,
                              response, status);
}

bool ZipCrashLog(const base::FilePath& log_path,
                 const base::FilePath& zip_path) {
  // Wide paths throughout, so that no folder name is lost to the code page.
  zlib_filefunc64_def file_functions;
  fill_win32_filefunc64W(&file_functions);
  const zipFile zip = zipOpen2_64(
      zip_path.value().c_str(), APPEND_STATUS_CREATE, nullptr, &file_functions);
  if (!zip) {
    LOG(ERROR) << "Creating " << zip_path.AsUTF8() << " failed";
    return false;
  }
  bool entry_complete = false;
  if (zipOpenNewFileInZip(zip, "crashlog.txt", nullptr, nullptr, 0, nullptr, 0,
                          nullptr, Z_DEFLATED, 9) == ZIP_OK) {
    FILE* log = base::OpenFile(log_path, "rb");
    if (log) {
      uint64_t copied = 0;
      int64_t size = -1;
      if (_fseeki64(log, 0, SEEK_END) == 0) {
        size = _ftelli64(log);
        _fseeki64(log, 0, SEEK_SET);
      }
      std::unique_ptr<char[]> piece(new char[kLogPieceSize]);
      for (;;) {
        const size_t read = fread(piece.get(), 1, kLogPieceSize, log);
        if (read == 0 ||
            zipWriteInFileInZip(zip, piece.get(),
                                static_cast<unsigned>(read)) != ZIP_OK) {
          break;
        }
        copied += read;
        if (read < kLogPieceSize)
          break;
      }
      fclose(log);
      entry_complete = size > 0 && copied == static_cast<uint64_t>(size);
    }
    entry_complete = zipCloseFileInZip(zip) == ZIP_OK && entry_complete;
  }
  const bool closed = zipClose(zip, nullptr) == ZIP_OK;
  if (closed && entry_complete)
    return true;
  LOG(ERROR) << "Packing " << log_path.AsUTF8() << " failed";
  base::DeleteFile(zip_path, false);
  return false;
}

namespace {

DWORD WINAPI RunUploadTask(void* parameter) {
  std::unique_ptr<CrashUploadTask> task(
      static_cast<CrashUploadTask*>(parameter));
  task->Run();
  task.reset();
  PendingWorkGate::Get()->Leave();
  return 0;
}

bool StartUploadTask(std::unique_ptr<CrashUploadTask> task) {
  PendingWorkGate::Get()->Enter();
  if (::QueueUserWorkItem(&RunUploadTask, task.get(), WT_EXECUTELONGFUNCTION)) {
    task.release();
    return true;
  }
  PLOG(ERROR) << "Starting a crash upload failed";
  task.reset();
  PendingWorkGate::Get()->Leave();
  return false;
}

}  // namespace

bool UploadCrashLogAsync(const base::FilePath& log_path,
                         const UploadFields& fields,
                         bool delete_file) {
  return StartUploadTask(std::make_unique<CrashLogUploadTask>(
      log_path, delete_file, fields, true));
}

void UploadMinidumpAsync(const base::FilePath& dump_path,
                         const UploadFields& fields,
                         bool delete_file) {
  StartUploadTask(
      std::make_unique<MinidumpUploadTask>(dump_path, delete_file, fields));
}

bool UploadCrashLog(const base::FilePath& log_path,
                    const UploadFields& fields,
                    bool zip) {
  return CrashLogUploadTask(log_path, false, fields, zip).Run();
}

bool UploadMinidump(const base::FilePath& dump_path,
                    const UploadFields& fields) {
  return MinidumpUploadTask(dump_path, false, fields).Run();
}

}  // namespace crash_reporter
}  // namespace vexlo
