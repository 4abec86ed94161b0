#include "desktop/launcher/installer/test/installer_test_package.h"

#include <windows.h>

#include "base/base_paths.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/path_service.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_split.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/common/product/product_info.h"
#include "gtest/gtest.h"

namespace vexlo {
namespace installer {

namespace {

constexpr wchar_t kLauncherRecordVariable[] = L"VEXLO_TEST_LAUNCHER_RECORD";

void WriteText(const base::FilePath& path, const std::string& text) {
  ASSERT_TRUE(base::CreateDirectory(path.DirName()));
  ASSERT_EQ(static_cast<int>(text.size()),
            base::WriteFile(path, text.data(), static_cast<int>(text.size())));
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines)
    text += line + "\r\n";
  return text;
}

}  // namespace

const wchar_t kInstallerExecutableUninstallKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vexlo "
    L"12.0.1450.0";

std::vector<ScopedProductRegistry::Key> InstallerExecutableKeys() {
  std::vector<ScopedProductRegistry::Key> keys;
  for (const wchar_t* key :
       {kInstallerExecutableUninstallKey, L"Software\\Classes\\Vexlodeveloper",
        L"Software\\Classes\\.vxe", L"Software\\Classes\\.vxdownload",
        L"Software\\Classes\\.htm", L"Software\\Classes\\.html",
        L"Software\\Classes\\.pdf", L"Software\\Classes\\.shtml",
        L"Software\\Classes\\.xht", L"Software\\Classes\\.xhtml",
        L"Software\\Clients\\StartMenuInternet\\Vexlodeveloper",
        L"Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\"
        L"Compatibility Assistant\\Persisted",
        L"Software\\Vexlo"}) {
    keys.push_back({HKEY_CURRENT_USER, key, false, L""});
  }
  keys.push_back({HKEY_CURRENT_USER, L"Software\\RegisteredApplications", true,
                  L"Vexlo developer"});
  return keys;
}

ScopedTempVariables::ScopedTempVariables(const base::FilePath& folder) {
  for (const wchar_t* name : {L"TMP", L"TEMP"}) {
    wchar_t value[MAX_PATH] = {};
    ::GetEnvironmentVariableW(name, value, MAX_PATH);
    saved_[name] = value;
    ::SetEnvironmentVariableW(name, folder.value().c_str());
  }
}

ScopedTempVariables::~ScopedTempVariables() {
  for (const auto& variable : saved_)
    ::SetEnvironmentVariableW(variable.first.c_str(), variable.second.c_str());
}

bool DeleteOnceReleased(const base::FilePath& path, bool recursive) {
  for (int attempt = 0; attempt < 200; ++attempt) {
    if (base::DeleteFile(path, recursive))
      return true;
    ::Sleep(50);
  }
  return false;
}

int RunToEnd(const base::string16& command_line) {
  const base::Process process =
      base::LaunchProcess(command_line, base::LaunchOptions());
  EXPECT_TRUE(process.IsValid());
  return WaitToEnd(process);
}

int WaitToEnd(const base::Process& process) {
  if (::WaitForSingleObject(process.Handle(), 120000) != WAIT_OBJECT_0) {
    ADD_FAILURE() << "the program did not end";
    process.Terminate(1, true);
  }
  DWORD exit_code = 1;
  ::GetExitCodeProcess(process.Handle(), &exit_code);
  return static_cast<int>(exit_code);
}

std::vector<std::string> WriteTestPackage(
    const base::FilePath& folder,
    int files,
    const std::vector<std::string>& root_files) {
  std::vector<std::string> names;
  for (int i = 0; i < files; ++i) {
    const std::string name = (i % 2 ? "res\\deep\\file" : "res\\file") +
                             base::IntToString(i) + ".dat";
    names.push_back(name);
    const std::string content =
        i + 1 == files ? std::string(300000, 'x') : "content " + name;
    WriteText(folder.Append(base::UTF8ToUTF16(name)), content);
  }
  WriteText(folder.Append(L"files_list"), JoinLines(names));
  for (const std::string& name : root_files)
    WriteText(folder.Append(base::UTF8ToUTF16(name)), "root " + name);
  if (!root_files.empty())
    WriteText(folder.Append(L"root_files_list"), JoinLines(root_files));
  WriteText(folder.Append(L"launcher.exe"), "launcher");
  return names;
}

std::vector<std::string> WriteInstallerExecutablePackage(
    const base::FilePath& folder,
    int files) {
  base::FilePath build;
  EXPECT_TRUE(base::PathService::Get(base::DIR_EXE, &build));
  const std::vector<std::string> names =
      WriteTestPackage(folder, files, {"vexlo_installer.dll", "installer.exe"});
  // The installer carries its library; the launcher and the browser are
  // stand-ins.
  for (const wchar_t* name : {L"installer.exe", L"vexlo_installer.dll"})
    EXPECT_TRUE(base::CopyFile(build.Append(name), folder.Append(name)));
  EXPECT_TRUE(
      ScopedLauncherRecord::CopyLauncher(folder.Append(L"launcher.exe")));
  // The browser stands in the package twice: below "res", and beside the
  // installer for the tests that list it for the version folder.
  for (const wchar_t* name : {L"res\\vexlo.exe", L"vexlo.exe"}) {
    EXPECT_TRUE(
        base::CopyFile(build.Append(L"installer.exe"), folder.Append(name)));
  }
  return names;
}

ScopedLauncherRecord::ScopedLauncherRecord(const base::FilePath& folder)
    : path_(folder.Append(L"launcher_runs.txt")) {
  EXPECT_TRUE(::SetEnvironmentVariableW(kLauncherRecordVariable,
                                        path_.value().c_str()));
}

ScopedLauncherRecord::~ScopedLauncherRecord() {
  ::SetEnvironmentVariableW(kLauncherRecordVariable, nullptr);
}

// static
bool ScopedLauncherRecord::CopyLauncher(const base::FilePath& destination) {
  base::FilePath build;
  return base::PathService::Get(base::DIR_MODULE, &build) &&
         base::CopyFile(build.Append(L"recording_launcher_test_child.exe"),
                        destination);
}

std::vector<std::vector<std::string>> ScopedLauncherRecord::Runs() const {
  std::string text;
  base::ReadFileToString(path_, &text);
  std::vector<std::vector<std::string>> runs;
  for (const std::string& line : base::SplitString(
           text, "\n", base::KEEP_WHITESPACE, base::SPLIT_WANT_NONEMPTY)) {
    runs.push_back(base::SplitString(line, "\t", base::KEEP_WHITESPACE,
                                     base::SPLIT_WANT_ALL));
  }
  return runs;
}

std::map<base::string16, std::string> SnapshotFolder(
    const base::FilePath& folder) {
  std::map<base::string16, std::string> snapshot;
  if (!base::DirectoryExists(folder))
    return snapshot;
  snapshot[L"."] = "<dir>";
  base::FileEnumerator entries(
      folder, true,
      base::FileEnumerator::FILES | base::FileEnumerator::DIRECTORIES);
  for (base::FilePath path = entries.Next(); !path.empty();
       path = entries.Next()) {
    const base::string16 relative =
        path.value().substr(folder.value().size() + 1);
    std::string content = "<dir>";
    if (!base::DirectoryExists(path))
      base::ReadFileToString(path, &content);
    snapshot[relative] = content;
  }
  return snapshot;
}

std::vector<ScopedProductRegistry::Key> InstallerRegistryKeys() {
  const base::string16 version =
      base::UTF8ToUTF16(ProductInfo::GetVersionString());
  const base::string16 uninstall =
      L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VexloTest " +
      version;
  std::vector<ScopedProductRegistry::Key> keys;
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    for (const wchar_t* suffix : {L"", L"1", L"2"})
      keys.push_back({root, uninstall + suffix, false, L""});
    for (const wchar_t* name :
         {L"VexloTestdeveloper", L".vxe", L".vxdownload", L".htm", L".html",
          L".pdf", L".shtml", L".xht", L".xhtml",
          L"Applications\\vexlo_test.exe", L"VexloTestTrap"}) {
      keys.push_back(
          {root, L"Software\\Classes\\" + base::string16(name), false, L""});
    }
    keys.push_back({root,
                    L"Software\\Microsoft\\Windows\\CurrentVersion\\App "
                    L"Paths\\vexlo_test.exe",
                    false, L""});
    keys.push_back({root,
                    L"Software\\Microsoft\\Windows NT\\CurrentVersion\\"
                    L"AppCompatFlags\\Compatibility Assistant\\Persisted",
                    false, L""});
    keys.push_back({root, L"Software\\RegisteredApplications", true,
                    L"VexloTest developer"});
    keys.push_back({root,
                    L"Software\\Clients\\StartMenuInternet\\VexloTestdeveloper",
                    false, L""});
    keys.push_back({root, L"Software\\Vexlo Test Company", false, L""});
  }
  return keys;
}

base::string16 InterruptedEventName(const base::FilePath& folder) {
  base::string16 name = folder.value();
  for (wchar_t& character : name) {
    if (character == L'\\')
      character = L'/';
  }
  return L"Global\\" + name + L"/VexloInstaller/InstallationInterrupted";
}

}  // namespace installer
}  // namespace vexlo
