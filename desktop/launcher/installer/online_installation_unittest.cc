#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/base_paths.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/path_service.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/unique_test_dir.h"
#include "desktop/launcher/installer/host/installer_host_exit_codes.h"
#include "desktop/launcher/installer/package_fetcher/test/package_test_util.h"
#include "desktop/launcher/installer/service/test/product_registry.h"
#include "desktop/launcher/installer/test/installer_test_package.h"
#include "desktop/launcher/installer/wininet/test/http_test_server.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {

namespace {

constexpr wchar_t kSwitches[] =
    L" --silent --allusers=0 --pintotaskbar=0 --enable-installer-stats=0"
    L" --launchvexlo=0"
    L" --with-feature:installer-pref-default-overrides-support=off";

base::FilePath BuildFile(const wchar_t* name) {
  base::FilePath build;
  base::PathService::Get(base::DIR_EXE, &build);
  return build.Append(name);
}

// The build's installer executable, installing from the loopback update
// server or from the package it carries, into a folder of the test, with
// the temporary folder (and so the logs and the download) of the test.
class OnlineInstallationTest : public testing::Test {
 protected:
  OnlineInstallationTest()
      : install_(temp_.path().Append(L"Vexlo")),
        tmp_(temp_.path().Append(L"tmp")),
        registry_(InstallerExecutableKeys()),
        desktop_folder_(L"Desktop", temp_.path().Append(L"Desktop")),
        programs_folder_(L"Programs", temp_.path().Append(L"Programs")) {}

  void SetUp() override {
    ASSERT_TRUE(server_.Start());
    ASSERT_TRUE(base::CreateDirectory(tmp_));
    installer_ = ReadWholeFile(BuildFile(L"installer.exe"));
    archive_ = ReadWholeFile(
        BuildFile(L"package_fixtures_online\\browser_package.7z"));
    ASSERT_FALSE(installer_.empty() || archive_.empty());
    Serve(AppendPayload(installer_, archive_), "");
    temp_variables_.reset(new ScopedTempVariables(tmp_));
  }

  void TearDown() override { temp_variables_.reset(); }

  // Serves |package| and a reply naming it, with |query|, and its checksum.
  void Serve(const std::string& package, const std::string& query) {
    const base::FilePath files = server_.files_folder();
    ASSERT_TRUE(WriteBytes(files.Append(L"package.exe"), package));
    ASSERT_TRUE(WriteBytes(files.Append(L"reply.json"),
                           ReplyNaming(base::UTF16ToUTF8(server_.Url(
                                           "/files/package.exe" + query)),
                                       Sha256Hex(package))));
  }

  static bool WriteBytes(const base::FilePath& path, const std::string& bytes) {
    return base::WriteFile(path, bytes.data(),
                           static_cast<int>(bytes.size())) ==
           static_cast<int>(bytes.size());
  }

  // Runs |program| (written into the test's folder first) silently to its
  // end; its exit code.
  int RunInstaller(const std::string& program, const base::string16& extra) {
    const base::FilePath exe = temp_.path().Append(L"net\\installer.exe");
    EXPECT_TRUE(base::CreateDirectory(exe.DirName()));
    EXPECT_TRUE(WriteBytes(exe, program));
    return RunToEnd(L"\"" + exe.value() + L"\" \"--installfolder=" +
                    install_.value() + L"\"" + kSwitches + extra);
  }

  int RunOnline() {
    return RunInstaller(installer_, L" --internal-package-server=" +
                                        server_.Url("/files/reply.json"));
  }

  // Every log line of the runs; the names of all other files left in the
  // temporary folder.
  std::string Logs(std::vector<base::string16>* others) {
    std::string all;
    base::FileEnumerator files(tmp_, true, base::FileEnumerator::FILES);
    for (base::FilePath file = files.Next(); !file.empty();
         file = files.Next()) {
      if (file.Extension() == L".log")
        all += ReadWholeFile(file);
      else
        others->push_back(file.value());
    }
    return all;
  }

  bool Installed() {
    return ReadWholeFile(install_.Append(L"12.0.1450.0\\res\\file0.dat")) ==
               "content res\\file0.dat" &&
           ScopedProductRegistry::ReadString(
               HKEY_CURRENT_USER, kInstallerExecutableUninstallKey,
               L"InstallLocation") == install_.value();
  }

  void ExpectNothingInstalled() {
    EXPECT_FALSE(base::PathExists(install_));
    EXPECT_EQ(L"none", ScopedProductRegistry::ReadString(
                           HKEY_CURRENT_USER, kInstallerExecutableUninstallKey,
                           L"InstallLocation"));
  }

  base::UniqueTestDir temp_;
  const base::FilePath install_;
  const base::FilePath tmp_;
  ScopedProductRegistry registry_;
  // The installation's shortcuts go to folders of the test.
  ScopedShellFolder desktop_folder_;
  ScopedShellFolder programs_folder_;
  HttpTestServer server_;
  std::string installer_;
  std::string archive_;
  std::unique_ptr<ScopedTempVariables> temp_variables_;
};

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
  EXPECT_TRUE(others.empty());
}

TEST_F(OnlineInstallationTest, ACutDownloadIsResumed) {
  Serve(AppendPayload(installer_, archive_), "?cut=300000,900000");
  ASSERT_EQ(HOST_EXIT_SUCCESS, RunOnline());
  EXPECT_TRUE(Installed());
  EXPECT_EQ(4u, server_.GetRequests().size());
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
    if (c.bad_checksum)
      ASSERT_TRUE(WriteBytes(server_.files_folder().Append(L"package.exe"),
                             c.package + "x"));
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

}  // namespace
}  // namespace installer
}  // namespace vexlo
