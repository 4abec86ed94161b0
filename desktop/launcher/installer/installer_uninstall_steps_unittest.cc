// An installation, its update and its uninstallation through the installer
// executable, as the product runs them: nothing of the product may stay.

#include <windows.h>

#include <shlobj.h>

#include <map>
#include <string>
#include <vector>

#include "base/base_paths.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/path_service.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/folder_link.h"
#include "base/test/unique_test_dir.h"
#include "base/win/scoped_handle.h"
#include "desktop/launcher/installer/test/installer_test_package.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {

namespace {

using Snapshot = std::map<base::string16, std::string>;

// What the installer executable's product writes to the registry.
std::vector<ScopedProductRegistry::Key> ProductRegistry() {
  std::vector<ScopedProductRegistry::Key> keys;
  for (const wchar_t* key :
       {L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vexlo "
        L"12.0.1450.0",
        L"Software\\Classes\\Vexlodeveloper",
        L"Software\\Clients\\StartMenuInternet\\Vexlodeveloper",
        L"Software\\Vexlo"}) {
    keys.push_back({HKEY_CURRENT_USER, key, false, L""});
  }
  for (const wchar_t* extension : {L".vxe", L".vxdownload", L".htm", L".html",
                                   L".pdf", L".shtml", L".xht", L".xhtml"}) {
    keys.push_back({HKEY_CURRENT_USER,
                    L"Software\\Classes\\" + base::string16(extension), false,
                    L""});
  }
  keys.push_back({HKEY_CURRENT_USER, L"Software\\RegisteredApplications", true,
                  L"Vexlo developer"});
  return keys;
}

// The names whose entries differ between |a| and |b|.
std::vector<base::string16> Differences(const Snapshot& a, const Snapshot& b) {
  Snapshot both = a;
  both.insert(b.begin(), b.end());
  std::vector<base::string16> names;
  for (const auto& entry : both) {
    const auto in_a = a.find(entry.first);
    const auto in_b = b.find(entry.first);
    if (in_a == a.end() || in_b == b.end() || in_a->second != in_b->second)
      names.push_back(entry.first);
  }
  return names;
}

base::FilePath ShellFolder(int id) {
  wchar_t path[MAX_PATH] = {};
  EXPECT_TRUE(SUCCEEDED(
      ::SHGetFolderPathW(nullptr, id, nullptr, SHGFP_TYPE_CURRENT, path)));
  return base::FilePath(path);
}

class InstallerUninstallEndToEndTest : public testing::Test {
 protected:
  InstallerUninstallEndToEndTest()
      : package_(temp_.path().Append(L"package")),
        install_(temp_.path().Append(L"Vexlo")),
        registry_(ProductRegistry()) {}

  void SetUp() override {
    base::FilePath build;
    ASSERT_TRUE(base::PathService::Get(base::DIR_EXE, &build));
    installer_ = build.Append(L"installer.exe");
    WriteTestPackage(package_, 20, {"vexlo_installer.dll", "installer.exe"});
    ASSERT_TRUE(base::CopyFile(build.Append(L"vexlo_installer.dll"),
                               package_.Append(L"vexlo_installer.dll")));
    // The installer runs the uninstallation from the version folder, beside
    // the browser; the launcher and the browser are stand-ins.
    for (const wchar_t* name :
         {L"installer.exe", L"launcher.exe", L"vexlo.exe"})
      ASSERT_TRUE(base::CopyFile(installer_, package_.Append(name)));
    const std::string more = "installer.exe\r\nvexlo.exe\r\n";
    ASSERT_TRUE(base::AppendToFile(package_.Append(L"files_list"), more.data(),
                                   static_cast<int>(more.size())));
    interrupted_.Set(::CreateEventW(nullptr, TRUE, FALSE,
                                    InterruptedEventName(install_).c_str()));
    ASSERT_TRUE(interrupted_.IsValid());
    // Installations of other tests would give this one's shortcuts their
    // names.
    for (const base::FilePath& file : ProductShortcutsAndTasks())
      base::DeleteFile(file, false);
    for (const base::FilePath& profile : ProfileFolders())
      base::DeleteFile(profile, true);
  }

  // Runs |program| as the backend of the test's front end.
  void RunBackend(const base::FilePath& program,
                  const base::string16& switches) {
    const base::string16 command =
        L"\"" + program.value() + L"\" --backend " + switches +
        L" --allusers=0 --pintotaskbar=0 --launchvexlo=0 \"--installfolder=" +
        install_.value() + L"\" --initial-pid=" +
        base::UintToString16(::GetCurrentProcessId());
    const base::Process process =
        base::LaunchProcess(command, base::LaunchOptions());
    ASSERT_TRUE(process.IsValid());
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(process.Handle(), 60000))
        << "the backend did not end";
    DWORD exit_code = 1;
    ::GetExitCodeProcess(process.Handle(), &exit_code);
    EXPECT_EQ(0u, exit_code) << switches;
  }

