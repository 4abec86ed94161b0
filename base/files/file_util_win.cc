#include "base/files/file_util.h"

#include <share.h>
#include <shlobj.h>
#include <stdlib.h>

#include <algorithm>
#include <vector>

#include "base/files/file_enumerator.h"
#include "base/logging.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/threading/platform_thread.h"
#include "base/time/time.h"
#include "base/win/scoped_handle.h"

namespace base {

namespace {

// Whether |path| is too long for the calls limited to MAX_PATH.
bool IsTooLong(const FilePath& path) {
  return path.value().length() >= MAX_PATH;
}

// Whether |path| is |dir| itself or lies below it. Windows paths ignore
// case, and "C:\foobar" is not inside "C:\foo": only a whole component
// boundary counts.
bool IsSameOrInside(const FilePath& path, const FilePath& dir) {
  const string16 path_text = path.StripTrailingSeparators().value();
  const string16 dir_text = dir.StripTrailingSeparators().value();
  if (dir_text.empty() || path_text.length() < dir_text.length())
    return false;
  const StringPiece16 head(path_text.data(), dir_text.length());
  if (FilePath::CompareIgnoreCase(head, dir_text) != 0)
    return false;
  return path_text.length() == dir_text.length() ||
         FilePath::IsSeparator(path_text[dir_text.length()]) ||
         FilePath::IsSeparator(dir_text.back());
}

// Whether a rename onto a file was refused because another handle holds
// that file open, which refuses it even to a reader sharing everything.
bool IsRefusedWhileHeld(DWORD error) {
  return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
}

// Renames |from_path| over |to_path| in one step. Readers hold a file for
// moments, so a rename they refuse is tried again for a short while: at once
// a few times, then after a millisecond. The while is counted in tries as
// well as in time: on a busy machine the writer may be kept from running
// for the whole time, and would give up having hardly tried. On failure the
// last error is the rename's.
bool RenameOverWhileHeld(const FilePath& from_path, const FilePath& to_path) {
  constexpr int kImmediateRetries = 20;
  constexpr int kLeastRetries = kImmediateRetries + 100;
  const TimeTicks deadline =
      TimeTicks::Now() + TimeDelta::FromMilliseconds(200);
  for (int attempt = 0;; ++attempt) {
    if (::MoveFileExW(from_path.value().c_str(), to_path.value().c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return true;
    }
    const DWORD error = ::GetLastError();
    if (!IsRefusedWhileHeld(error) ||
        (attempt >= kLeastRetries && TimeTicks::Now() >= deadline)) {
      ::SetLastError(error);
      return false;
    }
    if (attempt < kImmediateRetries)
      PlatformThread::YieldCurrentThread();
    else
      PlatformThread::Sleep(TimeDelta::FromMilliseconds(1));
  }
}

// Whether |attributes| are those of a link: a junction, or a symbolic link
// to a folder or a file. A walk that deletes removes a link and never goes
// through it: what it points to is not the walked tree's.
bool IsLinkAttributes(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Wine's export that names a path in the host's file system; null on
// Windows.
using UnixNameFunction = char*(__cdecl*)(const wchar_t*);
UnixNameFunction GetUnixNameFunction() {
  return reinterpret_cast<UnixNameFunction>(
      reinterpret_cast<void*>(::GetProcAddress(
          ::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
}

// Waits until nothing stands at |path| any more, for a bounded while.
bool WaitUntilGone(const FilePath& path) {
  const TimeTicks deadline = TimeTicks::Now() + TimeDelta::FromSeconds(30);
  while (::GetFileAttributesW(path.value().c_str()) !=
         INVALID_FILE_ATTRIBUTES) {
    if (TimeTicks::Now() >= deadline)
      return false;
    PlatformThread::Sleep(TimeDelta::FromMilliseconds(2));
  }
  return true;
}

// How long writes that take no byte, as those to a full pipe that does not
// wait, are tried again before the write is given up.
constexpr int64_t kStalledWriteSeconds = 30;

// Lets the reader of a handle that took no byte make room; false once
// nothing was taken since |stalled_since| for kStalledWriteSeconds. A null
// |stalled_since| starts the count.
bool WaitForRoomToWrite(TimeTicks* stalled_since) {
  const TimeTicks now = TimeTicks::Now();
  if (stalled_since->is_null())
    *stalled_since = now;
  else if (now - *stalled_since >= TimeDelta::FromSeconds(kStalledWriteSeconds))
    return false;
  PlatformThread::Sleep(TimeDelta::FromMilliseconds(1));
  return true;
}

// Wine resolves a link before it removes or renames it: RemoveDirectoryW
// removes the folder the link points to when that is empty, a rename moves
// that folder and DeleteFileW refuses, whatever the flags. Only the host's
// own removal of a name takes the link alone, so its rm is run on it:
// without -r it removes a link or a file, never a folder. The host program
// starts without a handle to wait on; the link's going is its end.
bool DeleteLinkOnHost(const FilePath& path) {
  string16 host_path;
  if (!GetHostPath(path, &host_path)) {
    ::SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  if (host_path.empty() || host_path.find(L'"') != string16::npos ||
      host_path.back() == L'\\') {
    ::SetLastError(ERROR_BAD_PATHNAME);
    return false;
  }
  if (!StartHostProgram(L"/bin/rm -f -- \"" + host_path + L"\""))
    return false;
  if (WaitUntilGone(path))
    return true;
  ::SetLastError(ERROR_ACCESS_DENIED);
  return false;
}

// Removes the link |path| itself; what it points to is never touched.
bool DeleteLink(const FilePath& path, DWORD attributes) {
  if (!RenamesMoveLinks())
    return DeleteLinkOnHost(path);
  // Windows removes a junction or a folder's symbolic link with
  // RemoveDirectoryW and a file's with DeleteFileW, without looking behind.
  if (attributes & FILE_ATTRIBUTE_DIRECTORY)
    return ::RemoveDirectoryW(path.value().c_str()) != FALSE;
  return ::DeleteFileW(path.value().c_str()) != FALSE;
}

// |path| in the form that no MAX_PATH limit applies to, so that a walk
// reaches entries of any depth; unchanged when it has no such form (a
// relative path, one through '.' or '..', or one already in that form).
// That form turns off the conversion of "/" to "\", so it is made here.
FilePath ExtendedLengthForm(const FilePath& path) {
  const string16 text = path.NormalizePathSeparators().value();
  if (text.size() < 3 || text.compare(0, 4, L"\\\\?\\") == 0 ||
      path.ReferencesParent() || text.find(L"\\.\\") != string16::npos) {
    return path;
  }
  if (text[1] == L':' && text[2] == L'\\')
    return FilePath(L"\\\\?\\" + text);
  if (text[0] == L'\\' && text[1] == L'\\' && text[2] != L'.' &&
      text[2] != L'?') {
    return FilePath(L"\\\\?\\UNC\\" + text.substr(2));
  }
  return path;
}

// Deletes the entries of |root| that match |pattern|: the files and links,
// and with |recursive| also the matching folders after emptying them of
// their own matching entries. One folder at a time from a list of its own,
// never a call per level, so that no depth runs out of stack. Stops at the
// first failure.
bool DeleteFileRecursive(const FilePath& root,
                         const string16& pattern,
                         bool recursive) {
  struct Folder {
    FilePath path;
    // Whether its entries are gone, so that it only waits for its removal.
    bool emptied;
  };
  std::vector<Folder> folders = {{ExtendedLengthForm(root), false}};
  while (!folders.empty()) {
    if (folders.back().emptied) {
      // The root stays: the caller removes it, or keeps it for a pattern.
      if (folders.size() > 1 &&
          !::RemoveDirectoryW(folders.back().path.value().c_str())) {
        return false;
      }
      folders.pop_back();
      continue;
    }
    folders.back().emptied = true;
    FileEnumerator traversal(
        folders.back().path, false,
        FileEnumerator::FILES | FileEnumerator::DIRECTORIES, pattern);
    for (FilePath current = traversal.Next(); !current.empty();
         current = traversal.Next()) {
      const FileEnumerator::FileInfo info = traversal.GetInfo();
      const DWORD attributes = info.find_data().dwFileAttributes;
      const bool is_directory = info.IsDirectory();
      if (IsLinkAttributes(attributes)) {
        if (!recursive && is_directory)
          continue;
        if (!DeleteLink(current, attributes))
          return false;
        continue;
      }
      if ((attributes & FILE_ATTRIBUTE_READONLY) &&
          (recursive || !is_directory)) {
        ::SetFileAttributesW(current.value().c_str(),
                             attributes & ~FILE_ATTRIBUTE_READONLY);
      }
      if (!is_directory) {
        if (!::DeleteFileW(current.value().c_str()))
          return false;
      } else if (recursive) {
        folders.push_back({current, false});
      }
    }
  }
  return true;
}

// CopyFile without the path checks.
bool CopyFileUnchecked(const FilePath& from_path,
                       const FilePath& to_path,
                       bool replace) {
  if (!::CopyFileW(from_path.value().c_str(), to_path.value().c_str(),
                   replace ? FALSE : TRUE)) {
    return false;
  }
  // A copy of a read-only file is read-only too; the callers want a file
  // they can replace or delete later.
  const DWORD attributes = ::GetFileAttributesW(to_path.value().c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES)
    return false;
  if (attributes & FILE_ATTRIBUTE_READONLY) {
    ::SetFileAttributesW(to_path.value().c_str(),
                         attributes & ~FILE_ATTRIBUTE_READONLY);
  }
  return true;
}

// The refusals set the last error too: callers tell a taken destination
// from other failures by it.
bool CopyFileChecked(const FilePath& from_path,
                     const FilePath& to_path,
                     bool replace) {
  if (from_path.ReferencesParent() || to_path.ReferencesParent()) {
    ::SetLastError(ERROR_BAD_PATHNAME);
    return false;
  }
  if (IsTooLong(from_path) || IsTooLong(to_path)) {
    ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  return CopyFileUnchecked(from_path, to_path, replace);
}

// Opens |path| with CreateFileW and the given arguments.
HANDLE OpenPath(const FilePath& path,
                DWORD access,
                DWORD share,
                DWORD disposition,
                DWORD flags) {
  return ::CreateFileW(path.value().c_str(), access, share, nullptr,
                       disposition, flags, nullptr);
}

}  // namespace

bool PathExists(const FilePath& path) {
  return ::GetFileAttributesW(path.value().c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool DirectoryExists(const FilePath& path) {
  const DWORD attributes = ::GetFileAttributesW(path.value().c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool PathIsWritable(const FilePath& path) {
  win::ScopedHandle handle(
      OpenPath(path, FILE_WRITE_DATA,
               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS));
  return handle.IsValid();
}

bool GetFileInfo(const FilePath& path, File::Info* info) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExW(path.value().c_str(), GetFileExInfoStandard,
                              &data)) {
    return false;
  }
  ULARGE_INTEGER size;
  size.HighPart = data.nFileSizeHigh;
  size.LowPart = data.nFileSizeLow;
  info->size = static_cast<int64_t>(size.QuadPart);
  info->is_directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  info->is_symbolic_link = false;
  info->last_modified = Time::FromFileTime(data.ftLastWriteTime);
  info->last_accessed = Time::FromFileTime(data.ftLastAccessTime);
  info->creation_time = Time::FromFileTime(data.ftCreationTime);
  return true;
}

FilePath MakeAbsoluteFilePath(const FilePath& path) {
  wchar_t buffer[MAX_PATH];
  if (!_wfullpath(buffer, path.value().c_str(), MAX_PATH))
    return FilePath();
  return FilePath(buffer);
}

bool GetCurrentDirectory(FilePath* path) {
  wchar_t buffer[MAX_PATH];
  const DWORD length = ::GetCurrentDirectoryW(MAX_PATH, buffer);
  // A length of MAX_PATH or more is the size the text would need.
  if (length == 0 || length >= MAX_PATH)
    return false;
  *path = FilePath(StringPiece16(buffer, length)).StripTrailingSeparators();
  return true;
}

bool SetCurrentDirectory(const FilePath& path) {
  return ::SetCurrentDirectoryW(path.value().c_str()) != FALSE;
}

bool GetTempDir(FilePath* path) {
  wchar_t buffer[MAX_PATH];
  const DWORD length = ::GetTempPathW(MAX_PATH, buffer);
  if (length == 0 || length >= MAX_PATH)
    return false;
  *path = FilePath(StringPiece16(buffer, length)).StripTrailingSeparators();
  return true;
}

FilePath GetHomeDir() {
  wchar_t buffer[MAX_PATH];
  if (SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_PROFILE, nullptr,
                                   SHGFP_TYPE_CURRENT, buffer)) &&
      buffer[0]) {
    return FilePath(buffer);
  }
  FilePath temp_dir;
  if (GetTempDir(&temp_dir))
    return temp_dir;
  return FilePath(L"C:\\");
}

int ReadFile(const FilePath& path, char* data, int max_size) {
  if (max_size < 0)
    return -1;
  win::ScopedHandle file(OpenPath(path, GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN));
  if (!file.IsValid())
    return -1;
  DWORD bytes_read = 0;
  if (!::ReadFile(file.Get(), data, static_cast<DWORD>(max_size), &bytes_read,
                  nullptr)) {
    return -1;
  }
  return static_cast<int>(bytes_read);
}

int WriteFile(const FilePath& path, const char* data, int size) {
  if (size < 0)
    return -1;
  win::ScopedHandle file(OpenPath(path, GENERIC_WRITE, 0, CREATE_ALWAYS, 0));
  if (!file.IsValid())
    return -1;
  DWORD bytes_written = 0;
  if (!::WriteFile(file.Get(), data, static_cast<DWORD>(size), &bytes_written,
                   nullptr) ||
      static_cast<int>(bytes_written) != size) {
    return -1;
  }
  return size;
}

bool AppendToFile(const FilePath& path, const char* data, int size) {
  if (size < 0)
    return false;
  win::ScopedHandle file(OpenPath(path, FILE_APPEND_DATA, 0, OPEN_EXISTING, 0));
  if (!file.IsValid()) {
    VPLOG(1) << "CreateFile failed for path " << path.AsUTF8();
    return false;
  }
  DWORD bytes_written = 0;
  if (!::WriteFile(file.Get(), data, static_cast<DWORD>(size), &bytes_written,
                   nullptr)) {
    VPLOG(1) << "Writing file " << path.AsUTF8() << " failed";
    return false;
  }
  if (static_cast<int>(bytes_written) != size) {
    VPLOG(1) << "Only wrote " << bytes_written << " out of " << size
             << " byte(s) to " << path.AsUTF8();
    return false;
  }
  return true;
}

bool WriteToHandle(HANDLE file, const void* data, size_t size) {
  const char* next = static_cast<const char*>(data);
  TimeTicks stalled_since;
  while (size > 0) {
    const DWORD piece = static_cast<DWORD>(std::min(size, kWritePieceSize));
    DWORD written = 0;
    if (!::WriteFile(file, next, piece, &written, nullptr))
      return false;
    // A pipe or a device may take part of a piece; the next write goes on
    // where this one stopped.
    next += written;
    size -= written;
    if (written > 0) {
      stalled_since = TimeTicks();
    } else if (!WaitForRoomToWrite(&stalled_since)) {
      ::SetLastError(NO_ERROR);
      return false;
    }
  }
  return true;
}

FILE* OpenFile(const FilePath& path, const char* mode) {
  string16 wide_mode;
  for (const char* unit = mode; *unit; ++unit)
    wide_mode.push_back(static_cast<unsigned char>(*unit));
  return _wfsopen(path.value().c_str(), wide_mode.c_str(), _SH_DENYNO);
}

bool CreateDirectoryAndGetError(const FilePath& path, File::Error* error) {
  // The folders missing on the way down, deepest first, each noted by its
  // length: every parent is a leading part of its child's text. A loop, not
  // a call per folder, so that a path of many thousand components does not
  // run out of stack.
  std::vector<size_t> missing_lengths;
  FilePath existing = path;
  DWORD attributes;
  while ((attributes = ::GetFileAttributesW(existing.value().c_str())) ==
         INVALID_FILE_ATTRIBUTES) {
    const FilePath parent = existing.DirName();
    if (parent.value() == existing.value()) {
      // A root that does not exist.
      if (error)
        *error = File::FILE_ERROR_NOT_FOUND;
      return false;
    }
    missing_lengths.push_back(existing.value().length());
    existing = parent;
  }
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    if (error)
      *error = File::FILE_ERROR_NOT_A_DIRECTORY;
    return false;
  }
  for (auto length = missing_lengths.rbegin(); length != missing_lengths.rend();
       ++length) {
    const string16 folder = path.value().substr(0, *length);
    if (::CreateDirectoryW(folder.c_str(), nullptr))
      continue;
    const DWORD last_error = ::GetLastError();
    // Another creator may have won the race; the outcome is what was asked.
    if (last_error == ERROR_ALREADY_EXISTS && DirectoryExists(FilePath(folder)))
      continue;
    if (error)
      *error = File::OSErrorToFileError(last_error);
    return false;
  }
  return true;
}

bool CopyFile(const FilePath& from_path, const FilePath& to_path) {
  return CopyFileChecked(from_path, to_path, true);
}

bool CopyFileWithoutReplacing(const FilePath& from_path,
                              const FilePath& to_path) {
  return CopyFileChecked(from_path, to_path, false);
}

bool CopyDirectory(const FilePath& from_path,
                   const FilePath& to_path,
                   bool recursive) {
  if (IsTooLong(from_path) || IsTooLong(to_path))
    return false;
  const FilePath real_to_path =
      MakeAbsoluteFilePath(PathExists(to_path) ? to_path : to_path.DirName());
  if (real_to_path.empty())
    return false;
  const FilePath real_from_path = MakeAbsoluteFilePath(from_path);
  if (real_from_path.empty())
    return false;
  if (IsSameOrInside(real_to_path, real_from_path))
    return false;

  int traverse_type = FileEnumerator::FILES;
  if (recursive)
    traverse_type |= FileEnumerator::DIRECTORIES;
  FileEnumerator traversal(from_path, recursive, traverse_type);
  if (!PathExists(from_path))
    return false;

  FilePath current = from_path;
  bool from_is_dir = DirectoryExists(from_path);
  // Copying a folder recursively into an existing folder recreates the
  // source folder inside it.
  const FilePath from_base =
      (recursive && DirectoryExists(to_path)) ? from_path.DirName() : from_path;
  while (!current.empty()) {
    FilePath target = to_path;
    if (from_base != current && !from_base.AppendRelativePath(current, &target))
      return false;
    if (from_is_dir) {
      if (!DirectoryExists(target) &&
          !::CreateDirectoryW(target.value().c_str(), nullptr)) {
        return false;
      }
    } else if (!CopyFile(current, target)) {
      return false;
    }
    current = traversal.Next();
    if (!current.empty())
      from_is_dir = traversal.GetInfo().IsDirectory();
  }
  return true;
}

bool Move(const FilePath& from_path, const FilePath& to_path) {
  if (IsTooLong(from_path) || IsTooLong(to_path))
    return false;
  if (::MoveFileExW(from_path.value().c_str(), to_path.value().c_str(),
                    MOVEFILE_COPY_ALLOWED | MOVEFILE_REPLACE_EXISTING)) {
    return true;
  }
  const DWORD move_error = ::GetLastError();
  if (DirectoryExists(from_path) && CopyAndDeleteDirectory(from_path, to_path))
    return true;
  ::SetLastError(move_error);
  return false;
}

bool ReplaceFile(const FilePath& from_path,
                 const FilePath& to_path,
                 File::Error* error) {
  // A folder is not replaced by a file, as a rename onto it is refused;
  // Wine's ReplaceFileW would move it aside.
  if (DirectoryExists(to_path)) {
    if (error)
      *error = File::FILE_ERROR_ACCESS_DENIED;
    return false;
  }
  // One rename, so that a reader, or a crash, finds the old file or the new
  // one and never neither: Wine's ReplaceFileW moves the old file aside,
  // deletes it and only then moves the new one in. So while readers still
  // hold the target it is left whole and the replace fails; the caller keeps
  // its data for the next write.
  if (RenameOverWhileHeld(from_path, to_path))
    return true;
  if (!IsRefusedWhileHeld(::GetLastError()) &&
      ::ReplaceFileW(to_path.value().c_str(), from_path.value().c_str(),
                     nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                     nullptr)) {
    return true;
  }
  if (error)
    *error = File::OSErrorToFileError(::GetLastError());
  return false;
}

bool DeleteFile(const FilePath& path, bool recursive) {
  if (path.empty())
    return true;
  if (IsTooLong(path))
    return false;
  const string16 base_name = path.BaseName().value();
  if (base_name.find_first_of(L"*?") != string16::npos)
    return DeleteFileRecursive(path.DirName(), base_name, recursive);

  DWORD attributes = ::GetFileAttributesW(path.value().c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    // Only a path that is not there counts as deleted; any other reason not
    // to read it is a failure.
    const DWORD last_error = ::GetLastError();
    return last_error == ERROR_FILE_NOT_FOUND ||
           last_error == ERROR_PATH_NOT_FOUND;
  }
  // A link given for deletion goes as a link, recursive or not.
  if (IsLinkAttributes(attributes))
    return DeleteLink(path, attributes);
  if (attributes & FILE_ATTRIBUTE_READONLY) {
    attributes &= ~FILE_ATTRIBUTE_READONLY;
    if (!::SetFileAttributesW(path.value().c_str(), attributes))
      return false;
  }
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
    return ::DeleteFileW(path.value().c_str()) != FALSE;
  if (recursive && !DeleteFileRecursive(path, L"*", true))
    return false;
  return ::RemoveDirectoryW(path.value().c_str()) != FALSE;
}

bool IsLink(const FilePath& path) {
  return IsLinkAttributes(::GetFileAttributesW(path.value().c_str()));
}

bool RenamesMoveLinks() {
  return GetUnixNameFunction() == nullptr;
}

bool FilesKeepTheirOwners() {
  return GetUnixNameFunction() == nullptr;
}

bool GetHostPath(const FilePath& path, string16* host_path) {
  const UnixNameFunction unix_name = GetUnixNameFunction();
  char* const text = unix_name ? unix_name(path.value().c_str()) : nullptr;
  if (!text)
    return false;
  *host_path = UTF8ToUTF16(text);
  ::HeapFree(::GetProcessHeap(), 0, text);
  return true;
}

bool StartHostProgram(string16 command_line) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!::CreateProcessW(nullptr, &command_line[0], nullptr, nullptr, FALSE,
                        CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &process)) {
    return false;
  }
  // A host program comes without a process handle, and whatever the
  // record holds for its thread is no handle either.
  if (process.hProcess) {
    win::ScopedHandle process_handle(process.hProcess);
    win::ScopedHandle thread_handle(process.hThread);
  }
  return true;
}

bool DeleteFileAfterReboot(const FilePath& path) {
  if (IsTooLong(path))
    return false;
  return ::MoveFileExW(
             path.value().c_str(), nullptr,
             MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING) != FALSE;
}

bool CreateTemporaryFileInDir(const FilePath& dir, FilePath* temp_file) {
  wchar_t temp_name[MAX_PATH];
  if (!::GetTempFileNameW(dir.value().c_str(), L"", 0, temp_name))
    return false;
  wchar_t long_temp_name[MAX_PATH];
  const DWORD long_length =
      ::GetLongPathNameW(temp_name, long_temp_name, MAX_PATH);
  if (long_length > 0 && long_length < MAX_PATH)
    *temp_file = FilePath(StringPiece16(long_temp_name, long_length));
  else
    *temp_file = FilePath(temp_name);
  return true;
}

bool IsTemporaryFileName(const string16& name) {
  // The system names the file after a 16-bit number, in hexadecimal without
  // leading zeros.
  constexpr size_t kMaxDigits = 4;
  const size_t digits = name.find(L'.');
  if (digits == 0 || digits > kMaxDigits ||
      !LowerCaseEqualsASCII(StringPiece16(name).substr(digits), ".tmp")) {
    return false;
  }
  return std::all_of(name.begin(), name.begin() + digits, [](wchar_t c) {
    return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') ||
           (c >= L'A' && c <= L'F');
  });
}

}  // namespace base
