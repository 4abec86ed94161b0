#include <windows.h>

#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/launcher/installer/host/installer_host_exit_codes.h"
#include "desktop/launcher/installer/package_fetcher/test/package_test_util.h"
#include "desktop/launcher/installer/test/online_installation_fixture.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {

namespace {

using OnlineInstallationTest = OnlineInstallationFixture;

TEST_F(OnlineInstallationTest, InstallsThePackageTheServerNames) {
  ASSERT_EQ(HOST_EXIT_SUCCESS, RunOnline());
  EXPECT_TRUE(Installed());
  const std::vector<HttpTestServer::Request> requests = server_.GetRequests();
  ASSERT_EQ(2u, requests.size());
  // This installer carries no tracking data.
  EXPECT_EQ("GET", requests[0].method);
  EXPECT_EQ("/files/reply.json", requests[0].path);
  EXPECT_EQ("/files/package.exe", requests[1].path);
  std::vector<base::string16> others;
  EXPECT_NE(std::string::npos,
            Logs(&others).find("Unpacking files from archive"));
  EXPECT_TRUE(others.empty()) << others[0];
}

TEST_F(OnlineInstallationTest, ACutDownloadIsResumed) {
  Serve(AppendPayload(installer_, archive_), "?cut=300000,900000");
  ASSERT_EQ(HOST_EXIT_SUCCESS, RunOnline());
  EXPECT_TRUE(Installed());
  EXPECT_EQ(4u, server_.GetRequests().size());
}

// Two front ends started in the same second, in one working folder, fetch
// into names of their own, and both install.
TEST_F(OnlineInstallationTest, TwoFrontEndsOfOneSecondInstallSideBySide) {
  const base::FilePath other = temp_.path().Append(L"Other");
  EXPECT_EQ((std::vector<int>{HOST_EXIT_SUCCESS, HOST_EXIT_SUCCESS}),
            RunTwoOnline(install_, other));
  EXPECT_EQ("content res\\file0.dat",
            ReadWholeFile(other.Append(L"12.0.1450.0\\res\\file0.dat")));
  EXPECT_EQ("content res\\file0.dat",
            ReadWholeFile(install_.Append(L"12.0.1450.0\\res\\file0.dat")));
  std::vector<base::string16> others;
  Logs(&others);
  EXPECT_TRUE(others.empty()) << others[0];
}

TEST_F(OnlineInstallationTest, TheInstallersOwnPackageNeedsNoServer) {
  ASSERT_EQ(HOST_EXIT_SUCCESS,
            RunInstaller(AppendPayload(installer_, archive_), L""));
  EXPECT_TRUE(Installed());
  EXPECT_TRUE(server_.GetRequests().empty());
}

TEST_F(OnlineInstallationTest, AFailedFetchInstallsNothing) {
  const std::string stand_in = AppendPayload(
      ReadWholeFile(BuildFile(L"package_fetcher_test_child.exe")), archive_);
  const struct {
    const char* name;
    std::string package;
    const char* version;
    const char* stream;
    bool bad_checksum;
    const char* line;
  } cases[] = {
      {"wrong checksum", AppendPayload(installer_, archive_), nullptr, nullptr,
       true, "Checksum incorrect for the downloaded package"},
      {"older package", stand_in, "1449.9", nullptr, false,
       "Downloaded package is older than the installer"},
      {"other stream", stand_in, nullptr, "stable", false,
       "Downloaded package is of a different stream than the installer"},
      {"no package inside", installer_, nullptr, nullptr, false,
       "Could not find 7z payload in full package"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Serve(c.package, "");
    if (c.bad_checksum) {
      ASSERT_TRUE(WriteBytes(server_.files_folder().Append(L"package.exe"),
                             c.package + "x"));
    }
    ::SetEnvironmentVariableA("VEXLO_TEST_PACKAGE_INTERNAL_VERSION", c.version);
    ::SetEnvironmentVariableA("VEXLO_TEST_PACKAGE_STREAM", c.stream);
    EXPECT_EQ(HOST_EXIT_INSTALLER_FAILED, RunOnline());
    ::SetEnvironmentVariableA("VEXLO_TEST_PACKAGE_INTERNAL_VERSION", nullptr);
    ::SetEnvironmentVariableA("VEXLO_TEST_PACKAGE_STREAM", nullptr);
    ExpectNothingInstalled();
    std::vector<base::string16> others;
    EXPECT_NE(std::string::npos, Logs(&others).find(c.line));
    EXPECT_TRUE(others.empty()) << others[0];
    ASSERT_TRUE(DeleteOnceReleased(tmp_, true));
    ASSERT_TRUE(base::CreateDirectory(tmp_));
  }
}

// A signed package URL reaches the server as the reply names it, escapes
// and all, behind a redirect too; the server refuses any other signature.
TEST_F(OnlineInstallationTest, ASignedPackageUrlIsAskedAsGiven) {
  const std::string package = AppendPayload(installer_, archive_);
  const std::string signed_path =
      "/files/package.exe?sig=a%2Bb%2F%3D%26c&exp=1";
  const std::string redirect =
      "/redirect?hexto=" +
      base::HexEncode(signed_path.data(), signed_path.size());
  ASSERT_TRUE(WriteBytes(server_.files_folder().Append(L"reply.json"),
                         ReplyNaming(base::UTF16ToUTF8(server_.Url(redirect)),
                                     Sha256Hex(package))));
  ASSERT_EQ(HOST_EXIT_SUCCESS, RunOnline());
  EXPECT_TRUE(Installed());
  const std::vector<HttpTestServer::Request> requests = server_.GetRequests();
  ASSERT_EQ(3u, requests.size());
  EXPECT_EQ(signed_path, requests[2].path);
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
