#include "desktop/launcher/installer/service/transactions/rollback_journal.h"

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>
#include <string.h>

#include <algorithm>
#include <functional>

#include <string>
#include <utility>
#include <vector>

#include "base/base_paths_win.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/hash.h"
#include "base/logging.h"
#include "base/path_service.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/time/time.h"
#include "desktop/launcher/installer/service/service_utils.h"
#include "desktop/launcher/installer/service/transactions/rollback_leftovers.h"
#include "desktop/launcher/installer/service/transactions/rollback_pending.h"
#include "desktop/launcher/installer/service/transactions/rollback_record.h"
#include "desktop/launcher/installer/uninstall_batch.h"

namespace vexlo {
namespace installer {

namespace {

// A journal starts with these bytes; each record follows as a pickle (its
// payload size, then the payload) and the checksum of the pickle.
constexpr char kMagic[] = {'V', 'X', 'R', 'J'};
// A leftover journal starts with these bytes, and its records are taken
// back first to last, in the order that the take-back that kept them met
// them. One that starts with the journal's own kept the records of an
// earlier build, in the journal's order, with no file identities.
constexpr char kLeftoverMagic[] = {'V', 'X', 'R', 'L'};
constexpr uint64_t kHeaderSize = sizeof(kMagic);
constexpr size_t kWordSize = sizeof(uint32_t);
// Far more than a run records; a bigger file is no journal of a run, and
// is never read into memory.
constexpr uint64_t kMaxJournalSize = 64 << 20;
// The machine's folder of the journals of administrators' runs, in its
// shared application data, and who may write there.
constexpr wchar_t kAdministratorsJournalFolder[] = L"vexlo_rollback";
constexpr wchar_t kAdministratorsOnlyFolder[] =
    L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";
constexpr wchar_t kTrustedInstallerSid[] =
    L"S-1-5-80-956008885-3425870490-2839906345-1681787880-2239733470";
// The rights that change what a file or folder holds, or who may.
constexpr ACCESS_MASK kWriteRights =
    FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES |
    FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
    GENERIC_ALL | MAXIMUM_ALLOWED;
// How many names are tried for a journal kept aside within one second.
constexpr int kMaxAsideNames = 100;
// A run records one change for each file and folder it creates or sets
// aside and for each registry key and value it writes: a few thousand for
// the largest package. Replaying a journal that holds more, a
// millisecond's file calls for each record, would hold the next run for
// minutes; it is no journal of a run.
constexpr size_t kMaxRecords = 1 << 14;
// How often a journal is opened again when the machine's folder of
// journals was removed, with its last journal, between its creation and
// the journal's.
constexpr int kMaxOpenAttempts = 50;

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
  if (length > kMaxJournalSize) {
    ::SetLastError(ERROR_FILE_TOO_LARGE);
    return false;
  }
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

// Seeks, then writes at the handle's own position: a write given its offset
// in an OVERLAPPED record also queues a completion, a call to the Wine
// server per record, though no port ever takes it.
bool WriteAt(HANDLE file, uint64_t offset, const std::string& bytes) {
  DWORD written = 0;
  return Seek(file, offset) &&
         ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()),
                     &written, nullptr) &&
         written == bytes.size();
}

// A record as the journal keeps it: its pickle, then the pickle's checksum.
std::string Serialize(const base::Pickle& record) {
  std::string bytes(static_cast<const char*>(record.data()), record.size());
  const uint32_t checksum = Checksum(bytes.data(), bytes.size());
  bytes.append(reinterpret_cast<const char*>(&checksum), sizeof(checksum));
  return bytes;
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

constexpr char kTooManyRecords[] =
    "for holding more records than any run writes";

// The records of |bytes| at |records|.
std::vector<base::Pickle> PicklesOf(
    const std::string& bytes,
    const std::vector<std::pair<size_t, size_t>>& records) {
  std::vector<base::Pickle> pickles;
  for (const auto& record : records) {
    pickles.push_back(
        base::Pickle(&bytes[record.first], static_cast<int>(record.second)));
  }
  return pickles;
}

// Why |records| are not taken back, or null when they are all a run's for
// the folder of |scope|, kept where a run (or, with |leftover|, a
// take-back) keeps such records.
const char* RefusalReason(const std::vector<base::Pickle>& records,
                          const RollbackScope& scope,
                          bool leftover) {
  if (records.size() > kMaxRecords)
    return kTooManyRecords;
  for (const base::Pickle& record : records) {
    if (!RollbackRecord::IsWithin(record, scope))
      return "for naming what no run for its folder changes";
    if (leftover ? !RollbackRecord::MayBeLeftover(record)
                 : RollbackRecord::IsLeftover(record)) {
      return "for holding what no take-back keeps there";
    }
  }
  return nullptr;
}

const char* RefusalReason(const std::string& bytes,
                          const std::vector<std::pair<size_t, size_t>>& records,
                          const RollbackScope& scope) {
  // Never more copies than a run writes.
  if (records.size() > kMaxRecords)
    return kTooManyRecords;
  return RefusalReason(PicklesOf(bytes, records), scope, false);
}

// A journal kept aside because it was refused: a name that no run reads.
constexpr wchar_t kRefusedSuffix[] = L".refused";
// What a take-back could not finish yet, beside its journal.
constexpr wchar_t kLeftoverSuffix[] = L".leftover";
// The batch file that finishes a leftover journal once its files are free.
constexpr wchar_t kBatchSuffix[] = L".bat";
constexpr wchar_t kLeftoverBatchSuffix[] = L".leftover.bat";

// A name beside the journal at |path| that ends with |suffix|.
base::FilePath AsideName(const base::FilePath& path,
                         int number,
                         const wchar_t* suffix = kRefusedSuffix) {
  base::string16 name = path.value() + L"." +
                        base::Uint64ToString16(
                            static_cast<uint64_t>(base::Time::Now().ToTimeT()));
  if (number > 0)
    name += L"." + base::IntToString16(number);
  return base::FilePath(name + suffix);
}

// Where the name AsideName gave |name| stands among those it gives: its
// time, then its number.
std::pair<uint64_t, uint64_t> AsideOrder(const base::FilePath& name) {
  base::string16 text = name.BaseName().value();
  const size_t suffix = text.rfind(L'.');
  text.resize(suffix == base::string16::npos ? 0 : suffix);
  std::pair<uint64_t, uint64_t> order(0, 0);
  const size_t last = text.rfind(L'.');
  if (last == base::string16::npos ||
      !base::StringToUint64(base::UTF16ToUTF8(text.substr(last + 1)),
                            &order.first)) {
    return order;
  }
  const size_t before =
      last > 0 ? text.rfind(L'.', last - 1) : base::string16::npos;
  uint64_t time = 0;
  if (before != base::string16::npos &&
      base::StringToUint64(
          base::UTF16ToUTF8(text.substr(before + 1, last - before - 1)),
          &time)) {
    order = {time, order.first};
  }
  return order;
}

// Renames |path| to |aside|, a name that no run reads; false, with the
// system's error, when that failed.
bool MoveAside(const base::FilePath& path, base::FilePath* aside) {
  for (int number = 0; number < kMaxAsideNames; ++number) {
    *aside = AsideName(path, number);
    if (::MoveFileExW(path.value().c_str(), aside->value().c_str(), 0))
      return true;
    if (::GetLastError() != ERROR_ALREADY_EXISTS &&
        ::GetLastError() != ERROR_FILE_EXISTS) {
      break;
    }
  }
  return false;
}

// Moves the journal at |path| where no run reads it, and says why.
void KeepAside(const base::FilePath& path, const char* reason) {
  base::FilePath aside;
  if (MoveAside(path, &aside)) {
    LOG(ERROR) << "Refusing the rollback journal " << path.AsUTF8() << ", "
               << reason << "; kept as " << aside.AsUTF8();
    return;
  }
  PLOG(ERROR) << "Refusing the rollback journal " << path.AsUTF8() << ", "
              << reason << "; it could not be kept aside";
}

// Creates a file of a free name beside the journal at |path| that ends
// with |suffix|, shared with nobody, and names it in |name|; the handle, or
// INVALID_HANDLE_VALUE when none could be made.
HANDLE CreateFileBeside(const base::FilePath& path,
                        const wchar_t* suffix,
                        base::FilePath* name) {
  for (int number = 0; number < kMaxAsideNames; ++number) {
    *name = AsideName(path, number, suffix);
    const HANDLE file =
        ::CreateFileW(name->value().c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                      nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE)
      return file;
  }
  return INVALID_HANDLE_VALUE;
}

// Writes |bytes|, records that were refused for |reason|, to a file of
// their own beside |path|.
void KeepRecordsAside(const base::FilePath& path,
                      const std::string& bytes,
                      const char* reason) {
  base::FilePath aside;
  const base::win::ScopedHandle file(
      CreateFileBeside(path, kRefusedSuffix, &aside));
  if (!file.IsValid()) {
    PLOG(ERROR) << "Refusing rollback records that could not be kept aside";
    return;
  }
  LOG_IF(ERROR, !WriteAt(file.Get(), 0, bytes))
      << "Could not keep the refused rollback records";
  LOG(ERROR) << "Refusing the rollback records that a run left behind "
             << "this one's, " << reason << "; kept as " << aside.AsUTF8();
}

// Takes back |records| of |bytes|, read from |offset| of |file|, the last
// first, each cut off once it is undone; what waits for a file in use goes
// to |leftovers|, which keep it before the record goes. A record whose
// leftovers could not be kept stays, with those before it.
bool UndoRecords(HANDLE file,
                 uint64_t offset,
                 const std::string& bytes,
                 const std::vector<std::pair<size_t, size_t>>& records,
                 const RollbackScope& scope,
                 RollbackLeftovers* leftovers) {
  for (auto it = records.rbegin(); it != records.rend(); ++it) {
    if (!RollbackRecord::Undo(
            base::Pickle(&bytes[it->first], static_cast<int>(it->second)),
            scope, leftovers)) {
      return false;
    }
    if (!Truncate(file, offset + it->first)) {
      PLOG(ERROR) << "Could not shorten the rollback journal";
      return false;
    }
  }
  return Truncate(file, offset);
}

// Tells |pending| what |records| of |bytes| leave to come, in the order of
// their take-back, the last first.
void AddPending(const std::string& bytes,
                const std::vector<std::pair<size_t, size_t>>& records,
                RollbackPending* pending) {
  const std::vector<base::Pickle> pickles = PicklesOf(bytes, records);
  for (auto it = pickles.rbegin(); it != pickles.rend(); ++it)
    RollbackRecord::AddPending(*it, pending);
}

bool RunsAsAdministrator() {
  return IsUserInAdministratorsGroup(false);
}

bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) {
  return ::IsWellKnownSid(sid, type) != FALSE;
}

bool IsSid(PSID sid, const wchar_t* text) {
  PSID other = nullptr;
  if (!::ConvertStringSidToSidW(text, &other))
    return false;
  const bool equal = ::EqualSid(sid, other) != FALSE;
  ::LocalFree(other);
  return equal;
}

bool IsProcessUser(PSID sid) {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
    return false;
  base::win::ScopedHandle scoped_token(token);
  char buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD size = 0;
  return ::GetTokenInformation(token, TokenUser, buffer, sizeof(buffer),
                               &size) &&
         ::EqualSid(sid, reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid);
}

// Administrators, the system and the installer service of the system: an
// administrator's elevated run makes its files the administrators'. The
// process's user is never one of them where files keep their owners, since
// a process of that user without elevation has the same account; only
// where no file keeps an owner (every file is the user's) is it let in, or
// no journal could be read there at all.
bool IsTrustedWriter(PSID sid) {
  return sid && ::IsValidSid(sid) &&
         (IsWellKnown(sid, WinBuiltinAdministratorsSid) ||
          IsWellKnown(sid, WinLocalSystemSid) ||
          IsSid(sid, kTrustedInstallerSid) ||
          (!base::FilesKeepTheirOwners() && IsProcessUser(sid)));
}

DWORD ReadSystemSecurity(HANDLE file,
                         const base::FilePath& path,
                         PSECURITY_DESCRIPTOR* descriptor) {
  constexpr SECURITY_INFORMATION kWanted =
      OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  if (file) {
    return ::GetSecurityInfo(file, SE_FILE_OBJECT, kWanted, nullptr, nullptr,
                             nullptr, nullptr, descriptor);
  }
  return ::GetNamedSecurityInfoW(path.value().c_str(), SE_FILE_OBJECT, kWanted,
                                 nullptr, nullptr, nullptr, nullptr,
                                 descriptor);
}

RollbackJournal::SecurityReader g_read_security = &ReadSystemSecurity;

// Whether the journal open as |file|, or with a null |file| the folder
// |path|, is written by none but administrators.
bool OnlyAdministratorsWriteObject(HANDLE file, const base::FilePath& path) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const bool trusted =
      g_read_security(file, path, &descriptor) == ERROR_SUCCESS &&
      RollbackJournal::OnlyAdministratorsWrite(descriptor);
  if (descriptor)
    ::LocalFree(descriptor);
  return trusted;
}

