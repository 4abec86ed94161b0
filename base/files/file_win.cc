#include "base/files/file.h"

#include "base/metrics/histogram.h"
#include "base/metrics/sparse_histogram.h"
#include "base/timer/elapsed_timer.h"

namespace base {

namespace {

// Not named by every SDK's headers.
constexpr DWORD kErrorDiskResourcesExhausted = 314;

// Dispositions from the highest disposition flag down.
struct DispositionFlag {
  uint32_t flag;
  DWORD disposition;
};
constexpr DispositionFlag kDispositions[] = {
    {File::FLAG_OPEN_TRUNCATED, TRUNCATE_EXISTING},
    {File::FLAG_CREATE_ALWAYS, CREATE_ALWAYS},
    {File::FLAG_OPEN_ALWAYS, OPEN_ALWAYS},
    {File::FLAG_CREATE, CREATE_NEW},
    {File::FLAG_OPEN, OPEN_EXISTING},
};

// 0 when |flags| holds no disposition.
DWORD DispositionFromFlags(uint32_t flags) {
  for (const DispositionFlag& entry : kDispositions) {
    if (flags & entry.flag)
      return entry.disposition;
  }
  return 0;
}

DWORD AccessFromFlags(uint32_t flags) {
  DWORD access = 0;
  if (flags & File::FLAG_APPEND)
    access = FILE_APPEND_DATA;
  else if (flags & File::FLAG_WRITE)
    access = GENERIC_WRITE;
  if (flags & File::FLAG_READ)
    access |= GENERIC_READ;
  if (flags & File::FLAG_WRITE_ATTRIBUTES)
    access |= FILE_WRITE_ATTRIBUTES;
  if (flags & File::FLAG_EXECUTE)
    access |= GENERIC_EXECUTE;
  return access;
}

DWORD ShareModeFromFlags(uint32_t flags) {
  DWORD share = 0;
  if (!(flags & File::FLAG_EXCLUSIVE_READ))
    share |= FILE_SHARE_READ;
  if (!(flags & File::FLAG_EXCLUSIVE_WRITE))
    share |= FILE_SHARE_WRITE;
  if (flags & File::FLAG_SHARE_DELETE)
    share |= FILE_SHARE_DELETE;
  return share;
}

DWORD CreateFlagsFromFlags(uint32_t flags) {
  DWORD create_flags = 0;
  if (flags & File::FLAG_ASYNC)
    create_flags |= FILE_FLAG_OVERLAPPED;
  if (flags & File::FLAG_TEMPORARY)
    create_flags |= FILE_ATTRIBUTE_TEMPORARY;
  if (flags & File::FLAG_HIDDEN)
    create_flags |= FILE_ATTRIBUTE_HIDDEN;
  if (flags & File::FLAG_DELETE_ON_CLOSE)
    create_flags |= FILE_FLAG_DELETE_ON_CLOSE;
  if (flags & File::FLAG_BACKUP_SEMANTICS)
    create_flags |= FILE_FLAG_BACKUP_SEMANTICS;
  if (flags & File::FLAG_SEQUENTIAL_SCAN)
    create_flags |= FILE_FLAG_SEQUENTIAL_SCAN;
  return create_flags;
}

// An OVERLAPPED record that addresses |offset|, for positional I/O.
OVERLAPPED OverlappedAt(int64_t offset) {
  OVERLAPPED overlapped = {};
  overlapped.Offset = static_cast<DWORD>(offset);
  overlapped.OffsetHigh =
      static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
  return overlapped;
}

void RecordUnknownError(DWORD last_error) {
  static HistogramBase* histogram =
      SparseHistogram::FactoryGet("PlatformFile.UnknownErrors.Windows",
                                  HistogramBase::kReportedHistogramFlag);
  histogram->Add(static_cast<HistogramBase::Sample>(last_error));
}

}  // namespace

bool File::IsValid() const {
  return file_.IsValid();
}

HANDLE File::GetPlatformFile() const {
  return file_.Get();
}

void File::Close() {
  if (!file_.IsValid())
    return;
  FileTracing::ScopedTrace trace("File::Close", &trace_enabler_, tracing_path_,
                                 0);
  file_.Close();
}

int File::Read(int64_t offset, char* data, int size) {
  if (size < 0)
    return -1;
  FileTracing::ScopedTrace trace("File::Read", &trace_enabler_, tracing_path_,
                                 size);
  OVERLAPPED overlapped = OverlappedAt(offset);
  DWORD bytes_read = 0;
  if (::ReadFile(file_.Get(), data, static_cast<DWORD>(size), &bytes_read,
                 &overlapped)) {
    return static_cast<int>(bytes_read);
  }
  return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
}

int File::Write(int64_t offset, const char* data, int size) {
  if (size < 0)
    return -1;
  FileTracing::ScopedTrace trace("File::Write", &trace_enabler_, tracing_path_,
                                 size);
  OVERLAPPED overlapped = OverlappedAt(offset);
  DWORD bytes_written = 0;
  if (!::WriteFile(file_.Get(), data, static_cast<DWORD>(size), &bytes_written,
                   &overlapped)) {
    return -1;
  }
  return static_cast<int>(bytes_written);
}

int64_t File::GetLength() {
  FileTracing::ScopedTrace trace("File::GetLength", &trace_enabler_,
                                 tracing_path_, 0);
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(file_.Get(), &size))
    return -1;
  return size.QuadPart;
}

