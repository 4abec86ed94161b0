#include "desktop/launcher/installer/package_fetcher/below_folder.h"

#include <winternl.h>

namespace vexlo {
namespace installer {

DWORD OpenBelow(HANDLE folder,
                const base::string16& name,
                ACCESS_MASK access,
                ULONG share,
                ULONG disposition,
                ULONG options,
                base::win::ScopedHandle* result) {
  UNICODE_STRING unicode;
  unicode.Buffer = const_cast<wchar_t*>(name.c_str());
  unicode.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
  unicode.MaximumLength = unicode.Length;
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &unicode, OBJ_CASE_INSENSITIVE,
                             folder, nullptr);
  IO_STATUS_BLOCK io = {};
  HANDLE handle = nullptr;
  const NTSTATUS status = NtCreateFile(
      &handle, access | SYNCHRONIZE, &attributes, &io, nullptr,
      FILE_ATTRIBUTE_NORMAL, share, disposition,
      options | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT, nullptr,
      0);
  if (status < 0)
    return RtlNtStatusToDosError(status);
  result->Set(handle);
  return 0;
}

DWORD DeleteWhenClosed(HANDLE handle) {
  FILE_BASIC_INFO basic = {};
  if (!GetFileInformationByHandleEx(handle, FileBasicInfo, &basic,
                                    sizeof(basic))) {
    return GetLastError();
  }
  if (basic.FileAttributes & FILE_ATTRIBUTE_READONLY) {
    // Only the attributes change; zero times are left as they are.
    FILE_BASIC_INFO writable = {};
    writable.FileAttributes = basic.FileAttributes & ~FILE_ATTRIBUTE_READONLY;
    if (writable.FileAttributes == 0)
      writable.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    if (!SetFileInformationByHandle(handle, FileBasicInfo, &writable,
                                    sizeof(writable))) {
      return GetLastError();
    }
  }
  FILE_DISPOSITION_INFO disposition = {TRUE};
  return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition,
                                    sizeof(disposition))
             ? 0
             : GetLastError();
}

DWORD ListFolder(HANDLE folder, std::vector<FolderEntry>* entries) {
  entries->clear();
  // Aligned for the records, and large enough for the longest name.
  std::vector<LONGLONG> buffer(8192);
  FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
  for (;;) {
    if (!GetFileInformationByHandleEx(
            folder, kind, buffer.data(),
            static_cast<DWORD>(buffer.size() * sizeof(LONGLONG)))) {
      const DWORD error = GetLastError();
      return error == ERROR_NO_MORE_FILES ? 0 : error;
    }
    kind = FileIdBothDirectoryInfo;
    const char* record = reinterpret_cast<const char*>(buffer.data());
    for (;;) {
      const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(record);
      const base::string16 name(info->FileName,
                                info->FileNameLength / sizeof(wchar_t));
      if (name != L"." && name != L"..") {
        entries->push_back({name, info->FileAttributes, info->FileId.QuadPart});
      }
      if (info->NextEntryOffset == 0)
        break;
      record += info->NextEntryOffset;
    }
  }
}

LONGLONG FileIdOf(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info))
    return 0;
  return (static_cast<LONGLONG>(info.nFileIndexHigh) << 32) |
         info.nFileIndexLow;
}

}  // namespace installer
}  // namespace vexlo
