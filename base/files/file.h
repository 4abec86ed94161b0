#ifndef BASE_FILES_FILE_H_
#define BASE_FILES_FILE_H_

#include <stdint.h>

#include "base/files/file_path.h"
#include "base/files/file_tracing.h"
#include "base/time/time.h"
#include "base/win/scoped_handle.h"

namespace base {

// The owner of one open Windows file, with positional reads and writes,
// length queries and changes, and flushing. The open flags map one to one
// onto the arguments of CreateFileW.
class File {
 public:
  // Open flags. Exactly one of the first five (the disposition) is expected;
  // when several are set the highest wins.
  enum Flags : uint32_t {
    FLAG_OPEN = 1 << 0,            // OPEN_EXISTING.
    FLAG_CREATE = 1 << 1,          // CREATE_NEW.
    FLAG_OPEN_ALWAYS = 1 << 2,     // OPEN_ALWAYS.
    FLAG_CREATE_ALWAYS = 1 << 3,   // CREATE_ALWAYS.
    FLAG_OPEN_TRUNCATED = 1 << 4,  // TRUNCATE_EXISTING.
    FLAG_READ = 1 << 5,
    FLAG_WRITE = 1 << 6,
    FLAG_APPEND = 1 << 7,  // Append access in place of write access.
    FLAG_EXCLUSIVE_READ = 1 << 8,
    FLAG_EXCLUSIVE_WRITE = 1 << 9,
    FLAG_ASYNC = 1 << 10,
    FLAG_TEMPORARY = 1 << 11,
    FLAG_HIDDEN = 1 << 12,
    FLAG_DELETE_ON_CLOSE = 1 << 13,
    FLAG_WRITE_ATTRIBUTES = 1 << 14,
    FLAG_SHARE_DELETE = 1 << 15,
    FLAG_BACKUP_SEMANTICS = 1 << 17,
    FLAG_EXECUTE = 1 << 18,
    FLAG_SEQUENTIAL_SCAN = 1 << 19,
  };

  enum Error : int32_t {
    FILE_OK = 0,
    FILE_ERROR_FAILED = -1,
    FILE_ERROR_IN_USE = -2,
    FILE_ERROR_EXISTS = -3,
    FILE_ERROR_NOT_FOUND = -4,
    FILE_ERROR_ACCESS_DENIED = -5,
    FILE_ERROR_TOO_MANY_OPENED = -6,
    FILE_ERROR_NO_MEMORY = -7,
    FILE_ERROR_NO_SPACE = -8,
    FILE_ERROR_NOT_A_DIRECTORY = -9,
    FILE_ERROR_INVALID_OPERATION = -10,
    FILE_ERROR_IO = -16,
  };

  // File metadata, filled by base::GetFileInfo.
  struct Info {
    Info();
    ~Info();

    int64_t size;
    bool is_directory;
    // Always false on this platform.
    bool is_symbolic_link;
    Time last_modified;
    Time last_accessed;
    Time creation_time;
  };

  // An invalid file whose error is FILE_ERROR_FAILED.
  File();
  // Opens |path| with |flags|; see Initialize.
  File(const FilePath& path, uint32_t flags);
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File();

  // Opens |path| with |flags|, closing any file held before. The outcome is
  // read back through IsValid and error_details(). A path that references a
  // parent ('..') is refused with FILE_ERROR_ACCESS_DENIED, and flags without a
  // disposition with FILE_ERROR_INVALID_OPERATION, before any system call.
  void Initialize(const FilePath& path, uint32_t flags);

  bool IsValid() const;
  // The handle; the file keeps owning it.
  HANDLE GetPlatformFile() const;
  void Close();

  // Reads up to |size| bytes at |offset|, whatever the file position.
  // Returns the count read, 0 at the end of the file, -1 on failure.
  int Read(int64_t offset, char* data, int size);
  // Writes |size| bytes at |offset|, whatever the file position. Returns the
  // count written or -1; a negative size is -1 and |data| is not touched.
  int Write(int64_t offset, const char* data, int size);
  // The size in bytes, or -1.
  int64_t GetLength();
  // Cuts or extends the file to |length| bytes; the file position stays.
  bool SetLength(int64_t length);
  bool Flush();

  Error error_details() const { return error_details_; }
  bool created() const { return created_; }
  bool async() const { return async_; }

  static Error OSErrorToFileError(DWORD last_error);

 private:
  void DoInitialize(const FilePath& path, uint32_t flags);
  bool DoFlush();

  win::ScopedHandle file_;
  // The path being traced; empty unless tracing was on at the open.
  FilePath tracing_path_;
  FileTracing::ScopedEnabler trace_enabler_;
  Error error_details_;
  bool created_;
  bool async_;
};

}  // namespace base

#endif  // BASE_FILES_FILE_H_
