// Runs the installer host executable from a folder of its own, with stand-ins
// for the installer library beside it.

#include <windows.h>

#include <string>
#include <vector>

#include "base/strings/string16.h"
#include "desktop/launcher/installer/host/installer_host_exit_codes.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {
namespace {

constexpr wchar_t kHostName[] = L"installer.exe";
constexpr wchar_t kLibraryName[] = L"vexlo_installer.dll";
// Built beside the test executable.
constexpr wchar_t kFakeInstallerLibrary[] = L"fake_installer_test_dll.dll";
// A library without the installer's entry point.
constexpr wchar_t kLibraryWithoutEntryPoint[] = L"_krontalib.pyd";

// Generous: the host only loads a library and returns.
constexpr DWORD kProcessTimeoutMs = 60000;

base::string16 GetTestExecutableFolder() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  base::string16 folder(path, length);
  return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

// A new empty folder under the temporary folder, deleted with what the test
// put in it.
class ScopedFolder {
 public:
  ScopedFolder() {
    static int counter = 0;
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    path_ = base::string16(temp) + L"installer_host_test_" +
            std::to_wstring(GetCurrentProcessId()) + L"_" +
            std::to_wstring(++counter);
    created_ = CreateDirectoryW(path_.c_str(), nullptr) != 0;
    EXPECT_TRUE(created_) << GetLastError();
  }
  ScopedFolder(const ScopedFolder&) = delete;
  ScopedFolder& operator=(const ScopedFolder&) = delete;
  ~ScopedFolder() {
    for (const base::string16& file : files_)
      DeleteFileW(file.c_str());
    if (created_) {
      EXPECT_TRUE(RemoveDirectoryW(path_.c_str())) << GetLastError();
    }
  }

  base::string16 PathOf(const base::string16& name) const {
    return path_ + L"\\" + name;
  }

  // Copies |source| from the test executable's folder as |name|.
  bool CopyBuiltFile(const wchar_t* source, const wchar_t* name) {
    const base::string16 destination = PathOf(name);
    files_.push_back(destination);
    return CopyFileW((GetTestExecutableFolder() + source).c_str(),
                     destination.c_str(), FALSE) != 0;
  }

  bool WriteFile(const wchar_t* name, const std::string& content) {
    const base::string16 destination = PathOf(name);
    files_.push_back(destination);
    HANDLE file = CreateFileW(destination.c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
      return false;
    DWORD written = 0;
    const bool ok =
        ::WriteFile(file, content.data(), static_cast<DWORD>(content.size()),
                    &written, nullptr) &&
        written == content.size();
    CloseHandle(file);
    return ok;
  }

  const base::string16& path() const { return path_; }

 private:
  base::string16 path_;
  bool created_ = false;
  std::vector<base::string16> files_;
};

// Runs |program| with |arguments| in |current_folder| and returns its exit
// code; -1 when it could not be started or did not end.
int RunProcess(const base::string16& program,
               const base::string16& arguments,
               const base::string16& current_folder) {
  base::string16 command_line = L"\"" + program + L"\" " + arguments;
  STARTUPINFOW startup_info = {};
  startup_info.cb = sizeof(startup_info);
  PROCESS_INFORMATION process_info = {};
  if (!CreateProcessW(program.c_str(), &command_line[0], nullptr, nullptr,
                      FALSE, 0, nullptr, current_folder.c_str(), &startup_info,
                      &process_info)) {
    ADD_FAILURE() << "CreateProcess failed: " << GetLastError();
    return -1;
  }
  CloseHandle(process_info.hThread);
  DWORD exit_code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(process_info.hProcess, kProcessTimeoutMs) ==
      WAIT_OBJECT_0) {
    GetExitCodeProcess(process_info.hProcess, &exit_code);
  } else {
    ADD_FAILURE() << "the host did not end";
    TerminateProcess(process_info.hProcess, 1);
  }
  CloseHandle(process_info.hProcess);
  return static_cast<int>(exit_code);
}

TEST(InstallerHostTest, ReturnsTheInstallerResult) {
  ScopedFolder folder;
  ASSERT_TRUE(folder.CopyBuiltFile(kHostName, kHostName));
  ASSERT_TRUE(folder.CopyBuiltFile(kFakeInstallerLibrary, kLibraryName));
  const base::string16 host = folder.PathOf(kHostName);

  EXPECT_EQ(HOST_EXIT_SUCCESS, RunProcess(host, L"", folder.path()));
  EXPECT_EQ(HOST_EXIT_INSTALLER_FAILED,
            RunProcess(host, L"--report-failure", folder.path()));
}

TEST(InstallerHostTest, FailsCleanlyWithoutALoadableLibrary) {
  ScopedFolder folder;
  ASSERT_TRUE(folder.CopyBuiltFile(kHostName, kHostName));
  const base::string16 host = folder.PathOf(kHostName);
  EXPECT_EQ(HOST_EXIT_LIBRARY_NOT_LOADED, RunProcess(host, L"", folder.path()));

  ASSERT_TRUE(folder.WriteFile(kLibraryName, "not a library"));
  EXPECT_EQ(HOST_EXIT_LIBRARY_NOT_LOADED, RunProcess(host, L"", folder.path()));
}

TEST(InstallerHostTest, FailsCleanlyWithoutTheEntryPoint) {
  ScopedFolder folder;
  ASSERT_TRUE(folder.CopyBuiltFile(kHostName, kHostName));
  ASSERT_TRUE(folder.CopyBuiltFile(kLibraryWithoutEntryPoint, kLibraryName));
  EXPECT_EQ(HOST_EXIT_ENTRY_POINT_MISSING,
            RunProcess(folder.PathOf(kHostName), L"", folder.path()));
}

// A library of that name in the current folder, such as a download folder,
// must not be run.
TEST(InstallerHostTest, IgnoresALibraryInTheCurrentFolder) {
  ScopedFolder host_folder;
  ScopedFolder current_folder;
  ASSERT_TRUE(host_folder.CopyBuiltFile(kHostName, kHostName));
  ASSERT_TRUE(
      current_folder.CopyBuiltFile(kFakeInstallerLibrary, kLibraryName));
  EXPECT_EQ(
      HOST_EXIT_LIBRARY_NOT_LOADED,
      RunProcess(host_folder.PathOf(kHostName), L"", current_folder.path()));
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
