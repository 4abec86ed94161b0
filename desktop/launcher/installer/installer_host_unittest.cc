// Runs the installer host executable from a folder of its own.

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

// Generous: the host only answers and returns.
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
               const base::string16& current_folder,
               HANDLE output = nullptr) {
  base::string16 command_line = L"\"" + program + L"\" " + arguments;
  STARTUPINFOW startup_info = {};
  startup_info.cb = sizeof(startup_info);
  if (output) {
    startup_info.dwFlags = STARTF_USESTDHANDLES;
    startup_info.hStdOutput = output;
    startup_info.hStdError = output;
  }
  PROCESS_INFORMATION process_info = {};
  if (!CreateProcessW(program.c_str(), &command_line[0], nullptr, nullptr,
                      output != nullptr, 0, nullptr, current_folder.c_str(),
                      &startup_info, &process_info)) {
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

// The executable carries the installer itself: a lone copy, as the package
// check and the run directory start it, answers without any library.
TEST(InstallerHostTest, ALoneCopyAnswersTheInformationSwitches) {
  ScopedFolder folder;
  ASSERT_TRUE(folder.CopyBuiltFile(kHostName, kHostName));
  ASSERT_TRUE(folder.WriteFile(kLibraryName, "not a library"));
  const struct {
    const wchar_t* arguments;
    std::string answer;
  } cases[] = {
      {L"--version", "12.0.1450.0"},
      {L"--internal-version", "1450.0"},
      {L"--stream", "developer"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments);
    SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
    const base::string16 output_path = folder.PathOf(L"output.txt");
    HANDLE output = CreateFileW(output_path.c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ, &inheritable, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, output);
    EXPECT_EQ(HOST_EXIT_SUCCESS,
              RunProcess(folder.PathOf(kHostName), c.arguments, folder.path(),
                         output));
    CloseHandle(output);
    char text[256] = {};
    HANDLE input = CreateFileW(output_path.c_str(), GENERIC_READ, 0, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD read = 0;
    ReadFile(input, text, sizeof(text) - 1, &read, nullptr);
    CloseHandle(input);
    DeleteFileW(output_path.c_str());
    EXPECT_EQ(c.answer, std::string(text, read));
  }
}

}  // namespace
}  // namespace installer
}  // namespace vexlo
