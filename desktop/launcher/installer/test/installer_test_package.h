#ifndef DESKTOP_LAUNCHER_INSTALLER_TEST_INSTALLER_TEST_PACKAGE_H_
#define DESKTOP_LAUNCHER_INSTALLER_TEST_INSTALLER_TEST_PACKAGE_H_

#include <map>
#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "base/strings/string16.h"
#include "desktop/launcher/installer/service/test/product_registry.h"

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

// Every file (with its bytes) and folder below |folder|, by relative path;
// folders map to "<dir>". |folder| itself maps to "<dir>" when it exists.
std::map<base::string16, std::string> SnapshotFolder(
    const base::FilePath& folder);

// The registry keys and values an installation of the test product writes
// under both roots.
std::vector<ScopedProductRegistry::Key> InstallerRegistryKeys();

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

// The name under which the installation-interrupted event of |folder| is
// made by the processes that start a backend.
base::string16 InterruptedEventName(const base::FilePath& folder);

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_TEST_INSTALLER_TEST_PACKAGE_H_
