#include "desktop/launcher/installer/folder_permission.h"

#include <windows.h>

#include <sddl.h>

#include <string>
#include <vector>

#include "base/base_paths.h"
#include "base/command_line.h"
#include "base/files/file_util.h"
#include "base/path_service.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/strings/string_number_conversions.h"
#include "base/synchronization/lock.h"
#include "base/test/scoped_windows_version_override.h"
#include "base/test/unique_test_dir.h"
#include "base/threading/platform_thread.h"
#include "base/threading/simple_thread.h"
#include "base/win/registry.h"
#include "desktop/launcher/installer/folder_dacl.h"
#include "desktop/launcher/installer/package_fetcher/test/package_test_util.h"
#include "desktop/launcher/installer/service/service_utils.h"
#include "desktop/launcher/installer/service/test/fake_security_checks.h"
#include "desktop/launcher/installer/test/scoped_path_override.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

constexpr wchar_t kOldDacl[] = L"D:(A;OICI;FA;;;SY)";
constexpr DWORD kWaitMs = 30000;

// Keeps folder access lists where the test platform forgets them: every
// folder starts with kOldDacl, and each written list is noted as text.
class FakeFolderDacl : public FolderDacl {
 public:
  FakeFolderDacl() : previous_(SetForTesting(this)) {}
  ~FakeFolderDacl() override { SetForTesting(previous_); }

  DWORD Read(const base::FilePath& /*folder*/,
             PACL* dacl,
             PSECURITY_DESCRIPTOR* descriptor) override {
    BOOL present = FALSE, defaulted = FALSE;
    return ::ConvertStringSecurityDescriptorToSecurityDescriptorW(
               kOldDacl, SDDL_REVISION_1, descriptor, nullptr) &&
                   ::GetSecurityDescriptorDacl(*descriptor, &present, dacl,
                                               &defaulted)
               ? ERROR_SUCCESS
               : ERROR_INVALID_DATA;
  }
  DWORD Write(const base::FilePath& /*folder*/, PACL dacl) override {
    SECURITY_DESCRIPTOR descriptor;
    ::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    ::SetSecurityDescriptorDacl(&descriptor, TRUE, dacl, FALSE);
    wchar_t* text = nullptr;
    ::ConvertSecurityDescriptorToStringSecurityDescriptorW(
        &descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text,
        nullptr);
    base::AutoLock hold(lock_);
    writes_.push_back(text ? text : L"?");
    ::LocalFree(text);
    return ERROR_SUCCESS;
  }
  std::vector<base::string16> writes() {
    base::AutoLock hold(lock_);
    return writes_;
  }

 private:
  FolderDacl* const previous_;
  base::Lock lock_;
  std::vector<base::string16> writes_;
};

// The permission role in a thread of its own, as the elevated process runs
// it.
class PermissionRoleThread : public base::SimpleThread {
 public:
  explicit PermissionRoleThread(const base::CommandLine& command_line)
      : base::SimpleThread("PermissionRole"), command_line_(command_line) {
    Start();
  }
  ~PermissionRoleThread() override { Join(); }

  void Run() override {
    internal::RunSetFolderPermission(command_line_, base::TimeDelta());
  }

 private:
  const base::CommandLine command_line_;
};

class FolderPermissionTest : public testing::Test {
 protected:
  void SetUp() override {
    base::CommandLine::Init();
    ASSERT_TRUE(dir_.IsValid());
    folder_ = dir_.path().Append(L"Program Files").Append(L"Vexlo");
    ASSERT_TRUE(GetCurrentUserName(false, &user_));
  }

  base::win::ScopedHandle MakeEvent(const wchar_t* name, bool global) {
    return base::win::ScopedHandle(::CreateEventW(
        nullptr, FALSE, FALSE,
        MakeKernelObjectName(name, folder_.value(), global).c_str()));
  }
  // The requester's two events, as RequestFolderPermission makes them.
  void CreateEvents() {
    give_event_.Set(
        MakeEvent(L"VexloInstaller/GiveInstallPermission", false).Take());
    undo_event_.Set(
        MakeEvent(L"VexloInstaller/GiveInstallPermission/Undo", false).Take());
    ASSERT_TRUE(give_event_.IsValid() && undo_event_.IsValid());
  }

  // The elevated process's command line, with |own|'s switches.
  base::CommandLine RoleCommandLine(bool permanent,
                                    DWORD requester_pid,
                                    const base::FilePath& package) {
    base::CommandLine own(base::CommandLine::NO_PROGRAM);
    own.AppendSwitchASCII("initial-pid", base::UintToString(requester_pid));
    if (!package.empty())
      own.AppendSwitchPath("wait-for-package", package);
    return internal::GetFolderPermissionCommandLine(folder_, user_, permanent,
                                                    false, 0, own);
  }