bool File::SetLength(int64_t length) {
  FileTracing::ScopedTrace trace("File::SetLength", &trace_enabler_,
                                 tracing_path_, length);
  LARGE_INTEGER zero = {};
  LARGE_INTEGER saved_position;
  if (!::SetFilePointerEx(file_.Get(), zero, &saved_position, FILE_CURRENT))
    return false;
  LARGE_INTEGER new_length;
  new_length.QuadPart = length;
  if (!::SetFilePointerEx(file_.Get(), new_length, nullptr, FILE_BEGIN))
    return false;
  if (!::SetEndOfFile(file_.Get()))
    return false;
  return ::SetFilePointerEx(file_.Get(), saved_position, nullptr, FILE_BEGIN) !=
         FALSE;
}

bool File::Flush() {
  ElapsedTimer timer;
  FileTracing::ScopedTrace trace("File::Flush", &trace_enabler_, tracing_path_,
                                 0);
  const bool flushed = DoFlush();
  static HistogramBase* histogram = Histogram::FactoryTimeGet(
      "PlatformFile.FlushTime", TimeDelta::FromMilliseconds(1),
      TimeDelta::FromSeconds(10), 50, HistogramBase::kReportedHistogramFlag);
  histogram->AddTime(timer.Elapsed());
  return flushed;
}

// static
File::Error File::OSErrorToFileError(DWORD last_error) {
  switch (last_error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return FILE_ERROR_NOT_FOUND;
    case ERROR_TOO_MANY_OPEN_FILES:
      return FILE_ERROR_TOO_MANY_OPENED;
    case ERROR_ACCESS_DENIED:
      return FILE_ERROR_ACCESS_DENIED;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return FILE_ERROR_NO_MEMORY;
    case ERROR_NOT_READY:
    case ERROR_SECTOR_NOT_FOUND:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_IO_DEVICE:
    case ERROR_FILE_CORRUPT:
    case ERROR_DISK_CORRUPT:
      return FILE_ERROR_IO;
    case ERROR_SHARING_VIOLATION:
      return FILE_ERROR_IN_USE;
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_DISK_FULL:
    case kErrorDiskResourcesExhausted:
      return FILE_ERROR_NO_SPACE;
    case ERROR_FILE_EXISTS:
      return FILE_ERROR_EXISTS;
    case ERROR_USER_MAPPED_FILE:
      return FILE_ERROR_INVALID_OPERATION;
    default:
      RecordUnknownError(last_error);
      return FILE_ERROR_FAILED;
  }
}

void File::DoInitialize(const FilePath& path, uint32_t flags) {
  created_ = false;
  async_ = false;
  const DWORD disposition = DispositionFromFlags(flags);
  if (!disposition) {
    error_details_ = FILE_ERROR_INVALID_OPERATION;
    return;
  }
  file_.Set(::CreateFileW(path.value().c_str(), AccessFromFlags(flags),
                          ShareModeFromFlags(flags), nullptr, disposition,
                          CreateFlagsFromFlags(flags), nullptr));
  if (!file_.IsValid()) {
    error_details_ = OSErrorToFileError(GetLastError());
    return;
  }
  error_details_ = FILE_OK;
  async_ = (flags & FLAG_ASYNC) != 0;
  if (disposition == OPEN_ALWAYS)
    created_ = GetLastError() != ERROR_ALREADY_EXISTS;
  else if (disposition == CREATE_NEW || disposition == CREATE_ALWAYS)
    created_ = true;
}

bool File::DoFlush() {
  return ::FlushFileBuffers(file_.Get()) != FALSE;
}

}  // namespace base
