// The installer executable: a small host that loads the installer library
// from its own folder and runs it. Everything else the installer needs
// (texts, dialogs, images, the product configuration) it carries as
// resources, which the library reads from this module.

#include <windows.h>

#include <cstring>

#include "desktop/launcher/installer/host/installer_host_exit_codes.h"

namespace {

constexpr wchar_t kInstallerLibraryName[] = L"vexlo_installer.dll";
constexpr char kEntryPointName[] = "RunInstaller";

// The longest path Windows handles, with its terminator.
constexpr DWORD kMaxPathLength = 32768;

// Returns 1 on success and 0 on failure.
using RunInstallerFunction = unsigned char (*)();

// Writes the installer library's full path, beside this executable, into
// |path|; false when the executable's own path is unknown or too long.
bool GetInstallerLibraryPath(wchar_t* path, DWORD capacity) {
  const DWORD length = GetModuleFileNameW(nullptr, path, capacity);
  if (length == 0 || length >= capacity)
    return false;
  wchar_t* name = path + length;
  while (name > path && name[-1] != L'\\' && name[-1] != L'/')
    --name;
  if (name == path)
    return false;
  const size_t name_size = sizeof(kInstallerLibraryName);
  if (static_cast<size_t>(name - path) * sizeof(wchar_t) + name_size >
      capacity * sizeof(wchar_t)) {
    return false;
  }
  std::memcpy(name, kInstallerLibraryName, name_size);
  return true;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE /* instance */,
                    HINSTANCE /* previous_instance */,
                    PWSTR /* command_line */,
                    int /* show_command */) {
  // A download folder is a common current directory: keep every library
  // this process loads by name, the installer's own dependencies included,
  // from being picked up there.
  SetDllDirectoryW(L"");

  // 64 KiB, kept off the stack.
  static wchar_t library_path[kMaxPathLength];
  if (!GetInstallerLibraryPath(library_path, kMaxPathLength))
    return vexlo::installer::HOST_EXIT_LIBRARY_NOT_LOADED;
  // Dependencies of the library resolve from its folder first.
  HMODULE library =
      LoadLibraryExW(library_path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!library)
    return vexlo::installer::HOST_EXIT_LIBRARY_NOT_LOADED;

  const auto run_installer = reinterpret_cast<RunInstallerFunction>(
      reinterpret_cast<void*>(GetProcAddress(library, kEntryPointName)));
  if (!run_installer)
    return vexlo::installer::HOST_EXIT_ENTRY_POINT_MISSING;

  // The library stays loaded: threads it started may still run until the
  // process exits.
  return run_installer() ? vexlo::installer::HOST_EXIT_SUCCESS
                         : vexlo::installer::HOST_EXIT_INSTALLER_FAILED;
}
