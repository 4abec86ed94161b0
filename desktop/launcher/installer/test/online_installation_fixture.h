#ifndef DESKTOP_LAUNCHER_INSTALLER_TEST_ONLINE_INSTALLATION_FIXTURE_H_
#define DESKTOP_LAUNCHER_INSTALLER_TEST_ONLINE_INSTALLATION_FIXTURE_H_

#include <memory>
#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "base/strings/string16.h"
#include "base/test/unique_test_dir.h"
#include "desktop/launcher/installer/service/test/product_registry.h"
#include "desktop/launcher/installer/test/installer_test_package.h"
#include "desktop/launcher/installer/wininet/test/http_test_server.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {

// The build's installer executable, installing from the loopback update
// server or from the package it carries, into a folder of the test, with
// the temporary folder (and so the logs and the download) of the test.
class OnlineInstallationFixture : public testing::Test {
 protected:
  OnlineInstallationFixture();
  ~OnlineInstallationFixture() override;

  void SetUp() override;
  void TearDown() override;

  // A file of the build folder.
  static base::FilePath BuildFile(const wchar_t* name);

  static bool WriteBytes(const base::FilePath& path, const std::string& bytes);

  // Serves |package| and a reply naming it, with |query|, and its checksum.
  void Serve(const std::string& package, const std::string& query);

  // The command line that runs |program|, written into the test's folder
  // first, with the test's switches and |extra|.
  base::string16 Command(const std::string& program,
                         const base::string16& extra);

  // Starts two silent online runs with one working folder at the start of a
  // second, into |folder| and |other_folder|; their exit codes, in the order
  // they were started.
  std::vector<int> RunTwoOnline(const base::FilePath& folder,
                                const base::FilePath& other_folder);

  // " --internal-package-server=" and the server's reply.
  base::string16 PackageServerSwitch() const;

  // Runs |program| silently to its end; its exit code.
  int RunInstaller(const std::string& program, const base::string16& extra);

  int RunOnline();

  // Every log line of the runs; the names of all other files left in the
  // temporary folder, a crash dump's with where its crash happened.
  std::string Logs(std::vector<base::string16>* others);

  bool Installed();

  void ExpectNothingInstalled();

  base::UniqueTestDir temp_;
  const base::FilePath install_;
  const base::FilePath tmp_;
  ScopedProductRegistry registry_;
  // The installation's shortcuts go to folders of the test.
  ScopedShellFolders shell_folders_;
  HttpTestServer server_;
  std::string installer_;
  std::string archive_;
  std::unique_ptr<ScopedTempVariables> temp_variables_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_TEST_ONLINE_INSTALLATION_FIXTURE_H_
