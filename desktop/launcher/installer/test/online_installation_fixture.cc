#include "desktop/launcher/installer/test/online_installation_fixture.h"

#include <windows.h>

#include "base/base_paths.h"
#include "base/base_paths_win.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/path_service.h"
#include "base/process/launch.h"
#include "base/strings/utf_string_conversions.h"
#include "base/time/time.h"
#include "desktop/launcher/installer/package_fetcher/test/package_test_util.h"
#include "desktop/windows/crash_reporter/test/minidump_test_util.h"

namespace vexlo {
namespace installer {

namespace {

constexpr wchar_t kSwitches[] =
    L" --allusers=0 --pintotaskbar=0 --enable-installer-stats=0"
    L" --launchvexlo=0"
    L" --with-feature:installer-pref-default-overrides-support=off";

}  // namespace

OnlineInstallationFixture::OnlineInstallationFixture()
    : install_(temp_.path().Append(L"Vexlo")),
      tmp_(temp_.path().Append(L"tmp")),
      registry_(InstallerExecutableKeys()),
      shell_folders_(temp_.path()) {}

OnlineInstallationFixture::~OnlineInstallationFixture() = default;

void OnlineInstallationFixture::SetUp() {
  ASSERT_TRUE(server_.Start());
  ASSERT_TRUE(base::CreateDirectory(tmp_));
  installer_ = ReadWholeFile(BuildFile(L"installer.exe"));
  archive_ =
      ReadWholeFile(BuildFile(L"package_fixtures_online\\browser_package.7z"));
  ASSERT_FALSE(installer_.empty() || archive_.empty());
  Serve(AppendPayload(installer_, archive_), "");
  temp_variables_.reset(new ScopedTempVariables(tmp_));
}

void OnlineInstallationFixture::TearDown() {
  temp_variables_.reset();
}

// static
base::FilePath OnlineInstallationFixture::BuildFile(const wchar_t* name) {
  base::FilePath build;
  base::PathService::Get(base::DIR_EXE, &build);
  return build.Append(name);
}

// static
bool OnlineInstallationFixture::WriteBytes(const base::FilePath& path,
                                           const std::string& bytes) {
  return base::WriteFile(path, bytes.data(), static_cast<int>(bytes.size())) ==
         static_cast<int>(bytes.size());
}

void OnlineInstallationFixture::Serve(const std::string& package,
                                      const std::string& query) {
  const base::FilePath files = server_.files_folder();
  ASSERT_TRUE(WriteBytes(files.Append(L"package.exe"), package));
  ASSERT_TRUE(WriteBytes(
      files.Append(L"reply.json"),
      ReplyNaming(base::UTF16ToUTF8(server_.Url("/files/package.exe" + query)),
                  Sha256Hex(package))));
}

base::string16 OnlineInstallationFixture::Command(const std::string& program,
                                                  const base::string16& extra) {
  const base::FilePath exe = temp_.path().Append(L"net\\installer.exe");
  EXPECT_TRUE(base::CreateDirectory(exe.DirName()));
  EXPECT_TRUE(WriteBytes(exe, program));
  return L"\"" + exe.value() + L"\" \"--installfolder=" + install_.value() +
         L"\"" + kSwitches + extra;
}

base::string16 OnlineInstallationFixture::PackageServerSwitch() const {
  return L" --internal-package-server=" + server_.Url("/files/reply.json");
}

int OnlineInstallationFixture::RunInstaller(const std::string& program,
                                            const base::string16& extra) {
  return RunToEnd(Command(program, L" --silent" + extra));
}

int OnlineInstallationFixture::RunOnline() {
  return RunInstaller(installer_, PackageServerSwitch());
}

std::vector<int> OnlineInstallationFixture::RunTwoOnline(
    const base::FilePath& folder,
    const base::FilePath& other_folder) {
  const base::string16 command = Command(installer_, L"");
  const base::string16 own_folder = L"\"--installfolder=" + install_.value();
  std::vector<base::Process> runs;
  base::Time::Exploded start;
  base::Time::Now().Explode(true, &start);
  for (base::Time::Exploded now = start; now.second == start.second;
       base::Time::Now().Explode(true, &now)) {
    ::Sleep(10);
  }
  for (const base::FilePath& target : {folder, other_folder}) {
    // One working folder for both, as when neither has to prove one.
    base::string16 line = command + L" --silent \"--temp-folder=" +
                          tmp_.value() + L"\"" + PackageServerSwitch();
    line.replace(line.find(own_folder), own_folder.size(),
                 L"\"--installfolder=" + target.value());
    runs.push_back(base::LaunchProcess(line, base::LaunchOptions()));
  }
  std::vector<int> codes;
  for (const base::Process& run : runs)
    codes.push_back(WaitToEnd(run));
  return codes;
}

std::string OnlineInstallationFixture::Logs(
    std::vector<base::string16>* others) {
  std::string all;
  base::FileEnumerator files(tmp_, true, base::FileEnumerator::FILES);
  for (base::FilePath file = files.Next(); !file.empty(); file = files.Next()) {
    if (file.Extension() == L".log") {
      all += ReadWholeFile(file);
    } else if (file.Extension() == L".dmp") {
      // A crash met once in many runs is found only from what its dump
      // tells.
      others->push_back(
          file.value() + L": " +
          base::UTF8ToUTF16(
              crash_reporter::DescribeMinidumpException(ReadWholeFile(file))));
    } else {
      others->push_back(file.value());
    }
  }
  return all;
}

bool OnlineInstallationFixture::Installed() {
  return ReadWholeFile(install_.Append(L"12.0.1450.0\\res\\file0.dat")) ==
             "content res\\file0.dat" &&
         ScopedProductRegistry::ReadString(
             HKEY_CURRENT_USER, kInstallerExecutableUninstallKey,
             L"InstallLocation") == install_.value();
}

void OnlineInstallationFixture::ExpectNothingInstalled() {
  EXPECT_FALSE(base::PathExists(install_));
  EXPECT_EQ(L"none", ScopedProductRegistry::ReadString(
                         HKEY_CURRENT_USER, kInstallerExecutableUninstallKey,
                         L"InstallLocation"));
}

}  // namespace installer
}  // namespace vexlo
