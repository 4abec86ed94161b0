#include "desktop/launcher/installer/profile_deletion.h"

#include <windows.h>

#include <shlobj.h>

#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/strings/string16.h"

namespace vexlo {
namespace installer {

namespace {

constexpr int kSharedFolderIds[] = {
    CSIDL_PROFILE,       CSIDL_PERSONAL,         CSIDL_DESKTOPDIRECTORY,
    CSIDL_APPDATA,       CSIDL_LOCAL_APPDATA,    CSIDL_COMMON_APPDATA,
    CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILESX86, CSIDL_WINDOWS,
    CSIDL_SYSTEM,        CSIDL_COMMON_DOCUMENTS, CSIDL_COMMON_DESKTOPDIRECTORY,
};

// Whether |outer| is |inner| or a folder above it, letter case aside.
bool Holds(const base::FilePath& outer, const base::FilePath& inner) {
  for (base::FilePath folder = inner;; folder = folder.DirName()) {
    if (base::FilePath::CompareIgnoreCase(folder.value(), outer.value()) == 0)
      return true;
    if (folder.DirName() == folder)
      return false;
  }
}

// Whether |path| is "\\server\share" or less: a network path needs a
// folder below its share.
bool IsShareRoot(const base::FilePath& path) {
  const base::string16& value = path.value();
  if (value.size() < 2 || !base::FilePath::IsSeparator(value[0]) ||
      !base::FilePath::IsSeparator(value[1])) {
    return false;
  }
  int names = 0;
  bool in_name = false;
  for (wchar_t c : value) {
    const bool separator = base::FilePath::IsSeparator(c);
    if (!separator && !in_name)
      ++names;
    in_name = !separator;
  }
  return names < 3;
}

}  // namespace

std::vector<base::FilePath> GetSharedShellFolders() {
  std::vector<base::FilePath> folders;
  for (int id : kSharedFolderIds) {
    wchar_t path[MAX_PATH] = {};
    if (SUCCEEDED(::SHGetFolderPathW(nullptr, id, nullptr, SHGFP_TYPE_CURRENT,
                                     path)) &&
        path[0]) {
      folders.push_back(base::FilePath(path));
    }
  }
  return folders;
}

bool MayDeleteRecursively(const base::FilePath& folder,
                          const std::vector<base::FilePath>& shared) {
  const base::FilePath path = folder.StripTrailingSeparators();
  if (!path.IsAbsolute() || path.DirName() == path || IsShareRoot(path))
    return false;
  for (const base::FilePath& shared_folder : shared) {
    if (Holds(path, shared_folder.StripTrailingSeparators()))
      return false;
  }
  return true;
}

bool DeleteProfileFolder(const base::FilePath& folder) {
  if (!MayDeleteRecursively(folder, GetSharedShellFolders())) {
    LOG(ERROR) << "Refusing to delete " << folder.AsUTF8()
               << ": it holds more than the browser's profile";
    return false;
  }
  VLOG(1) << "Deleting the profile folder " << folder.AsUTF8();
  return base::DeleteFile(folder, true);
}

}  // namespace installer
}  // namespace vexlo