// Whether the journal open as |file|, and its folder, are written by none
// but administrators.
bool OnlyAdministratorsWriteJournal(HANDLE file, const base::FilePath& path) {
  return OnlyAdministratorsWriteObject(file, path) &&
         OnlyAdministratorsWriteObject(nullptr, path.DirName());
}

// The machine's folder of the journals of administrators' runs; empty when
// the machine's shared application data is unknown.
base::FilePath AdministratorsJournalFolder() {
  base::FilePath machine_data;
  if (!base::PathService::Get(base::DIR_COMMON_APP_DATA, &machine_data))
    return base::FilePath();
  return machine_data.Append(kAdministratorsJournalFolder);
}

bool IsAdministratorsJournalFolder(const base::FilePath& folder) {
  const base::FilePath machine_folder = AdministratorsJournalFolder();
  return !machine_folder.empty() &&
         base::FilePath::CompareIgnoreCase(folder.value(),
                                           machine_folder.value()) == 0;
}

// Removes the machine's folder of journals when the journal at |path|,
// which is gone, was the last thing in it: a folder that holds anything
// stays. A run that creates a journal meanwhile creates the folder again.
void RemoveFolderIfLast(const base::FilePath& path) {
  const base::FilePath folder = path.DirName();
  if (!IsAdministratorsJournalFolder(folder) ||
      ::RemoveDirectoryW(folder.value().c_str())) {
    return;
  }
  const DWORD error = ::GetLastError();
  if (error != ERROR_DIR_NOT_EMPTY && error != ERROR_FILE_NOT_FOUND &&
      error != ERROR_PATH_NOT_FOUND) {
    PLOG(WARNING) << "Could not remove " << folder.AsUTF8();
  }
}

