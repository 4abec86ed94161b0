#include "desktop/launcher/installer/run_directory.h"

#include <windows.h>

#include <objbase.h>

#include "base/base_paths.h"
#include "base/command_line.h"
#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/path_service.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/win/scoped_handle.h"

namespace vexlo {
namespace installer {

namespace {

// {374DE290-123F-4565-9164-39C4925E467B}
constexpr GUID kDownloadsFolderId = {
    0x374de290,
    0x123f,
    0x4565,
    {0x91, 0x64, 0x39, 0xc4, 0x92, 0x5e, 0x46, 0x7b}};

// KF_FLAG_CREATE | KF_FLAG_INIT: create the folder when it is missing.
constexpr DWORD kCreateKnownFolderFlags = 0x8800;

using GetKnownFolderPathFunction = HRESULT(WINAPI*)(const GUID& folder_id,
                                                    DWORD flags,
                                                    HANDLE token,
                                                    wchar_t** path);

// The Downloads folder; false when the system has none. Looked up at run
// time: the function does not exist on every Windows the installer starts
// on.
bool GetDownloadsFolder(base::FilePath* folder) {
  const HMODULE shell = ::GetModuleHandleW(L"shell32.dll");
  if (!shell)
    return false;
  const auto get_known_folder_path =
      reinterpret_cast<GetKnownFolderPathFunction>(reinterpret_cast<void*>(
          ::GetProcAddress(shell, "SHGetKnownFolderPath")));
  if (!get_known_folder_path)
    return false;

  wchar_t* path = nullptr;
  HRESULT result = get_known_folder_path(kDownloadsFolderId, 0, nullptr, &path);
  if (FAILED(result)) {
    ::CoTaskMemFree(path);
    path = nullptr;
    result = get_known_folder_path(kDownloadsFolderId, kCreateKnownFolderFlags,
                                   nullptr, &path);
  }
  if (SUCCEEDED(result) && path)
    *folder = base::FilePath(path);
  ::CoTaskMemFree(path);
  return SUCCEEDED(result) && !folder->empty();
}

}  // namespace

bool PrepareFolderIn(const base::string16& sub_folder_name,
                     const base::FilePath& executable_path,
                     base::FilePath* folder) {
  *folder = folder->Append(sub_folder_name);
  if (!base::DirectoryExists(*folder) && !base::CreateDirectory(*folder))
    return false;
  if (executable_path.empty())
    return true;
  if (TestRunExecutableIn(*folder, executable_path))
    return true;
  // Only an empty folder goes: one that holds anything is not ours alone.
  ::RemoveDirectoryW(folder->value().c_str());
  return false;
}

bool TestRunExecutableIn(const base::FilePath& folder,
                         const base::FilePath& executable_path) {
  const base::FilePath copy = folder.Append(executable_path.BaseName());
  if (!base::CopyFile(executable_path, copy))
    return false;
  base::CommandLine command_line(copy);
  command_line.AppendSwitch("version");
  base::LaunchOptions options;
  options.wait = true;
  // The copy answers on its standard output: that answer is not ours to
  // print.
  base::win::ScopedHandle discard(
      ::CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  base::HandlesToInheritVector inherited;
  if (discard.IsValid()) {
    inherited.push_back(discard.Get());
    options.handles_to_inherit = &inherited;
    options.stdout_handle = discard.Get();
    options.stderr_handle = discard.Get();
  }
  const bool started = base::LaunchProcess(command_line, options).IsValid();
  base::DeleteFile(copy, false);
  return started;
}

bool PrepareFolderInDownloads(const base::string16& sub_folder_name,
                              const base::FilePath& executable_path,
                              base::FilePath* folder) {
  base::FilePath downloads;
  if (!GetDownloadsFolder(&downloads))
    return false;
  *folder = downloads;
  return PrepareFolderIn(sub_folder_name, executable_path, folder);
}

bool PrepareFolderUnderPathKey(const base::string16& sub_folder_name,
                               const base::FilePath& executable_path,
                               base::FilePath* folder,
                               int path_key) {
  base::FilePath parent;
  if (!base::PathService::Get(path_key, &parent))
    return false;
  *folder = parent;
  return PrepareFolderIn(sub_folder_name, executable_path, folder);
}

bool GetTemporaryInstallerFolder(const base::string16& sub_folder_name,
                                 const base::FilePath& executable_path,
                                 base::FilePath* folder) {
  return PrepareFolderUnderPathKey(sub_folder_name, executable_path, folder,
                                   base::DIR_TEMP) ||
         PrepareFolderInDownloads(sub_folder_name, executable_path, folder) ||
         PrepareFolderUnderPathKey(sub_folder_name, executable_path, folder,
                                   base::DIR_HOME) ||
         PrepareFolderUnderPathKey(sub_folder_name, executable_path, folder,
                                   base::DIR_EXE);
}

}  // namespace installer
}  // namespace vexlo
