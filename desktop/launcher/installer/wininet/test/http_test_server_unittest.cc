#include "desktop/launcher/installer/wininet/test/http_test_server.h"

#include <winsock2.h>

#include <windows.h>

#include <string>

#include "base/command_line.h"
#include "base/files/file_util.h"
#include "base/path_service.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/strings/string_number_conversions.h"
#include "base/test/unique_test_dir.h"
#include "base/time/time.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {

namespace {

const char kPortFileSwitch[] = "test-server-port-file";
const char kEndingSwitch[] = "test-server-host-ending";

// Whether anything takes connections at |port| of the loopback address.
bool Listens(uint16_t port) {
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
    return false;
  const SOCKET probe = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  const bool connected = probe != INVALID_SOCKET &&
                         connect(probe, reinterpret_cast<sockaddr*>(&address),
                                 sizeof(address)) == 0;
  if (probe != INVALID_SOCKET)
    closesocket(probe);
  WSACleanup();
  return connected;
}

// Polls |done| every 50 ms for up to a minute; whether it held.
template <typename Predicate>
bool WaitFor(Predicate done) {
  const base::TimeTicks end =
      base::TimeTicks::Now() + base::TimeDelta::FromSeconds(60);
  while (!done()) {
    if (base::TimeTicks::Now() > end)
      return false;
    Sleep(50);
  }
  return true;
}

// Run only as the program of the test below: starts a server, names its
// port, and ends as the switch says, never stopping the server itself.
TEST(HttpTestServerTest, DISABLED_StartsAServerAndEnds) {
  base::CommandLine command_line(base::CommandLine::NO_PROGRAM);
  command_line.ParseFromString(GetCommandLineW());
  HttpTestServer server;
  ASSERT_TRUE(server.Start());
  const std::string port = base::UintToString(server.port());
  ASSERT_TRUE(base::WriteFile(command_line.GetSwitchValuePath(kPortFileSwitch),
                              port.data(), static_cast<int>(port.size())));
  const std::string ending = command_line.GetSwitchValueASCII(kEndingSwitch);
  if (ending == "crash")
    *static_cast<volatile int*>(nullptr) = 0;
  if (ending == "exit")
    ExitProcess(3);
  // Killed meanwhile.
  Sleep(120000);
}

// The server ends soon after the program that started it, however that
// program ends: killed from outside, crashed, or gone without stopping it.
TEST(HttpTestServerTest, TheServerEndsWithTheProgramThatStartedIt) {
  for (const char* ending : {"kill", "crash", "exit"}) {
    SCOPED_TRACE(ending);
    base::UniqueTestDir dir;
    const base::FilePath port_file = dir.path().Append(L"port");
    base::FilePath self;
    ASSERT_TRUE(base::PathService::Get(base::FILE_EXE, &self));
    base::CommandLine command_line(self);
    command_line.AppendSwitchASCII(
        "gtest_filter", "HttpTestServerTest.DISABLED_StartsAServerAndEnds");
    command_line.AppendSwitch("gtest_also_run_disabled_tests");
    command_line.AppendSwitchPath(kPortFileSwitch, port_file);
    command_line.AppendSwitchASCII(kEndingSwitch, ending);
    base::Process program =
        base::LaunchProcess(command_line, base::LaunchOptions());
    ASSERT_TRUE(program.IsValid());

    unsigned port = 0;
    ASSERT_TRUE(WaitFor([&port_file, &port] {
      std::string text;
      return base::ReadFileToString(port_file, &text) &&
             base::StringToUint(text, &port) && port;
    }));
    if (std::string(ending) == "kill") {
      EXPECT_TRUE(program.Terminate(1, true));
    }
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(program.Handle(), 60000));
    EXPECT_TRUE(WaitFor([port] { return !Listens(port); }));
  }
}

}  // namespace

}  // namespace installer
}  // namespace vexlo
