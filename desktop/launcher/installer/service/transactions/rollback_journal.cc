#include "desktop/launcher/installer/service/transactions/rollback_journal.h"

#include <windows.h>

#include <string.h>

#include <string>
#include <utility>
#include <vector>

#include "base/files/file_util.h"
#include "base/hash.h"
#include "base/logging.h"
#include "base/strings/string_number_conversions.h"
#include "desktop/launcher/installer/service/transactions/rollback_record.h"

namespace vexlo {
namespace installer {

namespace {

// A journal starts with these bytes; each record follows as a pickle (its
// payload size, then the payload) and the checksum of the pickle.
constexpr char kMagic[] = {'V', 'X', 'R', 'J'};
constexpr uint64_t kHeaderSize = sizeof(kMagic);
constexpr size_t kWordSize = sizeof(uint32_t);

uint32_t Checksum(const char* data, size_t size) {
  return base::SuperFastHash(data, static_cast<int>(size));
}

uint32_t ReadWord(const char* data) {
  uint32_t word;
  memcpy(&word, data, sizeof(word));
  return word;
}

bool Seek(HANDLE file, uint64_t offset) {
  LARGE_INTEGER distance;
  distance.QuadPart = static_cast<LONGLONG>(offset);
  return ::SetFilePointerEx(file, distance, nullptr, FILE_BEGIN) != 0;
}

bool Truncate(HANDLE file, uint64_t size) {
  return Seek(file, size) && ::SetEndOfFile(file);
}

// Everything from |offset| to the end of |file|.
bool ReadFrom(HANDLE file, uint64_t offset, std::string* bytes) {
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(file, &size) || !Seek(file, offset))
    return false;
  const uint64_t length = static_cast<uint64_t>(size.QuadPart) > offset
                              ? static_cast<uint64_t>(size.QuadPart) - offset
                              : 0;
  if (length > 0x7FFFFFFF)
    return false;
  bytes->resize(static_cast<size_t>(length));
  size_t done = 0;
  while (done < bytes->size()) {
    DWORD read = 0;
    if (!::ReadFile(file, &(*bytes)[done],
                    static_cast<DWORD>(bytes->size() - done), &read, nullptr) ||
        read == 0) {
      return false;
    }
    done += read;
  }
  return true;
}

bool WriteAt(HANDLE file, uint64_t offset, const std::string& bytes) {
  OVERLAPPED position = {};
  position.Offset = static_cast<DWORD>(offset);
  position.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD written = 0;
  return ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()),
                     &written, &position) &&
         written == bytes.size();
}

// Where each whole record of |bytes| starts and how long its pickle is. A
// record cut short, or one whose checksum does not match, ends the list:
// a process killed while writing it never made its change.
std::vector<std::pair<size_t, size_t>> FindRecords(const std::string& bytes) {
  std::vector<std::pair<size_t, size_t>> records;
  size_t position = 0;
  while (bytes.size() - position >= 2 * kWordSize) {
    const size_t payload = ReadWord(&bytes[position]);
    if (payload > bytes.size() - position - 2 * kWordSize)
      break;
    const size_t size = kWordSize + payload;
    if (Checksum(&bytes[position], size) != ReadWord(&bytes[position + size]))
      break;
    records.emplace_back(position, size);
    position += size + kWordSize;
  }
  LOG_IF(WARNING, position != bytes.size())
      << "Ignoring an incomplete rollback record";
  return records;
}

// Takes back the records of |file| from |offset| on, the last first, each
// cut off once it is undone.
bool UndoFrom(HANDLE file, uint64_t offset) {
  std::string bytes;
  if (!ReadFrom(file, offset, &bytes)) {
    PLOG(ERROR) << "Could not read the rollback journal";
    return false;
  }
  const std::vector<std::pair<size_t, size_t>> records = FindRecords(bytes);
  for (auto it = records.rbegin(); it != records.rend(); ++it) {
    RollbackRecord::Undo(
        base::Pickle(&bytes[it->first], static_cast<int>(it->second)));
    if (!Truncate(file, offset + it->first)) {
      PLOG(ERROR) << "Could not shorten the rollback journal";
      return false;
    }
  }
  return Truncate(file, offset);
}

}  // namespace

RollbackJournal::RollbackJournal() : owner_(false), start_(0), end_(0) {}

RollbackJournal::~RollbackJournal() = default;