  // A process that stands in for the requester until it is killed.
  base::Process StartRequester() {
    base::FilePath self;
    EXPECT_TRUE(base::PathService::Get(base::FILE_EXE, &self));
    base::CommandLine command_line(self);
    command_line.AppendSwitchASCII(
        "gtest_filter", "FolderPermissionTest.DISABLED_StandsInForARequester");
    command_line.AppendSwitch("gtest_also_run_disabled_tests");
    return base::LaunchProcess(command_line, base::LaunchOptions());
  }

  base::UniqueTestDir dir_;
  base::FilePath folder_;
  base::string16 user_;
  base::win::ScopedHandle give_event_;
  base::win::ScopedHandle undo_event_;
};

// Run only as the requester of other tests.
TEST_F(FolderPermissionTest, DISABLED_StandsInForARequester) {
  base::PlatformThread::Sleep(base::TimeDelta::FromSeconds(120));
}

// The elevated process's switches, in order, each once.
TEST_F(FolderPermissionTest, BuildsTheElevatedCommandLine) {
  const base::string16 start =
      L"--set-folder-permission=\"C:\\Program Files\\V\" "
      L"--permissions-for-user=jo ";
  const struct {
    bool permanent;
    bool uninstall;
    uint32_t crash_reporter_pid;
    const wchar_t* own;
    base::string16 expected;  // After |start|.
  } kCases[] = {
      {false, false, 0, L"x.exe",
       L"--crash-reporter-pid=0 --initial-pid=" +
           base::UintToString16(::GetCurrentProcessId())},
      {true, true, 4294967295u,
       L"x.exe --initial-pid=12 --wait-for-package=C:\\p --temp-folder=C:\\t",
       L"--permanent-permissions --run-uninstall-bat "
       L"--crash-reporter-pid=4294967295 --wait-for-package=\"C:\\p\" "
       L"--initial-pid=12"},
      {false, true, 7, L"x.exe --initial-pid= --backend",
       L"--run-uninstall-bat --crash-reporter-pid=7 --initial-pid"},
  };
  for (const auto& c : kCases) {
    base::CommandLine own(base::CommandLine::NO_PROGRAM);
    own.ParseFromString(c.own);
    EXPECT_EQ(start + c.expected,
              internal::GetFolderPermissionCommandLine(
                  base::FilePath(L"C:\\Program Files\\V"), L"jo", c.permanent,
                  c.uninstall, c.crash_reporter_pid, own)
                  .GetArgumentsString(false))
        << c.own;
  }
}

// The role creates the missing folder and grants the user full access. The
// old list goes back once the requester is done, or at once when the
// requester dies first; a permanent grant stays and ends the role.
TEST_F(FolderPermissionTest, GrantsAndUndoes) {
  enum End { kUndo, kRequesterDies, kPermanent };
  CreateEvents();
  for (End end : {kUndo, kRequesterDies, kPermanent}) {
    SCOPED_TRACE(end);
    base::DeleteFile(folder_, true);
    FakeFolderDacl dacl;
    base::Process requester = StartRequester();
    ASSERT_TRUE(requester.IsValid());
    PermissionRoleThread role(
        RoleCommandLine(end == kPermanent, requester.Pid(), base::FilePath()));
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(give_event_.Get(), kWaitMs));
    EXPECT_TRUE(base::DirectoryExists(folder_));
    std::vector<base::string16> writes = dacl.writes();
    ASSERT_EQ(1u, writes.size());
    EXPECT_NE(base::string16::npos, writes[0].find(L"(A;OICI;GA;;;"));
    EXPECT_NE(base::string16::npos, writes[0].find(L"(A;OICI;FA;;;SY)"));

    if (end == kRequesterDies)
      ASSERT_TRUE(requester.Terminate(1, true));
    else if (end == kUndo)
      ::SetEvent(undo_event_.Get());
    role.Join();
    writes = dacl.writes();
    ASSERT_EQ(end == kPermanent ? 1u : 2u, writes.size());
    if (end != kPermanent) {
      EXPECT_EQ(kOldDacl, writes[1]);
    }
    requester.Terminate(0, true);
  }
}

// Without the requester's events, or without a user, the role does nothing.
TEST_F(FolderPermissionTest, NeedsTheRequester) {
  FakeFolderDacl dacl;
  { PermissionRoleThread role(RoleCommandLine(false, 0, base::FilePath())); }
  CreateEvents();
  base::CommandLine no_user(base::CommandLine::NO_PROGRAM);
  no_user.AppendSwitchPath("set-folder-permission", folder_);
  internal::RunSetFolderPermission(no_user, base::TimeDelta());
  EXPECT_TRUE(dacl.writes().empty());
  EXPECT_FALSE(base::PathExists(folder_));
}

