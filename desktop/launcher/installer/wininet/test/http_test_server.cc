#include "desktop/launcher/installer/wininet/test/http_test_server.h"

#include <winsock2.h>

#include <windows.h>

#include <wininet.h>

#include <memory>

#include "base/base_paths.h"
#include "base/files/file_util.h"
#include "base/json/json_reader.h"
#include "base/logging.h"
#include "base/path_service.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/utf_string_conversions.h"
#include "base/values.h"

namespace vexlo {
namespace installer {

namespace {

const uint32_t kPatternPeriod = 65521;
const wchar_t kPython[] = L"Z:\\usr\\bin\\python3";
const int kStartWaitMs = 30000;

// The host path of a path in this process's file system: the server runs
// outside Wine and takes host paths only.
std::string HostPath(const base::FilePath& path) {
  using ToUnix = char*(__cdecl*)(const wchar_t*);
  auto to_unix =
      reinterpret_cast<ToUnix>(reinterpret_cast<void*>(GetProcAddress(
          GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (to_unix) {
    if (char* unix_path = to_unix(path.value().c_str())) {
      std::string result(unix_path);
      HeapFree(GetProcessHeap(), 0, unix_path);
      return result;
    }
  }
  std::string result = base::UTF16ToUTF8(path.value().substr(2));
  for (char& c : result) {
    if (c == '\\')
      c = '/';
  }
  return result;
}

// The script in the source tree, found upwards from the test executable
// (which the build puts in a folder inside the tree).
base::FilePath ServerScript() {
  base::FilePath folder;
  base::PathService::Get(base::DIR_EXE, &folder);
  for (;;) {
    const base::FilePath script = folder.Append(L"desktop")
                                      .Append(L"launcher")
                                      .Append(L"installer")
                                      .Append(L"wininet")
                                      .Append(L"test")
                                      .Append(L"http_test_server.py");
    if (base::PathExists(script) || folder.DirName() == folder)
      return script;
    folder = folder.DirName();
  }
}

// A plain synchronous GET, apart from the client under test.
bool FetchUrl(const base::string16& url, std::string* body) {
  HINTERNET session =
      InternetOpenW(L"http_test_server control", INTERNET_OPEN_TYPE_DIRECT,
                    nullptr, nullptr, 0);
  if (!session)
    return false;
  HINTERNET request =
      InternetOpenUrlW(session, url.c_str(), nullptr, 0,
                       INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
  bool ok = request != nullptr;
  char buffer[16384];
  DWORD read = 0;
  while (ok &&
         (ok = InternetReadFile(request, buffer, sizeof(buffer), &read) !=
               FALSE) &&
         read) {
    body->append(buffer, read);
  }
  if (request)
    InternetCloseHandle(request);
  InternetCloseHandle(session);
  return ok;
}

std::string HexToBytes(const std::string& hex) {
  std::vector<uint8_t> bytes;
  if (!hex.empty() && base::HexStringToBytes(hex, &bytes))
    return std::string(bytes.begin(), bytes.end());
  return std::string();
}

std::vector<HttpTestServer::FormPart> ReadForm(
    const base::DictionaryValue& entry) {
  std::vector<HttpTestServer::FormPart> form;
  const base::ListValue* parts = nullptr;
  if (!entry.GetList("form", &parts))
    return form;
  for (const auto& item : *parts) {
    const base::DictionaryValue* part = nullptr;
    if (!item->GetAsDictionary(&part))
      continue;
    HttpTestServer::FormPart form_part;
    std::string data_hex;
    part->GetString("name", &form_part.name);
    form_part.has_filename = part->GetString("filename", &form_part.filename);
    part->GetString("type", &form_part.type);
    part->GetString("data_hex", &data_hex);
    form_part.data = HexToBytes(data_hex);
    form.push_back(form_part);
  }
  return form;
}

}  // namespace

// static
bool HttpTestServer::SocketTraits::CloseHandle(uintptr_t socket) {
  return closesocket(socket) == 0;
}

// static
bool HttpTestServer::ConnectSockets(ScopedSocket* kept, ScopedSocket* given) {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  // No end is inheritable, so that no other child of the test holds the
  // one the test keeps.
  ScopedSocket listener(WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr,
                                   0, WSA_FLAG_NO_HANDLE_INHERIT));
  kept->Set(WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                       WSA_FLAG_NO_HANDLE_INHERIT));
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  sockaddr* const name = reinterpret_cast<sockaddr*>(&address);
  int length = sizeof(address);
  if (started && listener.IsValid() && kept->IsValid() &&
      !bind(listener.Get(), name, length) && !listen(listener.Get(), 1) &&
      !getsockname(listener.Get(), name, &length) &&
      !connect(kept->Get(), name, length)) {
    given->Set(accept(listener.Get(), nullptr, nullptr));
  }
  if (!given->IsValid() ||
      !SetHandleInformation(reinterpret_cast<HANDLE>(given->Get()),
                            HANDLE_FLAG_INHERIT, 0)) {
    LOG(ERROR) << "Could not connect a pair of sockets: " << WSAGetLastError();
    return false;
  }
  return true;
}

HttpTestServer::HttpTestServer() = default;

HttpTestServer::~HttpTestServer() {
  Stop();
}

bool HttpTestServer::Start() {
  const base::FilePath port_file = dir_.path().Append(L"port");
  base::CreateDirectory(files_folder());
  ScopedSocket input;
  if (!ConnectSockets(&lifeline_, &input))
    return false;
  // The server's output, which must not be the test run's.
  base::win::ScopedHandle output(CreateFileW(
      dir_.path().Append(L"server.log").value().c_str(), GENERIC_WRITE,
      FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!output.IsValid()) {
    PLOG(ERROR) << "Could not make the test server's log";
    return false;
  }
  std::wstring command = std::wstring(kPython) + L" " +
                         base::UTF8ToUTF16(HostPath(ServerScript())) + L" " +
                         base::UTF8ToUTF16(HostPath(port_file)) +
                         L" --until-input-ends";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = reinterpret_cast<HANDLE>(input.Get());
  startup.hStdOutput = output.Get();
  startup.hStdError = output.Get();
  PROCESS_INFORMATION process = {};
  // Wine hands a host program the descriptors behind the standard handles
  // given, inheritable or not, and no process handle to wait on; the
  // server announces itself through the port file instead.
  if (!CreateProcessW(kPython, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &process)) {
    PLOG(ERROR) << "Could not start the test server";
    return false;
  }
  if (process.hThread)
    CloseHandle(process.hThread);
  if (process.hProcess)
    CloseHandle(process.hProcess);
  for (int waited = 0; waited < kStartWaitMs; waited += 20) {
    std::string text;
    unsigned port = 0;
    if (base::ReadFileToString(port_file, &text) &&
        base::StringToUint(text, &port) && port && port < 65536) {
      port_ = static_cast<uint16_t>(port);
      return true;
    }
    Sleep(20);
  }
  LOG(ERROR) << "The test server did not announce its port";
  return false;
}

void HttpTestServer::Stop() {
  std::string answer;
  if (port_ && Control("shutdown", &answer)) {
    // The port is free once the server no longer answers.
    for (int waited = 0; waited < kStartWaitMs && Control("requests", &answer);
         waited += 20) {
      answer.clear();
      Sleep(20);
    }
  }
  port_ = 0;
  lifeline_.Close();
}

base::string16 HttpTestServer::Url(const std::string& path) const {
  return L"http://127.0.0.1:" + base::UintToString16(port_) +
         base::UTF8ToUTF16(path);
}

bool HttpTestServer::Control(const std::string& what, std::string* answer) {
  return FetchUrl(Url("/__control/" + what), answer);
}

base::string16 HttpTestServer::SilentUrl(bool secure, const std::string& path) {
  std::string port;
  Control("silent_port", &port);
  return (secure ? L"https://127.0.0.1:" : L"http://127.0.0.1:") +
         base::UTF8ToUTF16(port) + base::UTF8ToUTF16(path);
}

int HttpTestServer::SilentConnections() {
  std::string answer;
  int count = -1;
  if (!Control("silent_count", &answer) || !base::StringToInt(answer, &count))
    return -1;
  return count;
}

bool HttpTestServer::Reset() {
  std::string answer;
  return Control("reset", &answer);
}

std::vector<HttpTestServer::Request> HttpTestServer::GetRequests() {
  std::vector<Request> requests;
  std::string answer;
  if (!Control("requests", &answer))
    return requests;
  std::unique_ptr<base::Value> value = base::JSONReader::Read(answer);
  const base::ListValue* list = nullptr;
  if (!value || !value->GetAsList(&list))
    return requests;
  for (const auto& item : *list) {
    const base::DictionaryValue* entry = nullptr;
    if (!item->GetAsDictionary(&entry))
      continue;
    Request request;
    std::string body_hex;
    entry->GetString("method", &request.method);
    entry->GetString("path", &request.path);
    entry->GetString("body_hex", &body_hex);
    request.body = HexToBytes(body_hex);
    request.form = ReadForm(*entry);
    const base::Value* headers_value = nullptr;
    const base::DictionaryValue* headers = nullptr;
    if (entry->Get("headers", &headers_value) &&
        headers_value->GetAsDictionary(&headers)) {
      for (base::DictionaryValue::Iterator it(*headers); !it.IsAtEnd();
           it.Advance()) {
        it.value().GetAsString(&request.headers[it.key()]);
      }
    }
    requests.push_back(request);
  }
  return requests;
}

// static
std::string HttpTestServer::ProxiedPath(const std::string& user,
                                        const std::string& password,
                                        const std::string& path) {
  return "/proxy/" + base::HexEncode(user.data(), user.size()) + "/" +
         base::HexEncode(password.data(), password.size()) + path;
}

// static
char HttpTestServer::PatternByte(uint64_t offset) {
  const uint64_t j = offset % kPatternPeriod;
  return static_cast<char>((j * j * 7 + j) % 256);
}

// static
std::string HttpTestServer::Pattern(uint32_t size) {
  std::string bytes(size, '\0');
  for (uint32_t i = 0; i < size; ++i)
    bytes[i] = PatternByte(i);
  return bytes;
}

}  // namespace installer
}  // namespace vexlo
