#ifndef DESKTOP_LAUNCHER_INSTALLER_TEST_INSTALLER_TEST_PACKAGE_H_
#define DESKTOP_LAUNCHER_INSTALLER_TEST_INSTALLER_TEST_PACKAGE_H_

#include <map>
#include <string>
#include <vector>

#include "base/base_paths.h"
#include "base/base_paths_win.h"
#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/process/process.h"
#include "base/strings/string16.h"
#include "base/win/registry.h"
#include "desktop/launcher/installer/service/test/product_registry.h"
#include "desktop/launcher/installer/test/scoped_path_override.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {

// An unpacked package made by a test: "files_list" with |files| below
// "res" and "res\\deep" of a few bytes each (the last of them larger),
// "root_files_list" with |root_files|, and "launcher.exe", all written into
// |folder|. Returns the relative names of the files list.
std::vector<std::string> WriteTestPackage(
    const base::FilePath& folder,
    int files,
    const std::vector<std::string>& root_files);

// A package of |files| test files whose installer is the build's own
// installer executable with its library; the launcher is the build's
// recording launcher and the browser, below "res" and beside the
// installer, a copy of the installer executable. Returns the relative
// names of the files list.
std::vector<std::string> WriteInstallerExecutablePackage(
    const base::FilePath& folder,
    int files);

// Every file (with its bytes) and folder below |folder|, by relative path;
// folders map to "<dir>". |folder| itself maps to "<dir>" when it exists.
std::map<base::string16, std::string> SnapshotFolder(
    const base::FilePath& folder);

// The registry keys and values an installation of the test product writes
// under both roots.
std::vector<ScopedProductRegistry::Key> InstallerRegistryKeys();

// The uninstall key an installation by the build's installer executable
// (the product as its own configuration names it) writes.
extern const wchar_t kInstallerExecutableUninstallKey[];

// The registry keys and values such an installation writes, all of them
// under HKEY_CURRENT_USER.
std::vector<ScopedProductRegistry::Key> InstallerExecutableKeys();

// Deletes |path| (recursively when |recursive|), waiting up to 10 s for the
// crash reporter that every installer process starts, which ends just after
// the process it watched and runs or writes in the installer's folders.
bool DeleteOnceReleased(const base::FilePath& path, bool recursive);

// Runs |command_line| to its end, at most two minutes; its exit code, or 1
// when it did not end (it is then ended).
int RunToEnd(const base::string16& command_line);

// Waits for |process| to end, at most two minutes; its exit code, or 1 when
// it did not end (it is then ended).
int WaitToEnd(const base::Process& process);

// Makes every start of the build's recording launcher, by this process or
// the processes it starts, append its arguments to a file of |folder| for
// the life of the object.
class ScopedLauncherRecord {
 public:
  explicit ScopedLauncherRecord(const base::FilePath& folder);
  ScopedLauncherRecord(const ScopedLauncherRecord&) = delete;
  ScopedLauncherRecord& operator=(const ScopedLauncherRecord&) = delete;
  ~ScopedLauncherRecord();

  // Copies the recording launcher of the build to |destination|.
  static bool CopyLauncher(const base::FilePath& destination);

  // The starts recorded so far, each as its command line split into the
  // program and its arguments.
  std::vector<std::vector<std::string>> Runs() const;

 private:
  const base::FilePath path_;
};

// Points TMP and TEMP of this process, and so of the processes it
// starts, at a folder while it lives.
class ScopedTempVariables {
 public:
  explicit ScopedTempVariables(const base::FilePath& folder);
  ScopedTempVariables(const ScopedTempVariables&) = delete;
  ScopedTempVariables& operator=(const ScopedTempVariables&) = delete;
  ~ScopedTempVariables();

 private:
  std::map<base::string16, base::string16> saved_;
};

// Points the user's shell folder |name| at |folder| while the object lives,
// for the processes the test starts, and the path service's |path_key| of
// the test's own process likewise. The platform's own desktop shell reads
// the links put into the real folders and holds them open meanwhile, which
// would make the installer's moves and copies of its shortcuts fail at
// random; and a test must leave no shortcut there. The path service keeps
// the first answer it gets for a key: without the override, the test's
// process would go on seeing the folder of the first test that asked.
class ScopedShellFolder {
 public:
  ScopedShellFolder(const wchar_t* name,
                    int path_key,
                    const base::FilePath& folder)
      : path_override_(path_key, folder),
        name_(name),
        key_(HKEY_CURRENT_USER,
             L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\"
             L"User Shell Folders",
             KEY_QUERY_VALUE | KEY_SET_VALUE),
        saved_(1024) {
    EXPECT_TRUE(base::CreateDirectory(folder));
    DWORD size = static_cast<DWORD>(saved_.size() * sizeof(wchar_t));
    EXPECT_EQ(ERROR_SUCCESS,
              key_.ReadValueRaw(name_, &saved_[0], &size, &type_));
    saved_size_ = size;
    const base::string16& path = folder.value();
    EXPECT_EQ(ERROR_SUCCESS,
              key_.WriteValueRaw(
                  name_, path.c_str(),
                  static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)),
                  REG_EXPAND_SZ));
  }
  ScopedShellFolder(const ScopedShellFolder&) = delete;
  ScopedShellFolder& operator=(const ScopedShellFolder&) = delete;
  ~ScopedShellFolder() {
    EXPECT_EQ(ERROR_SUCCESS,
              key_.WriteValueRaw(name_, &saved_[0], saved_size_, type_));
  }

 private:
  const ScopedPathOverride path_override_;
  const wchar_t* const name_;
  base::win::RegKey key_;
  std::vector<wchar_t> saved_;
  DWORD saved_size_ = 0;
  DWORD type_ = REG_NONE;
};

// The user's Desktop and Programs folders, below |root| for the test's life:
// the installer's shortcuts land there rather than in the prefix's own.
class ScopedShellFolders {
 public:
  explicit ScopedShellFolders(const base::FilePath& root)
      : desktop_(L"Desktop", base::DIR_USER_DESKTOP, root.Append(L"Desktop")),
        programs_(L"Programs", base::DIR_START_MENU, root.Append(L"Programs")) {
  }
  ScopedShellFolders(const ScopedShellFolders&) = delete;
  ScopedShellFolders& operator=(const ScopedShellFolders&) = delete;

 private:
  const ScopedShellFolder desktop_;
  const ScopedShellFolder programs_;
};

// The name under which the installation-interrupted event of |folder| is
// made by the processes that start a backend.
base::string16 InterruptedEventName(const base::FilePath& folder);

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_TEST_INSTALLER_TEST_PACKAGE_H_
