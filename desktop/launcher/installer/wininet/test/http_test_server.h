#ifndef DESKTOP_LAUNCHER_INSTALLER_WININET_TEST_HTTP_TEST_SERVER_H_
#define DESKTOP_LAUNCHER_INSTALLER_WININET_TEST_HTTP_TEST_SERVER_H_

#include <stdint.h>

#include <map>
#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "base/strings/string16.h"
#include "base/test/unique_test_dir.h"
#include "base/win/scoped_handle.h"

namespace vexlo {
namespace installer {

// The loopback HTTP server of http_test_server.py, a host program that the
// test starts and stops, and that ends by itself soon after the test
// program ends, however it ends; see the script for what each path
// answers.
class HttpTestServer {
 public:
  // One part of a multipart/form-data body.
  struct FormPart {
    std::string name;
    bool has_filename = false;
    std::string filename;
    std::string type;
    std::string data;
  };

  struct Request {
    std::string method;
    // The path with its query.
    std::string path;
    std::map<std::string, std::string> headers;
    std::string body;
    std::vector<FormPart> form;
  };

  HttpTestServer();
  HttpTestServer(const HttpTestServer&) = delete;
  HttpTestServer& operator=(const HttpTestServer&) = delete;
  // Stops the server when it runs.
  ~HttpTestServer();

  // Starts the server and waits until it listens.
  bool Start();
  // Returns once the port no longer accepts connections.
  void Stop();

  uint16_t port() const { return port_; }
  // What the server answers under "/files/": made by Start, filled by the
  // test.
  base::FilePath files_folder() const { return dir_.path().Append(L"files"); }
  // "http://127.0.0.1:<port>" followed by |path|.
  base::string16 Url(const std::string& path) const;

  // "http://" (or "https://" when |secure|) "127.0.0.1:<port>" followed by
  // |path|, where the port is that of a listener that takes connections
  // and holds them, reading and answering nothing, until the server stops.
  base::string16 SilentUrl(bool secure, const std::string& path);
  // The connections the silent listener has taken; -1 when unknown.
  int SilentConnections();

  // |path| behind the server's proxy, which answers 407 to every request
  // without Basic credentials for |user| and |password| and lets the
  // others through to |path|. The URL spells both in hexadecimal, so that
  // a client that logs it never logs them as typed.
  static std::string ProxiedPath(const std::string& user,
                                 const std::string& password,
                                 const std::string& path);

  // Every request served so far, in arrival order, but those the proxy
  // turned away.
  std::vector<Request> GetRequests();
  // Forgets the requests and the per-URL counts.
  bool Reset();

  // The byte at |offset| of every body the server sends.
  static char PatternByte(uint64_t offset);
  // |size| bytes of the pattern from offset 0.
  static std::string Pattern(uint32_t size);

 private:
  // A Winsock socket, owned like a handle; the handle verifier does not
  // know sockets.
  struct SocketTraits {
    using Handle = uintptr_t;
    static bool CloseHandle(uintptr_t socket);
    static bool IsHandleValid(uintptr_t socket) {
      return socket != NullHandle();
    }
    static uintptr_t NullHandle() { return ~uintptr_t{0}; }
    static void StartTracking(uintptr_t,
                              const void*,
                              const void*,
                              const void*) {}
    static void StopTracking(uintptr_t, const void*, const void*, const void*) {
    }
  };
  using ScopedSocket =
      base::win::GenericScopedHandle<SocketTraits, SocketTraits>;

  // Two ends of one loopback connection.
  static bool ConnectSockets(ScopedSocket* kept, ScopedSocket* given);

  bool Control(const std::string& what, std::string* answer);

  base::UniqueTestDir dir_;
  uint16_t port_ = 0;
  // The end of the connection whose other end is the server's input: the
  // server runs until every holder of this end is gone.
  ScopedSocket lifeline_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_WININET_TEST_HTTP_TEST_SERVER_H_
