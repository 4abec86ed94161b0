#ifndef BASE_FILES_FILE_UTIL_H_
#define BASE_FILES_FILE_UTIL_H_

// The system headers come first on purpose: several names below (CopyFile,
// DeleteFile, CreateDirectory, ReplaceFile, GetCurrentDirectory,
// SetCurrentDirectory) are also macros of <windows.h>. Including it here
// makes every user of this header see the same expansion, so declarations
// and calls always agree.
#include <windows.h>

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include <string>

#include "base/files/file.h"
#include "base/files/file_path.h"

namespace base {

// Functions acting on the file system by path. None throws; failures are a
// false, a -1 or an empty path, with the Windows error left for the caller.
// Functions that wrap a call limited to MAX_PATH refuse paths of 260 units
// or more, and those that read or move by a caller's path refuse paths that
// reference a parent ('..'), as each states.

// Queries.
bool PathExists(const FilePath& path);
bool DirectoryExists(const FilePath& path);
// Whether |path| (a file or a directory) can be opened for writing.
bool PathIsWritable(const FilePath& path);
bool GetFileInfo(const FilePath& path, File::Info* info);
bool GetFileSize(const FilePath& path, int64_t* file_size);
// The full form of |path|; empty on failure.
FilePath MakeAbsoluteFilePath(const FilePath& path);
bool GetCurrentDirectory(FilePath* path);
bool SetCurrentDirectory(const FilePath& path);
// The temporary folder without trailing separators; false when it is 260
// units or longer.
bool GetTempDir(FilePath* path);
// The user profile folder, else the temporary folder, else "C:\".
FilePath GetHomeDir();

// Whole-file reads and writes.
// Reads up to |max_size| bytes from the start of |path| in one read: the
// count read, or -1.
int ReadFile(const FilePath& path, char* data, int max_size);
// Creates or truncates |path| and writes |size| bytes: |size|, or -1 unless
// every byte was written.
int WriteFile(const FilePath& path, const char* data, int size);
// Appends |size| bytes to the existing file |path|; true when all were
// written.
bool AppendToFile(const FilePath& path, const char* data, int size);
// Writes |size| bytes to the open |file| at its position, in pieces of at
// most kWritePieceSize bytes, each write going on where the last one
// stopped (a pipe may take part of a piece, or nothing while it is full):
// true when every byte was written; otherwise false, with the Windows error
// left for the caller (NO_ERROR when the handle took no byte for 30 s
// without one).
bool WriteToHandle(HANDLE file, const void* data, size_t size);
// A single write of several megabytes has been seen to cost the system tens
// of times what the same bytes cost in pieces of this size (about a second
// for 100 MB).
constexpr size_t kWritePieceSize = 1 << 20;
// Reads the whole of |path| into |contents| (cleared first, may be null).
// False when the path references a parent, cannot be read or is larger
// than |max_size|; then |contents| holds its first |max_size| bytes.
bool ReadFileToStringWithMaxSize(const FilePath& path,
                                 std::string* contents,
                                 size_t max_size);
bool ReadFileToString(const FilePath& path, std::string* contents);
// The C runtime stream of |path| opened with |mode| and full sharing, or
// null.
FILE* OpenFile(const FilePath& path, const char* mode);

// Creating, copying, moving and deleting.
// Creates |path| and every missing parent. True when it is a directory
// afterwards; else |error| (may be null) tells why.
bool CreateDirectoryAndGetError(const FilePath& path, File::Error* error);
bool CreateDirectory(const FilePath& path);
// Copies one file over any existing |to_path| and clears the copy's
// read-only attribute.
bool CopyFile(const FilePath& from_path, const FilePath& to_path);
// The same, but an existing |to_path| is left alone and the copy fails
// with ERROR_FILE_EXISTS.
bool CopyFileWithoutReplacing(const FilePath& from_path,
                              const FilePath& to_path);
// Copies a file or directory (with its subfolders when |recursive|). When
// |recursive| and |to_path| is an existing directory, the source folder is
// recreated inside it. A destination inside the source is refused. Stops at
// the first failure and leaves what was copied.
bool CopyDirectory(const FilePath& from_path,
                   const FilePath& to_path,
                   bool recursive);
bool CopyAndDeleteDirectory(const FilePath& from_path, const FilePath& to_path);
// Moves a file or directory over any existing destination, across volumes
// too; a directory that cannot be moved is copied and then deleted. On
// failure the error of the move is the thread's last error.
bool Move(const FilePath& from_path, const FilePath& to_path);
// Move that refuses paths referencing a parent.
bool MoveChecked(const FilePath& from_path, const FilePath& to_path);
// Moves |from_path| onto |to_path| in one rename, replacing an existing
// file (in place when the rename cannot for a reason other than the file
// being open). A target that other handles keep open for longer than about
// 200 ms is left whole and the replace fails. A folder at |to_path| is
// refused.
bool ReplaceFile(const FilePath& from_path,
                 const FilePath& to_path,
                 File::Error* error);
// Deletes a file, or a directory (with its contents when |recursive|); a
// base name with '*' or '?' deletes the matching entries of its folder. A
// path that does not exist counts as deleted. Read-only entries are deleted
// too. A link (a junction or a symbolic link), the path itself or one met on
// the way, is removed as a link: what it points to is never entered nor
// changed. Folders of any depth are walked. Stops at the first failure and
// leaves the rest.
bool DeleteFile(const FilePath& path, bool recursive);
// Whether |path| is a link: a junction or a symbolic link.
bool IsLink(const FilePath& path);
// Whether a rename of a link moves the link itself, as on Windows. Wine
// moves what the link points to instead.
bool RenamesMoveLinks();
// Whether files keep the owner and access list they are given, as on
// Windows. Wine keeps neither: every file is its user's.
bool FilesKeepTheirOwners();
// The path of |path| in the host's file system where the platform runs on
// one (Wine); false on Windows and for paths it cannot name.
bool GetHostPath(const FilePath& path, string16* host_path);
// Starts the host's program |command_line| (its path and quoted arguments
// in the host's terms). The platform gives no handle to wait on for such a
// program: callers wait for what it does.
bool StartHostProgram(string16 command_line);
// Schedules |path| for deletion when the system next starts.
bool DeleteFileAfterReboot(const FilePath& path);
// Creates a new, empty, uniquely named file in |dir|.
bool CreateTemporaryFileInDir(const FilePath& dir, FilePath* temp_file);
// Whether |name| is a name that CreateTemporaryFileInDir gives: one to four
// hexadecimal digits and ".tmp", in any case.
bool IsTemporaryFileName(const string16& name);
// Creates a new, empty, uniquely named file in the temporary folder.
bool CreateTemporaryFile(FilePath* temp_file);

}  // namespace base

#endif  // BASE_FILES_FILE_UTIL_H_