// The journal of the folder whose text is |name|, in |journals|.
base::FilePath JournalNamed(const base::FilePath& journals,
                            base::string16 name) {
  // As the file system compares names, without regard to case.
  if (!name.empty())
    ::CharUpperBuffW(&name[0], static_cast<DWORD>(name.size()));
  const uint32_t hash = Checksum(reinterpret_cast<const char*>(name.data()),
                                 name.size() * sizeof(wchar_t));
  return journals.Append(L"vexlo_rollback_" + base::UintToString16(hash) +
                         L".journal");
}

// |folder| as the file system resolves it, its components joined by single
// separators; its text when it cannot be resolved. The text of a folder
// given in its usual spelling is this very text, so a journal an earlier
// build named by it keeps its name.
base::string16 ResolvedFolder(const base::FilePath& folder) {
  std::vector<base::string16> components;
  // A longer path is no folder of an installation, and the file calls that
  // resolve it take no more.
  if (folder.value().size() >= MAX_PATH ||
      !RollbackScope::NormalizePath(folder, &components)) {
    return folder.StripTrailingSeparators().value();
  }
  base::string16 resolved;
  for (const base::string16& component : components)
    resolved += (resolved.empty() ? L"" : L"\\") + component;
  return resolved;
}

// Sets the machine's folder of journals aside when someone else made it:
// while it holds no journal, any user can make it with an access list of
// their own, and an administrator's run would then go without a journal.
// It is renamed whole; nothing in it is opened or followed.
void SetAsideUnlessAdministrators(const base::FilePath& folder) {
  if (!IsAdministratorsJournalFolder(folder))
    return;
  const DWORD attributes = ::GetFileAttributesW(folder.value().c_str());
  // A link is no folder that a run made.
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
       OnlyAdministratorsWriteObject(nullptr, folder))) {
    return;
  }
  base::FilePath aside;
  if (MoveAside(folder, &aside)) {
    LOG(ERROR) << "Setting aside " << folder.AsUTF8()
               << ", which others than administrators could write; now "
               << aside.AsUTF8();
    return;
  }
  // A folder that went meanwhile is no one's.
  const DWORD error = ::GetLastError();
  if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
    PLOG(ERROR) << "Could not set aside " << folder.AsUTF8();
}