// Waiting for the package: the package's installer runs, with the
// permission switches, only when the package is ready first; an
// interruption or a front end that ends first runs nothing.
TEST_F(FolderPermissionTest, WaitsForThePackageOrGivesUp) {
  base::UniqueTestDir package;
  base::FilePath host;
  ASSERT_TRUE(base::PathService::Get(base::DIR_EXE, &host));
  ASSERT_TRUE(base::CopyFile(host.Append(L"installer.exe"),
                             package.path().Append(L"installer.exe")));
  CreateEvents();
  const base::win::ScopedHandle ready =
      MakeEvent(L"VexloInstaller/PackageReady", true);
  const base::win::ScopedHandle interrupted =
      MakeEvent(L"VexloInstaller/InstallationInterrupted", true);
  ASSERT_TRUE(ready.IsValid() && interrupted.IsValid());
  enum First { kFrontEndEnds, kInterrupted, kPackageReady };
  for (First first : {kFrontEndEnds, kInterrupted, kPackageReady}) {
    SCOPED_TRACE(first);
    base::Process front_end = StartRequester();
    ASSERT_TRUE(front_end.IsValid());
    {
      // Granted for good, so that the package's installer ends by itself.
      PermissionRoleThread role(
          RoleCommandLine(true, front_end.Pid(), package.path()));
      if (first == kFrontEndEnds)
        front_end.Terminate(1, true);
      else
        ::SetEvent(first == kInterrupted ? interrupted.Get() : ready.Get());
    }
    front_end.Terminate(0, true);
    // Only the package's installer grants, and creates the folder.
    EXPECT_EQ(first == kPackageReady ? WAIT_OBJECT_0 : WAIT_TIMEOUT,
              ::WaitForSingleObject(give_event_.Get(), 0));
    EXPECT_EQ(first == kPackageReady, base::DirectoryExists(folder_));
  }
}

// The whole request through a real elevated process: this test's program
// path names the installer, which the request starts with "runas".
TEST_F(FolderPermissionTest, RequestsThroughTheElevatedProcess) {
  base::FilePath exe_folder;
  ASSERT_TRUE(base::PathService::Get(base::DIR_EXE, &exe_folder));
  ScopedPathOverride exe(base::FILE_EXE, exe_folder.Append(L"installer.exe"));
  FolderPermissionGrant kept;
  ASSERT_EQ(kFolderPermissionGranted,
            RequestFolderPermission(folder_, true, false, 0, &kept));
  EXPECT_TRUE(kept.undo_event.IsValid());
  EXPECT_TRUE(base::DirectoryExists(folder_));

  // Taken back on the undo, and not before.
  FolderPermissionGrant grant;
  ASSERT_EQ(kFolderPermissionGranted,
            RequestFolderPermission(folder_, false, false, 0, &grant));
  const base::win::ScopedHandle elevated(
      ::OpenProcess(SYNCHRONIZE, FALSE, grant.elevated_process_id));
  ASSERT_TRUE(elevated.IsValid());
  EXPECT_EQ(WAIT_TIMEOUT, ::WaitForSingleObject(elevated.Get(), 500));
  ::SetEvent(grant.undo_event.Get());
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(elevated.Get(), kWaitMs));

  // A program that ends at once without granting.
  wchar_t system_folder[MAX_PATH];
  ASSERT_NE(0u, ::GetSystemDirectoryW(system_folder, MAX_PATH));
  ScopedPathOverride other(
      base::FILE_EXE, base::FilePath(system_folder).Append(L"hostname.exe"));
  ScopedLogCapture log;
  FolderPermissionGrant none;
  EXPECT_EQ(kFolderPermissionNotGranted,
            RequestFolderPermission(folder_, false, false, 0, &none));
  EXPECT_TRUE(log.Saw("Failed to run the elevated process"));
  EXPECT_FALSE(none.undo_event.IsValid());
}

// Elevation is impossible only for a user who is not an administrator, on
// Vista or later, with user account control off.
TEST_F(FolderPermissionTest, KnowsWhenElevationIsImpossible) {
  base::win::RegKey policies;
  ASSERT_EQ(ERROR_SUCCESS,
            policies.Create(HKEY_LOCAL_MACHINE,
                            L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\"
                            L"Policies\\System",
                            KEY_QUERY_VALUE | KEY_SET_VALUE));
  uint32_t saved = 1;
  const bool had_value =
      policies.ReadValueDW(L"EnableLUA", &saved) == ERROR_SUCCESS;
  policies.WriteValueDW(L"EnableLUA", 0);
  FakeSecurityChecks checks;
  checks.set_administrator(false);
  {
    ScopedLogCapture log;
    FolderPermissionGrant grant;
    EXPECT_EQ(kFolderPermissionCannotElevate,
              RequestFolderPermission(folder_, false, false, 0, &grant));
    EXPECT_TRUE(log.Saw("Cannot elevate with UAC disabled"));
  }
  for (base::win::Version version :
       {base::win::VERSION_XP, base::win::VERSION_VISTA}) {
    base::win::ScopedWindowsVersionOverride override_version(version);
    EXPECT_EQ(version == base::win::VERSION_XP, internal::CanElevate());
  }
  policies.DeleteValue(L"EnableLUA");
  EXPECT_TRUE(internal::CanElevate());
  policies.WriteValueDW(L"EnableLUA", 0);
  checks.set_administrator(true);
  EXPECT_TRUE(internal::CanElevate());
  if (had_value)
    policies.WriteValueDW(L"EnableLUA", saved);
  else
    policies.DeleteValue(L"EnableLUA");
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
