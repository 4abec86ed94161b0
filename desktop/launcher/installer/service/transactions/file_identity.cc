#include "desktop/launcher/installer/service/transactions/file_identity.h"

#include <string.h>

#include <vector>

#include "base/logging.h"
#include "base/win/scoped_handle.h"

namespace vexlo {
namespace installer {

namespace {

constexpr DWORD kShareAll =
    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The file at |path| opened for |access|, shared with everyone, so that
// nothing that a running program or another handle allows is refused.
HANDLE Open(const base::FilePath& path, DWORD access) {
  return ::CreateFileW(path.value().c_str(), access, kShareAll, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool IsMissing(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// The form of |path| that the native rename takes: the system's own
// namespace, which takes a drive path behind "\??\" and a share behind
// "\??\UNC\".
base::string16 NativePath(const base::FilePath& path) {
  const base::string16& text = path.value();
  if (text.compare(0, 4, L"\\\\?\\") == 0)
    return L"\\??\\" + text.substr(4);
  if (text.compare(0, 2, L"\\\\") == 0)
    return L"\\??\\UNC\\" + text.substr(2);
  return L"\\??\\" + text;
}

bool RenameHandle(HANDLE file, const base::FilePath& to) {
  const base::string16 name = NativePath(to);
  const size_t name_bytes = name.size() * sizeof(wchar_t);
  std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + name_bytes, 0);
  FILE_RENAME_INFO* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  info->ReplaceIfExists = FALSE;
  info->RootDirectory = nullptr;
  info->FileNameLength = static_cast<DWORD>(name_bytes);
  memcpy(info->FileName, name.data(), name_bytes);
  return ::SetFileInformationByHandle(file, FileRenameInfo, info,
                                      static_cast<DWORD>(buffer.size())) != 0;
}

bool DeleteHandle(HANDLE file) {
  FILE_DISPOSITION_INFO disposition = {TRUE};
  return ::SetFileInformationByHandle(file, FileDispositionInfo, &disposition,
                                      sizeof(disposition)) != 0;
}

bool IsRefusedInUse(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
         error == ERROR_LOCK_VIOLATION;
}

}  // namespace

FileIdentity::FileIdentity() : known_(false), volume_(0), index_(0) {}

FileIdentity::FileIdentity(uint32_t volume, uint64_t index)
    : known_(true), volume_(volume), index_(index) {}

// static
FileIdentity FileIdentity::Of(const base::FilePath& path) {
  base::win::ScopedHandle file(Open(path, 0));
  return file.IsValid() ? OfHandle(file.Get()) : FileIdentity();
}

// static
FileIdentity FileIdentity::OfHandle(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION information;
  if (!::GetFileInformationByHandle(file, &information) ||
      (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return FileIdentity();
  }
  return FileIdentity(
      information.dwVolumeSerialNumber,
      (static_cast<uint64_t>(information.nFileIndexHigh) << 32) |
          information.nFileIndexLow);
}

bool FileIdentity::IsAt(const base::FilePath& path) const {
  return known_ && Of(path) == *this;
}

FileIdentity::Act FileIdentity::DeleteAt(const base::FilePath& path) const {
  base::win::ScopedHandle file;
  const Act opened = OpenToChange(path, &file);
  if (opened != Act::kDone)
    return opened;
  if (DeleteHandle(file.Get()))
    return Act::kDone;
  if (IsRefusedInUse(::GetLastError()))
    return Act::kInUse;
  PLOG(ERROR) << "Could not delete " << path.AsUTF8();
  return Act::kFailed;
}

FileIdentity::Act FileIdentity::MoveAt(const base::FilePath& path,
                                       const base::FilePath& to) const {
  base::win::ScopedHandle file;
  const Act opened = OpenToChange(path, &file);
  return opened == Act::kDone ? MoveOpen(file.Get(), path, to) : opened;
}

// static
FileIdentity::Act FileIdentity::MoveOpen(HANDLE file,
                                         const base::FilePath& path,
                                         const base::FilePath& to) {
  if (RenameHandle(file, to))
    return Act::kDone;
  const DWORD error = ::GetLastError();
  if (IsRefusedInUse(error))
    return Act::kInUse;
  LOG_IF(ERROR, error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS)
      << "Could not move " << path.AsUTF8() << " to " << to.AsUTF8() << ": "
      << error;
  return Act::kFailed;
}

FileIdentity::Act FileIdentity::OpenToChange(
    const base::FilePath& path,
    base::win::ScopedHandle* file) const {
  if (!known_)
    return Act::kNotThere;
  // The handle that is checked is the one that changes the file: a file
  // that takes the name in between is never the one changed.
  file->Set(Open(path, DELETE));
  if (!file->IsValid()) {
    const DWORD error = ::GetLastError();
    if (IsMissing(error) || !IsAt(path))
      return Act::kNotThere;
    return IsRefusedInUse(error) ? Act::kInUse : Act::kFailed;
  }
  return OfHandle(file->Get()) == *this ? Act::kDone : Act::kNotThere;
}

bool FileIdentity::operator==(const FileIdentity& other) const {
  return known_ == other.known_ && volume_ == other.volume_ &&
         index_ == other.index_;
}

}  // namespace installer
}  // namespace vexlo
