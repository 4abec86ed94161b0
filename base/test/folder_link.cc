#include "base/test/folder_link.h"

#include <windows.h>
#include <winioctl.h>

#include <stddef.h>
#include <string.h>

#include <vector>

#include "base/files/file_util.h"
#include "base/strings/string16.h"
#include "base/threading/platform_thread.h"
#include "base/time/time.h"
#include "base/win/scoped_handle.h"

namespace base {

namespace {

// Wine starts a host program without a handle to wait on: the link's
// appearance is its end.
bool WaitForLink(const FilePath& link) {
  const TimeTicks deadline = TimeTicks::Now() + TimeDelta::FromSeconds(60);
  for (;;) {
    const DWORD attributes = ::GetFileAttributesW(link.value().c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
      return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (TimeTicks::Now() >= deadline)
      return false;
    PlatformThread::Sleep(TimeDelta::FromMilliseconds(5));
  }
}

bool MakeHostLink(const FilePath& link, const string16& host_target) {
  string16 host_link;
  if (!GetHostPath(link, &host_link) || host_link.empty() ||
      host_target.empty()) {
    return false;
  }
  return StartHostProgram(L"/bin/ln -s -- \"" + host_target + L"\" \"" +
                          host_link + L"\"") &&
         WaitForLink(link);
}

// The mount point form of the system's reparse data.
struct MountPointHeader {
  DWORD tag;
  WORD data_length;
  WORD reserved;
  WORD substitute_offset;
  WORD substitute_length;
  WORD print_offset;
  WORD print_length;
};

bool MakeJunction(const FilePath& link, const FilePath& target) {
  if (!::CreateDirectoryW(link.value().c_str(), nullptr))
    return false;
  const string16 substitute = L"\\??\\" + target.value();
  const string16& print = target.value();
  const size_t names_size =
      (substitute.size() + 1 + print.size() + 1) * sizeof(wchar_t);
  std::vector<char> buffer(sizeof(MountPointHeader) + names_size);
  MountPointHeader header = {};
  header.tag = IO_REPARSE_TAG_MOUNT_POINT;
  header.data_length =
      static_cast<WORD>(buffer.size() - offsetof(MountPointHeader, reserved) -
                        sizeof(header.reserved));
  header.substitute_length =
      static_cast<WORD>(substitute.size() * sizeof(wchar_t));
  header.print_offset = static_cast<WORD>(header.substitute_length + 2);
  header.print_length = static_cast<WORD>(print.size() * sizeof(wchar_t));
  memcpy(buffer.data(), &header, sizeof(header));
  memcpy(buffer.data() + sizeof(header), substitute.c_str(),
         header.substitute_length + 2);
  memcpy(buffer.data() + sizeof(header) + header.print_offset, print.c_str(),
         header.print_length + 2);
  win::ScopedHandle folder(::CreateFileW(
      link.value().c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
      FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  DWORD returned = 0;
  if (folder.IsValid() &&
      ::DeviceIoControl(folder.Get(), FSCTL_SET_REPARSE_POINT, buffer.data(),
                        static_cast<DWORD>(buffer.size()), nullptr, 0,
                        &returned, nullptr)) {
    return true;
  }
  folder.Close();
  ::RemoveDirectoryW(link.value().c_str());
  return false;
}

}  // namespace

bool MakeFolderLink(const FilePath& link, const FilePath& target) {
  string16 host_target;
  if (GetHostPath(target, &host_target))
    return MakeHostLink(link, host_target);
  // Unprivileged creation needs developer mode.
  constexpr DWORD kAllowUnprivileged = 0x2;
  if (::CreateSymbolicLinkW(
          link.value().c_str(), target.value().c_str(),
          SYMBOLIC_LINK_FLAG_DIRECTORY | kAllowUnprivileged)) {
    return true;
  }
  return MakeJunction(link, target);
}

}  // namespace base