// Creates the folder of the journals of administrators' runs, which only
// they may write, unless it is there.
void CreateAdministratorsFolder(const base::FilePath& folder) {
  SetAsideUnlessAdministrators(folder);
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(
          kAdministratorsOnlyFolder, SDDL_REVISION_1, &descriptor, nullptr)) {
    PLOG(ERROR) << "Could not make the journals' access list";
    return;
  }
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
  if (!::CreateDirectoryW(folder.value().c_str(), &attributes) &&
      ::GetLastError() != ERROR_ALREADY_EXISTS) {
    PLOG(ERROR) << "Could not create " << folder.AsUTF8();
  }
  ::LocalFree(descriptor);
}

// Deletes the journal at |path| unless a process holds it open; true when
// it is gone.
bool DeleteUnlessHeld(const base::FilePath& path) {
  // Shared with nobody, as for a replay: a run that still holds the journal
  // keeps it.
  base::win::ScopedHandle file(::CreateFileW(
      path.value().c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  if (!file.IsValid())
    return false;
  file.Close();
  RemoveFolderIfLast(path);
  return true;
}

// Deletes the journal at |path|; false, logged, when it stays.
bool DeleteJournal(const base::FilePath& path) {
  if (!::DeleteFileW(path.value().c_str())) {
    PLOG(ERROR) << "Could not delete the rollback journal " << path.AsUTF8();
    return false;
  }
  RemoveFolderIfLast(path);
  return true;
}

// Where a test ends a take-back, as a kill there would; once it has ended,
// nothing more is done.
RollbackJournal::StopPoint g_stop_point = RollbackJournal::StopPoint::kNone;
bool g_stopped = false;

bool EndsAt(RollbackJournal::StopPoint point) {
  if (point == g_stop_point)
    g_stopped = true;
  return g_stopped;
}

// A leftover journal as a take-back keeps it: its header, then |leftovers|'
// records.
std::string LeftoverJournalBytes(const RollbackLeftovers& leftovers) {
  std::string bytes(kLeftoverMagic, kHeaderSize);
  for (const base::Pickle& record : leftovers.Records())
    bytes += Serialize(record);
  return bytes;
}

// The batch file that finishes the leftover journal |leftover|.
base::FilePath BatchOf(const base::FilePath& leftover) {
  return base::FilePath(leftover.value() + kBatchSuffix);
}

// Starts the batch that finishes the leftover journal |leftover|, which
// holds |leftovers|, files under names that no run writes and folders: it
// deletes each file once it is free, then the folders that the killed run
// made around the files, then the journal, and itself last. No batch is
// started while one of the journal is there, which may still wait.
void StartLeftoverBatch(const base::FilePath& leftover,
                        const RollbackLeftovers& leftovers) {
  const base::FilePath path = BatchOf(leftover);
  if (!leftovers.BatchCanFinish() || base::PathExists(path))
    return;
  const unsigned code_page = ::GetOEMCP();
  UninstallBatch batch;
  for (const base::FilePath& file : leftovers.Files()) {
    // A batch that cannot wait for a file would delete the journal that
    // keeps it: it is left to the next take-back.
    std::string encoded;
    if (!EncodeBatchPathOrFallback(file, code_page, &GetShortPath, &encoded)) {
      LOG(WARNING) << "No batch can name " << file.AsUTF8();
      return;
    }
    batch.AddFileInUse(file, false);
  }
  for (const base::FilePath& folder : leftovers.Folders())
    batch.AddFolder(folder);
  batch.AddLast(leftover);
  // The machine's folder of journals goes with its last journal; a user's
  // temporary folder stays, whatever it holds.
  const base::FilePath folder = leftover.DirName();
  const std::string text = batch.Build(
      {}, IsAdministratorsJournalFolder(folder) ? folder : base::FilePath(),
      code_page, &GetShortPath);
  const int size = static_cast<int>(text.size());
  if (base::WriteFile(path, text.data(), size) != size) {
    PLOG(ERROR) << "Could not write " << path.AsUTF8();
    base::DeleteFile(path, false);
    return;
  }
  if (EndsAt(RollbackJournal::StopPoint::kBatchWritten))
    return;
  StartBatch(path);
}

// Deletes the batch of the leftover journal |leftover|; true when it is
// gone.
bool DeleteBatch(const base::FilePath& leftover) {
  const base::FilePath batch = BatchOf(leftover);
  if (::DeleteFileW(batch.value().c_str()) ||
      ::GetLastError() == ERROR_FILE_NOT_FOUND) {
    return true;
  }
  PLOG(WARNING) << "Could not delete " << batch.AsUTF8();
  return false;
}

// Deletes the leftover journal |leftover|, its batch first: a batch whose
// journal is gone would outlive what it was for.
void DeleteLeftover(const base::FilePath& leftover) {
  DeleteBatch(leftover);
  DeleteJournal(leftover);
}

// Moves the leftover journal |replacement| over |leftover|, whose name an
// uninstallation's batch may hold to delete it last. Its batch goes first:
// it names only what |leftover| kept, and would delete the replacement
// with it. False, leaving both, when either stays.
bool ReplaceLeftover(const base::FilePath& replacement,
                     const base::FilePath& leftover) {
  if (!DeleteBatch(leftover))
    return false;
  if (::MoveFileExW(replacement.value().c_str(), leftover.value().c_str(),
                    MOVEFILE_REPLACE_EXISTING)) {
    return true;
  }
  PLOG(WARNING) << "Could not move " << replacement.AsUTF8() << " over "
                << leftover.AsUTF8();
  return false;
}

// Writes the leftover journals of the journal at |path| ahead of the
// changes they keep: the first record creates one beside the journal, and
// each record reaches it, as a journal's does, before its change is made.
class LeftoverWriter {
 public:
  explicit LeftoverWriter(const base::FilePath& path) : path_(path) {}
  LeftoverWriter(const LeftoverWriter&) = delete;
  LeftoverWriter& operator=(const LeftoverWriter&) = delete;

  bool Append(const base::Pickle& record) {
    if (!file_.IsValid() && !Create())
      return false;
    const std::string bytes = Serialize(record);
    if (!WriteAt(file_.Get(), end_, bytes)) {
      PLOG(ERROR) << "Could not write to " << leftover_.AsUTF8();
      return false;
    }
    end_ += bytes.size();
    return true;
  }

  RollbackLeftovers::KeepRecord Keep() {
    return [this](const base::Pickle& record) { return Append(record); };
  }

  // Closes the journal and starts its batch where one can finish it.
  void Finish(const RollbackLeftovers& leftovers) {
    if (!file_.IsValid())
      return;
    file_.Close();
    LOG(WARNING) << "What could not be taken back yet is kept in "
                 << leftover_.AsUTF8();
    StartLeftoverBatch(leftover_, leftovers);
  }

 private:
  bool Create() {
    file_.Set(CreateFileBeside(path_, kLeftoverSuffix, &leftover_));
    if (!file_.IsValid() ||
        !WriteAt(file_.Get(), 0, std::string(kLeftoverMagic, kHeaderSize))) {
      PLOG(ERROR) << "Could not keep what the take-back of " << path_.AsUTF8()
                  << " leaves to do";
      file_.Close();
      return false;
    }
    end_ = kHeaderSize;
    return true;
  }

  const base::FilePath path_;
  base::FilePath leftover_;
  base::win::ScopedHandle file_;
  uint64_t end_ = 0;
};

// Writes |leftovers| whole as a new leftover journal of the journal at
// |path|, and names it in |leftover|; false, logged, when it could not be
// written.
bool WriteLeftoverJournal(const base::FilePath& path,
                          const RollbackLeftovers& leftovers,
                          base::FilePath* leftover) {
  base::win::ScopedHandle file(
      CreateFileBeside(path, kLeftoverSuffix, leftover));
  if (!file.IsValid() ||
      !WriteAt(file.Get(), 0, LeftoverJournalBytes(leftovers))) {
    PLOG(ERROR) << "Could not keep what the take-back of " << path.AsUTF8()
                << " leaves to do";
    file.Close();
    if (!leftover->empty())
      base::DeleteFile(*leftover, false);
    return false;
  }
  return true;
}

// The files beside the journal at |path| whose names continue its own with
// a dot and end with |suffix|.
std::vector<base::FilePath> FindBeside(const base::FilePath& path,
                                       const wchar_t* suffix) {
  std::vector<base::FilePath> found;
  if (path.empty())
    return found;
  const base::string16 prefix = path.BaseName().value() + L".";
  base::FileEnumerator files(path.DirName(), false, base::FileEnumerator::FILES,
                             prefix + L"*" + suffix);
  for (base::FilePath file = files.Next(); !file.empty(); file = files.Next()) {
    // The system matches a pattern against short names as well.
    const base::string16 name = file.BaseName().value();
    if (base::StartsWith16(name, prefix,
                           base::CompareCase::INSENSITIVE_ASCII) &&
        base::EndsWith16(name, suffix, base::CompareCase::INSENSITIVE_ASCII)) {
      found.push_back(file);
    }
  }
  return found;
}

// The journals of what take-backs of the journal at |path| could not
// finish, the newest first, as a later take-back undoes what an earlier
// one kept for a run older than the one it took back.
std::vector<base::FilePath> FindLeftoverJournals(const base::FilePath& path) {
  std::vector<base::FilePath> found = FindBeside(path, kLeftoverSuffix);
  std::sort(found.begin(), found.end(),
            [](const base::FilePath& a, const base::FilePath& b) {
              return AsideOrder(a) > AsideOrder(b);
            });
  return found;
}

// Deletes the batches beside the journal at |path| whose leftover journals
// are gone, finished or replaced by a take-back, or by the batch itself
// when it was ended before it deleted itself: a batch never outlives its
// journal.
void DeleteOrphanBatches(const base::FilePath& path) {
  for (const base::FilePath& batch : FindBeside(path, kLeftoverBatchSuffix)) {
    const base::string16& name = batch.value();
    const base::FilePath leftover(
        name.substr(0, name.size() - wcslen(kBatchSuffix)));
    if (!base::PathExists(leftover) && ::DeleteFileW(batch.value().c_str())) {
      RemoveFolderIfLast(batch);
    }
  }
}

// Reads the records of the leftover journal open as |file| at |path|, in
// the order of their take-back, into |records|, and its bytes into
// |bytes|. False when it cannot be read or, with |reason| set, when it is
// refused, as a journal would be.
bool ReadLeftoverRecords(HANDLE file,
                         const base::FilePath& path,
                         const RollbackScope& scope,
                         std::string* bytes,
                         std::vector<base::Pickle>* records,
                         const char** reason) {
  *reason = nullptr;
  if (RunsAsAdministrator() && !OnlyAdministratorsWriteJournal(file, path)) {
    *reason = "as others than administrators could have written it";
    return false;
  }
  if (!ReadFrom(file, 0, bytes)) {
    PLOG(ERROR) << "Could not read " << path.AsUTF8();
    return false;
  }
  // A header that a kill cut short begins a journal without records.
  if (bytes->size() < kHeaderSize)
    return true;
  const bool earlier = bytes->compare(0, kHeaderSize, kMagic, kHeaderSize) == 0;
  if (!earlier &&
      bytes->compare(0, kHeaderSize, kLeftoverMagic, kHeaderSize) != 0) {
    LOG(ERROR) << path.AsUTF8() << " is no leftover journal";
    return false;
  }
  const std::string body = bytes->substr(kHeaderSize);
  const std::vector<base::Pickle> found = PicklesOf(body, FindRecords(body));
  if (!earlier) {
    for (const base::Pickle& record : found)
      records->push_back(record);
  } else {
    for (auto it = found.rbegin(); it != found.rend(); ++it) {
      if (!RollbackRecord::FromEarlierLeftover(*it, records)) {
        *reason = "for holding what no take-back keeps there";
        return false;
      }
    }
  }
  *reason = RefusalReason(*records, scope, true);
  return !*reason;
}

// Hands the records of each leftover journal of the journal at |path| that
// |scope| holds, in the order of their take-back, to |use|, with the
// leftover journal's path; newest first. Read while a batch or a take-back
// may hold them.
void ReadLeftovers(
    const base::FilePath& path,
    const RollbackScope& scope,
    const std::function<void(const base::FilePath&,
                             const std::vector<base::Pickle>&)>& use) {
  for (const base::FilePath& leftover : FindLeftoverJournals(path)) {
    base::win::ScopedHandle file(
        ::CreateFileW(leftover.value().c_str(), GENERIC_READ,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string bytes;
    std::vector<base::Pickle> records;
    const char* reason = nullptr;
    if (file.IsValid() && ReadLeftoverRecords(file.Get(), leftover, scope,
                                              &bytes, &records, &reason)) {
      use(leftover, records);
    }
  }
}

// Takes back what the leftover journal |leftover| of the journal at |path|
// keeps, as far as its files are free now. It goes once nothing is left of
// it. What is left is kept in a new one, which then takes the old one's
// place: each record names its file by identity and by every name the file
// may have, so the records of either are true whenever a take-back is
// killed. One that is as it was stays, and gets a batch when it has none
// and one can finish it.
void ReplayLeftover(const base::FilePath& path,
                    const base::FilePath& leftover,
                    const RollbackScope& scope,
                    RollbackPending* pending) {
  // Shared with nobody: another take-back wins.
  base::win::ScopedHandle file(
      ::CreateFileW(leftover.value().c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsValid())
    return;
  std::string bytes;
  std::vector<base::Pickle> records;
  const char* reason = nullptr;
  if (!ReadLeftoverRecords(file.Get(), leftover, scope, &bytes, &records,
                           &reason)) {
    file.Close();
    if (reason)
      KeepAside(leftover, reason);
    return;
  }
  LOG(WARNING) << "Taking back what an earlier take-back left, from "
               << leftover.AsUTF8();
  RollbackLeftovers still(RollbackLeftovers::KeepRecord(), pending);
  for (const base::Pickle& record : records)
    RollbackRecord::Undo(record, scope, &still);
  file.Close();
  if (still.empty()) {
    DeleteLeftover(leftover);
    return;
  }
  if (LeftoverJournalBytes(still) == bytes) {
    StartLeftoverBatch(leftover, still);
    return;
  }
  base::FilePath replacement;
  if (!WriteLeftoverJournal(path, still, &replacement) ||
      EndsAt(RollbackJournal::StopPoint::kLeftoverReplaced)) {
    return;
  }
  if (ReplaceLeftover(replacement, leftover)) {
    StartLeftoverBatch(leftover, still);
    return;
  }
  DeleteLeftover(leftover);
  StartLeftoverBatch(replacement, still);
}

// Opens the journal at |path| to record, creating it and, for an
// administrator's run, the machine's folder of journals as needed.
HANDLE OpenToRecord(const base::FilePath& path) {
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < kMaxOpenAttempts; ++attempt) {
    if (RunsAsAdministrator())
      CreateAdministratorsFolder(path.DirName());
    file = ::CreateFileW(path.value().c_str(), GENERIC_READ | GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    // Created where missing, the journal is not found only with its
    // folder; a folder being removed refuses new entries until it is gone.
    const DWORD error = ::GetLastError();
    if (file != INVALID_HANDLE_VALUE ||
        (error != ERROR_PATH_NOT_FOUND && error != ERROR_FILE_NOT_FOUND &&
         error != ERROR_ACCESS_DENIED)) {
      break;
    }
    ::Sleep(1);
  }
  return file;
}

}  // namespace

RollbackJournal::RollbackJournal() : owner_(false), start_(0), end_(0) {}

RollbackJournal::~RollbackJournal() = default;

// static
base::FilePath RollbackJournal::PathFor(const base::FilePath& folder) {
  base::FilePath journals;
  if (folder.empty())
    return base::FilePath();
  // What any process of the user writes must never steer an
  // administrator's run.
  if (RunsAsAdministrator())
    journals = AdministratorsJournalFolder();
  else if (!base::GetTempDir(&journals))
    return base::FilePath();
  if (journals.empty())
    return base::FilePath();
  const base::FilePath path = JournalNamed(journals, ResolvedFolder(folder));
  const base::FilePath by_text =
      JournalNamed(journals, folder.StripTrailingSeparators().value());
  // Never over a journal of this name, nor one that a run holds open.
  if (by_text != path &&
      ::MoveFileExW(by_text.value().c_str(), path.value().c_str(), 0)) {
    LOG(WARNING) << "The rollback journal " << by_text.AsUTF8()
                 << " of an earlier installer is now " << path.AsUTF8();
  }
  return path;
}

// static
bool RollbackJournal::Replay(const base::FilePath& path,
                             const RollbackScope& scope) {
  g_stopped = false;
  RollbackPending pending;
  ReadLeftovers(path, scope,
                [&pending](const base::FilePath&,
                           const std::vector<base::Pickle>& records) {
                  for (const base::Pickle& record : records)
                    RollbackRecord::AddPending(record, &pending);
                });
  bool held = false;
  const bool gone = ReplayJournal(path, scope, &pending, &held);
  // The folder belongs to the run that holds the journal.
  if (held || g_stopped)
    return gone;
  // What earlier take-backs left waits for files of runs older than the
  // one whose journal was here, whose take-back comes first.
  for (const base::FilePath& leftover : FindLeftoverJournals(path)) {
    ReplayLeftover(path, leftover, scope, &pending);
    if (g_stopped)
      return gone;
  }
  DeleteOrphanBatches(path);
  return gone;
}

// static
bool RollbackJournal::HasLeftovers(const base::FilePath& path) {
  return !FindBeside(path, kLeftoverSuffix).empty() ||
         !FindBeside(path, kLeftoverBatchSuffix).empty();
}

// static
void RollbackJournal::FindLeftovers(const base::FilePath& path,
                                    const RollbackScope& scope,
                                    RollbackLeftovers* leftovers,
                                    std::vector<base::FilePath>* files) {
  ReadLeftovers(path, scope,
                [leftovers, files](const base::FilePath& leftover,
                                   const std::vector<base::Pickle>& records) {
                  for (const base::Pickle& record : records)
                    RollbackRecord::AddLeftover(record, leftovers);
                  files->push_back(leftover);
                  if (base::PathExists(BatchOf(leftover)))
                    files->push_back(BatchOf(leftover));
                });
}

// static
void RollbackJournal::ForgoRenamesBack(const base::FilePath& path,
                                       const RollbackScope& scope) {
  for (const base::FilePath& leftover : FindLeftoverJournals(path)) {
    // Shared with nobody, as a take-back opens it.
    base::win::ScopedHandle file(
        ::CreateFileW(leftover.value().c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string bytes;
    std::vector<base::Pickle> records;
    const char* reason = nullptr;
    if (!file.IsValid()) {
      PLOG(WARNING) << "Could not open " << leftover.AsUTF8();
      continue;
    }
    if (!ReadLeftoverRecords(file.Get(), leftover, scope, &bytes, &records,
                             &reason)) {
      continue;
    }
    RollbackLeftovers found;
    for (const base::Pickle& record : records)
      RollbackRecord::AddLeftover(record, &found);
    if (found.SetAside().empty())
      continue;
    found.ForgoRenamesBack();
    // Written over in place: a take-back killed while it is written finds
    // the records before the one cut short, and the batch that this is for
    // names every file anyway.
    const std::string forgone = LeftoverJournalBytes(found);
    if (!WriteAt(file.Get(), 0, forgone) ||
        !Truncate(file.Get(), forgone.size())) {
      PLOG(ERROR) << "Could not rewrite " << leftover.AsUTF8();
      continue;
    }
    LOG(WARNING) << "What a killed installer set aside goes rather than "
                 << "back, as " << leftover.AsUTF8() << " now keeps it";
  }
}

// static
void RollbackJournal::SetStopPointForTesting(StopPoint point) {
  g_stop_point = point;
}

// static
bool RollbackJournal::ReplayJournal(const base::FilePath& path,
                                    const RollbackScope& scope,
                                    RollbackPending* pending,
                                    bool* held) {
  if (RunsAsAdministrator())
    SetAsideUnlessAdministrators(path.DirName());
  // Shared with nobody: a process that holds the journal is still running
  // its transaction.
  base::win::ScopedHandle file(
      ::CreateFileW(path.value().c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsValid()) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      // An earlier installer left the machine's folder once it was empty.
      RemoveFolderIfLast(path);
      return true;
    }
    PLOG(WARNING) << "Leaving the rollback journal " << path.AsUTF8();
    *held = error == ERROR_SHARING_VIOLATION;
    return false;
  }
  if (RunsAsAdministrator() &&
      !OnlyAdministratorsWriteJournal(file.Get(), path)) {
    file.Close();
    KeepAside(path, "as others than administrators could have written it");
    return true;
  }
  std::string bytes;
  if (!ReadFrom(file.Get(), 0, &bytes)) {
    const bool too_large = ::GetLastError() == ERROR_FILE_TOO_LARGE;
    PLOG(ERROR) << "Could not read the rollback journal " << path.AsUTF8();
    if (!too_large)
      return false;
    file.Close();
    KeepAside(path, "as it is larger than any run's");
    return true;
  }
  // A header that a kill cut short begins a journal without records.
  if (bytes.size() >= kHeaderSize) {
    if (bytes.compare(0, kHeaderSize, kMagic, kHeaderSize) != 0) {
      LOG(ERROR) << path.AsUTF8() << " is no rollback journal";
      return false;
    }
    bytes.erase(0, kHeaderSize);
    const std::vector<std::pair<size_t, size_t>> records = FindRecords(bytes);
    if (const char* reason = RefusalReason(bytes, records, scope)) {
      file.Close();
      KeepAside(path, reason);
      return true;
    }
    LOG(WARNING) << "Taking back what a killed installer left, from "
                 << path.AsUTF8();
    AddPending(bytes, records, pending);
    LeftoverWriter writer(path);
    RollbackLeftovers leftovers(writer.Keep(), pending);
    const bool undone =
        UndoRecords(file.Get(), kHeaderSize, bytes, records, scope, &leftovers);
    if (EndsAt(StopPoint::kRecordsCut))
      return false;
    writer.Finish(leftovers);
    if (!undone)
      return false;
  }
  file.Close();
  return DeleteJournal(path);
}

// static
void RollbackJournal::SetSecurityReaderForTesting(SecurityReader reader) {
  g_read_security = reader ? reader : &ReadSystemSecurity;
}

// static
bool RollbackJournal::OnlyAdministratorsWrite(PSECURITY_DESCRIPTOR descriptor) {
  PSID owner = nullptr;
  BOOL owner_defaulted = FALSE;
  BOOL present = FALSE;
  BOOL dacl_defaulted = FALSE;
  PACL dacl = nullptr;
  if (!descriptor ||
      !::GetSecurityDescriptorOwner(descriptor, &owner, &owner_defaulted) ||
      !IsTrustedWriter(owner) ||
      !::GetSecurityDescriptorDacl(descriptor, &present, &dacl,
                                   &dacl_defaulted) ||
      !present || !dacl) {
    // No access list lets everyone in.
    return false;
  }
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* entry = nullptr;
    if (!::GetAce(dacl, i, &entry))
      return false;
    const ACE_HEADER* header = static_cast<const ACE_HEADER*>(entry);
    if (header->AceType == ACCESS_DENIED_ACE_TYPE ||
        (header->AceFlags & INHERIT_ONLY_ACE)) {
      continue;
    }
    // Every other kind of entry might grant, and is not understood here.
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE)
      return false;
    const ACCESS_ALLOWED_ACE* allowed =
        static_cast<const ACCESS_ALLOWED_ACE*>(entry);
    if ((allowed->Mask & kWriteRights) &&
        !IsTrustedWriter(const_cast<DWORD*>(&allowed->SidStart))) {
      return false;
    }
  }
  return true;
}

bool RollbackJournal::Open(const base::FilePath& path,
                           const RollbackScope& scope) {
  DCHECK(!is_open());
  Replay(path, scope);
  file_.Set(OpenToRecord(path));
  std::string header;
  if (!file_.IsValid() || !ReadFrom(file_.Get(), 0, &header)) {
    PLOG(ERROR) << "Could not open the rollback journal " << path.AsUTF8();
    file_.Close();
    return false;
  }
  if (RunsAsAdministrator() &&
      !OnlyAdministratorsWriteJournal(file_.Get(), path)) {
    LOG(ERROR) << "Not using the rollback journal " << path.AsUTF8()
               << ": others than administrators could write it";
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
  scope_ = std::make_unique<RollbackScope>(scope);
  start_ = end_ = owner_ ? kHeaderSize : header.size();
  return true;
}

bool RollbackJournal::Append(const base::Pickle& record) {
  DCHECK(is_open());
  const std::string bytes = Serialize(record);
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

bool RollbackJournal::ReplayAbandoned() {
  if (!is_open())
    return false;
  std::string bytes;
  if (!ReadFrom(file_.Get(), end_, &bytes)) {
    PLOG(ERROR) << "Could not read the rollback journal";
    return true;
  }
  const std::vector<std::pair<size_t, size_t>> records = FindRecords(bytes);
  if (const char* reason = RefusalReason(bytes, records, *scope_)) {
    KeepRecordsAside(path_, bytes, reason);
    if (!Truncate(file_.Get(), end_))
      PLOG(ERROR) << "Could not shorten the rollback journal";
    return true;
  }
  g_stopped = false;
  RollbackPending pending;
  AddPending(bytes, records, &pending);
  LeftoverWriter writer(path_);
  RollbackLeftovers leftovers(writer.Keep(), &pending);
  UndoRecords(file_.Get(), end_, bytes, records, *scope_, &leftovers);
  if (!EndsAt(StopPoint::kRecordsCut))
    writer.Finish(leftovers);
  return !bytes.empty();
}

void RollbackJournal::Close() {
  if (!is_open())
    return;
  if (!Truncate(file_.Get(), start_))
    PLOG(ERROR) << "Could not shorten the rollback journal";
  file_.Close();
  if (owner_)
    DeleteJournal(path_);
  start_ = end_ = 0;
}

void RollbackJournal::Commit() {
  if (!is_open())
    return;
  const bool continued = !owner_;
  const base::FilePath path = path_;
  Close();
  // The run that began the journal holds it open until it ends; a journal
  // that nobody holds any more is one whose beginner was killed.
  if (continued && DeleteUnlessHeld(path)) {
    LOG(WARNING) << "The installer that started this one was killed; what "
                 << "it did stays with this one's success, and its rollback "
                 << "journal " << path.AsUTF8() << " is deleted";
  }
}

}  // namespace installer
}  // namespace vexlo