  // The product's places: the installation, the registry, the shell's
  // shortcut folders, the scheduled tasks and the profile.
  Snapshot State() {
    Snapshot state = SnapshotFolder(install_);
    for (const auto& entry : registry_.Snapshot()) {
      // An emptied extension key is no row of the product's.
      if (!entry.second.empty())
        state[entry.first] = entry.second;
    }
    for (const base::FilePath& file : ProductShortcutsAndTasks()) {
      std::string bytes;
      base::ReadFileToString(file, &bytes);
      state[file.value()] = bytes;
    }
    for (const base::FilePath& profile : ProfileFolders()) {
      for (const auto& entry : SnapshotFolder(profile))
        state[profile.Append(entry.first).value()] = entry.second;
    }
    return state;
  }

  // The product's own entries of the shell's folders, never the rest: the
  // test platform's desktop is the host's home folder.
  static std::vector<base::FilePath> ProductShortcutsAndTasks() {
    std::vector<base::FilePath> files;
    for (const base::FilePath& folder :
         {ShellFolder(CSIDL_DESKTOPDIRECTORY), ShellFolder(CSIDL_PROGRAMS),
          ShellFolder(CSIDL_APPDATA)
              .Append(L"Microsoft\\Internet Explorer\\Quick Launch"),
          ShellFolder(CSIDL_SYSTEM).Append(L"Tasks")}) {
      base::FileEnumerator entries(folder, false, base::FileEnumerator::FILES,
                                   L"Vexlo*");
      for (base::FilePath file = entries.Next(); !file.empty();
           file = entries.Next()) {
        files.push_back(file);
      }
    }
    return files;
  }

  static std::vector<base::FilePath> ProfileFolders() {
    return {ShellFolder(CSIDL_APPDATA).Append(L"Vexlo Software"),
            ShellFolder(CSIDL_LOCAL_APPDATA).Append(L"Vexlo Software")};
  }

  base::UniqueTestDir temp_;
  const base::FilePath package_;
  const base::FilePath install_;
  ScopedProductRegistry registry_;
  base::win::ScopedHandle interrupted_;
  base::FilePath installer_;
};

// Removes a link when it goes.
struct LinkRemover {
  ~LinkRemover() { base::DeleteFile(link, false); }
  base::FilePath link;
};

}  // namespace

TEST_F(InstallerUninstallEndToEndTest, LeavesNothingOfTheProduct) {
  const Snapshot before = State();
  RunBackend(package_.Append(L"installer.exe"), L"--install");
  RunBackend(package_.Append(L"installer.exe"), L"--install");
  const base::FilePath version = install_.Append(L"12.0.1450.0_0");
  ASSERT_TRUE(base::PathExists(version.Append(L"vexlo.exe")));
  ASSERT_TRUE(base::PathExists(install_.Append(L"old_status")));
  // The browser ran and made its profile.
  const base::FilePath profile = ShellFolder(CSIDL_APPDATA)
                                     .Append(L"Vexlo Software\\Vexlo Developer")
                                     .Append(L"Default");
  ASSERT_TRUE(base::CreateDirectory(profile));
  ASSERT_EQ(1, base::WriteFile(profile.Append(L"Bookmarks"), "b", 1));
  // Its cache was moved to another place and linked back: deleting the
  // profile takes the link, never what it points to.
  const base::FilePath moved_cache = temp_.path().Append(L"moved_cache");
  ASSERT_TRUE(base::CreateDirectory(moved_cache));
  ASSERT_EQ(1, base::WriteFile(moved_cache.Append(L"data_0"), "c", 1));
  ASSERT_TRUE(base::MakeFolderLink(profile.Append(L"Cache"), moved_cache));
  // Should the test stop early: Wine hides a link whose folder is gone, and
  // the profile could then never be deleted.
  const LinkRemover remover{profile.Append(L"Cache")};
  // The uninstaller runs from the version folder. The batch file that
  // would delete its running program there once it ended cannot wait on
  // the test platform, so a copy of the test's own runs instead.
  const base::FilePath uninstaller = version.Append(L"uninstaller_copy.exe");
  ASSERT_TRUE(base::CopyFile(installer_, uninstaller));
  RunBackend(uninstaller, L"--uninstall --silent --deleteuserprofile=1");
  // The batch file deletes itself last. The test platform's cmd.exe holds
  // it open to its end, so it cannot remove the folder around it.
  const base::FilePath batch = install_.Append(L"k.bat");
  for (int i = 0; i < 600 && base::PathExists(batch); ++i)
    ::Sleep(100);
  const Snapshot left = SnapshotFolder(install_);
  EXPECT_EQ(3u, left.size());
  EXPECT_EQ(1u, left.count(L"12.0.1450.0_0\\uninstaller_copy.exe"));
  ASSERT_TRUE(base::DeleteFile(install_, true));
  Snapshot after = State();
  // The folder last installed to stays the user's choice for the next
  // installation.
  EXPECT_EQ(
      1u, after.erase(L"HKCU\\Software\\Vexlo : Last developer Install Path"));
  after.erase(L"HKCU\\Software\\Vexlo");
  EXPECT_EQ(std::vector<base::string16>(), Differences(before, after));
  std::string cache;
  EXPECT_TRUE(base::ReadFileToString(moved_cache.Append(L"data_0"), &cache));
  EXPECT_EQ("c", cache);
}

}  // namespace installer
}  // namespace vexlo