// static
base::FilePath RollbackJournal::PathFor(const base::FilePath& folder) {
  base::FilePath temp;
  if (folder.empty() || !base::GetTempDir(&temp))
    return base::FilePath();
  // Named by the folder as the file system compares names, without regard
  // to case.
  base::string16 name = folder.StripTrailingSeparators().value();
  ::CharUpperBuffW(&name[0], static_cast<DWORD>(name.size()));
  const uint32_t hash = Checksum(reinterpret_cast<const char*>(name.data()),
                                 name.size() * sizeof(wchar_t));
  return temp.Append(L"vexlo_rollback_" + base::UintToString16(hash) +
                     L".journal");
}

// static
bool RollbackJournal::Replay(const base::FilePath& path) {
  // Shared with nobody: a process that holds the journal is still running
  // its transaction.
  base::win::ScopedHandle file(
      ::CreateFileW(path.value().c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsValid()) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
      return true;
    PLOG(WARNING) << "Leaving the rollback journal " << path.AsUTF8();
    return false;
  }
  std::string header;
  if (!ReadFrom(file.Get(), 0, &header)) {
    PLOG(ERROR) << "Could not read the rollback journal " << path.AsUTF8();
    return false;
  }
  // A header that a kill cut short begins a journal without records.
  if (header.size() >= kHeaderSize) {
    if (header.compare(0, kHeaderSize, kMagic, kHeaderSize) != 0) {
      LOG(ERROR) << path.AsUTF8() << " is no rollback journal";
      return false;
    }
    LOG(WARNING) << "Taking back what a killed installer left, from "
                 << path.AsUTF8();
    if (!UndoFrom(file.Get(), kHeaderSize))
      return false;
  }
  file.Close();
  if (!::DeleteFileW(path.value().c_str())) {
    PLOG(ERROR) << "Could not delete the rollback journal " << path.AsUTF8();
    return false;
  }
  return true;
}

bool RollbackJournal::Open(const base::FilePath& path) {
  DCHECK(!is_open());
  Replay(path);
  file_.Set(::CreateFileW(path.value().c_str(), GENERIC_READ | GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  std::string header;
  if (!file_.IsValid() || !ReadFrom(file_.Get(), 0, &header)) {
    PLOG(ERROR) << "Could not open the rollback journal " << path.AsUTF8();
    file_.Close();
    return false;
  }
  owner_ = header.size() < kHeaderSize;
  if (owner_) {
    header.assign(kMagic, kHeaderSize);
    if (!Truncate(file_.Get(), 0) || !WriteAt(file_.Get(), 0, header)) {
      PLOG(ERROR) << "Could not start the rollback journal " << path.AsUTF8();
      file_.Close();
      return false;
    }
  } else if (header.compare(0, kHeaderSize, kMagic, kHeaderSize) != 0) {
    LOG(ERROR) << path.AsUTF8() << " is no rollback journal";
    file_.Close();
    return false;
  }
  path_ = path;
  start_ = end_ = owner_ ? kHeaderSize : header.size();
  return true;
}

bool RollbackJournal::Append(const base::Pickle& record) {
  DCHECK(is_open());
  std::string bytes(static_cast<const char*>(record.data()), record.size());
  const uint32_t checksum = Checksum(bytes.data(), bytes.size());
  bytes.append(reinterpret_cast<const char*>(&checksum), sizeof(checksum));
  if (!WriteAt(file_.Get(), end_, bytes)) {
    PLOG(ERROR) << "Could not write to the rollback journal";
    return false;
  }
  end_ += bytes.size();
  return true;
}

void RollbackJournal::TruncateTo(uint64_t end) {
  if (!is_open() || end == end_)
    return;
  if (!Truncate(file_.Get(), end))
    PLOG(ERROR) << "Could not shorten the rollback journal";
  end_ = end;
}

void RollbackJournal::ReplayAbandoned() {
  if (is_open())
    UndoFrom(file_.Get(), end_);
}

void RollbackJournal::Close() {
  if (!is_open())
    return;
  if (!Truncate(file_.Get(), start_))
    PLOG(ERROR) << "Could not shorten the rollback journal";
  file_.Close();
  if (owner_ && !::DeleteFileW(path_.value().c_str()))
    PLOG(ERROR) << "Could not delete the rollback journal " << path_.AsUTF8();
  start_ = end_ = 0;
}

}  // namespace installer
}  // namespace vexlo
