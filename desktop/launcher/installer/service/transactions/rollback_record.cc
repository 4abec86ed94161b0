#include "desktop/launcher/installer/service/transactions/rollback_record.h"

#include <shlwapi.h>

#include <utility>

#include "base/files/file_util.h"
#include "base/files/important_file_writer.h"
#include "base/logging.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/registry.h"
#include "desktop/launcher/installer/service/transactions/create_folder_operation.h"
#include "desktop/launcher/installer/service/transactions/registry_value_writer.h"
#include "desktop/launcher/installer/service/transactions/rollback_leftovers.h"
#include "desktop/launcher/installer/service/transactions/rollback_pending.h"
#include "desktop/launcher/installer/service/transactions/rollback_scope.h"

namespace vexlo {
namespace installer {

namespace {

// Stored in journals: never renumber.
enum Kind : uint32_t {
  kCreatedFile = 1,
  kCreatedFolders = 2,
  kRenamed = 3,
  kFileContent = 4,
  kCreatedKey = 5,
  kRegistryValue = 6,
  kDeletedKey = 7,
  // Only in leftover journals.
  kKeptFile = 8,
  kRenameBack = 9,
};

base::Pickle Start(Kind kind) {
  base::Pickle record;
  record.Write4Bytes(kind);
  return record;
}

void WriteBytes(base::Pickle* record, const std::vector<uint8_t>& data) {
  record->WriteString(base::StringPiece(
      reinterpret_cast<const char*>(data.data()), data.size()));
}

bool ReadBytes(base::PickleIterator* reader, std::vector<uint8_t>* data) {
  std::string bytes;
  if (!reader->ReadString(&bytes))
    return false;
  data->assign(bytes.begin(), bytes.end());
  return true;
}

// The longest path the file system takes, in UTF-16 units: a record naming
// a longer one is no record of a change.
constexpr size_t kMaxPathLength = 32767;

bool ReadPath(base::PickleIterator* reader, base::FilePath* path) {
  base::string16 value;
  if (!reader->ReadString16(&value) || value.empty() ||
      value.size() > kMaxPathLength) {
    return false;
  }
  *path = base::FilePath(value);
  return true;
}

// A path that may be empty.
bool ReadOptionalPath(base::PickleIterator* reader, base::FilePath* path) {
  base::string16 value;
  if (!reader->ReadString16(&value) || value.size() > kMaxPathLength)
    return false;
  *path = base::FilePath(value);
  return true;
}

void WriteIdentity(base::Pickle* record, const FileIdentity& identity) {
  record->WriteBool(identity.known());
  record->Write4Bytes(identity.volume());
  record->Write8Bytes(identity.index());
}

bool ReadIdentity(base::PickleIterator* reader, FileIdentity* identity) {
  bool known = false;
  int volume = 0;
  int64_t index = 0;
  if (!reader->ReadBool(&known) || !reader->ReadInt(&volume) ||
      !reader->ReadInt64(&index)) {
    return false;
  }
  *identity = known ? FileIdentity(static_cast<uint32_t>(volume),
                                   static_cast<uint64_t>(index))
                    : FileIdentity();
  return true;
}

// A record of a file of |identity|, known by the two paths |a| and |b|.
base::Pickle OfIdentifiedFile(Kind kind,
                              const base::FilePath& a,
                              const base::FilePath& b,
                              const FileIdentity& identity) {
  base::Pickle record = Start(kind);
  record.WriteString16(a.value());
  record.WriteString16(b.value());
  WriteIdentity(&record, identity);
  return record;
}

bool ReadDword(base::PickleIterator* reader, DWORD* value) {
  int read = 0;
  if (!reader->ReadInt(&read))
    return false;
  *value = static_cast<DWORD>(read);
  return true;
}

// The predefined roots are sign-extended 32-bit values; only they are kept,
// so that a record can never name a handle of the process that reads it.
void WriteRoot(base::Pickle* record, HKEY root) {
  record->Write4Bytes(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(root)));
}

bool ReadRoot(base::PickleIterator* reader, HKEY* root) {
  DWORD value = 0;
  if (!ReadDword(reader, &value) ||
      (value != 0x80000001u && value != 0x80000002u && value != 0x80000000u &&
       value != 0x80000003u)) {
    return false;
  }
  *root = reinterpret_cast<HKEY>(
      static_cast<intptr_t>(static_cast<int32_t>(value)));
  return true;
}

bool ReadKey(base::PickleIterator* reader, HKEY* root, base::string16* path) {
  return ReadRoot(reader, root) && reader->ReadString16(path) && !path->empty();
}

// The values of a deleted key, kept one by one as they are read: a count
// that claims more than the record holds fails at the first value missing,
// having kept no more than the record's bytes.
bool ReadValues(base::PickleIterator* reader,
                std::vector<RollbackRecord::Value>* values) {
  int count = 0;
  if (!reader->ReadInt(&count) || count < 0)
    return false;
  for (int i = 0; i < count; ++i) {
    RollbackRecord::Value value;
    if (!reader->ReadString16(&value.name) || !ReadDword(reader, &value.type) ||
        !ReadBytes(reader, &value.data)) {
      return false;
    }
    values->push_back(std::move(value));
  }
  return true;
}

// One record, read whole.
struct Change {
  int kind = 0;
  base::FilePath path;
  base::FilePath other;
  bool existed = false;
  std::string content;
  HKEY root = nullptr;
  base::string16 key;
  base::string16 name;
  DWORD type = REG_NONE;
  std::vector<uint8_t> data;
  std::vector<RollbackRecord::Value> values;
  FileIdentity identity;
};

bool ReadChange(const base::Pickle& record, Change* change) {
  base::PickleIterator reader(record);
  if (!reader.ReadInt(&change->kind))
    return false;
  switch (change->kind) {
    case kCreatedFile:
      return ReadPath(&reader, &change->path);
    case kCreatedFolders:
    case kRenamed:
      return ReadPath(&reader, &change->path) &&
             ReadPath(&reader, &change->other);
    case kFileContent:
      return ReadPath(&reader, &change->path) &&
             reader.ReadBool(&change->existed) &&
             reader.ReadString(&change->content);
    case kCreatedKey:
      return ReadKey(&reader, &change->root, &change->key);
    case kRegistryValue:
      return ReadKey(&reader, &change->root, &change->key) &&
             reader.ReadString16(&change->name) &&
             reader.ReadBool(&change->existed) &&
             ReadDword(&reader, &change->type) &&
             ReadBytes(&reader, &change->data);
    case kDeletedKey:
      return ReadKey(&reader, &change->root, &change->key) &&
             ReadValues(&reader, &change->values);
    case kKeptFile:
      return ReadPath(&reader, &change->path) &&
             ReadOptionalPath(&reader, &change->other) &&
             ReadIdentity(&reader, &change->identity);
    case kRenameBack:
      return ReadPath(&reader, &change->path) &&
             ReadPath(&reader, &change->other) &&
             ReadIdentity(&reader, &change->identity);
    default:
      return false;
  }
}

// Whether |change| names a path longer than a run's file calls take: a
// run gives them paths in their plain form, which stops short of MAX_PATH
// units, so such a change never happened and there is nothing to take
// back. Nor is the scope asked: it resolves a path one component at a time
// against the file system, and a planted path holds thousands of them.
bool NamesUnreachablePath(const Change& change) {
  return change.path.value().size() >= MAX_PATH ||
         change.other.value().size() >= MAX_PATH;
}

bool IsChangeWithin(const Change& change, const RollbackScope& scope) {
  if (NamesUnreachablePath(change))
    return true;
  switch (change.kind) {
    case kCreatedFile:
    case kFileContent:
      return scope.ContainsPath(change.path);
    case kCreatedFolders:
      return scope.ContainsCreatedFolders(change.path, change.other);
    case kRenamed:
    case kRenameBack:
      return scope.ContainsPath(change.path) &&
             scope.ContainsPath(change.other);
    case kKeptFile:
      return scope.ContainsPath(change.path) &&
             (change.other.empty() || scope.ContainsPath(change.other));
    case kCreatedKey:
      return scope.ContainsCreatedKey(change.root, change.key);
    case kRegistryValue:
      return scope.ContainsValue(change.root, change.key, change.name);
    case kDeletedKey:
      return scope.OwnsKey(change.root, change.key);
    default:
      return false;
  }
}

void UndoFileContent(const base::FilePath& path,
                     bool existed,
                     const std::string& content) {
  const bool restored =
      existed ? base::ImportantFileWriter::WriteFileAtomically(path, content)
              : (base::DeleteFile(path, false) || !base::PathExists(path));
  LOG_IF(ERROR, !restored) << "Could not put back " << path.AsUTF8();
}

// How deep a tree of keys the run can have created.
constexpr int kMaxCreatedKeyDepth = 32;

// Whether the key |path| of |parent|, or one below it, holds a value;
// true too when that cannot be told.
bool HoldsValues(HKEY parent, const base::string16& path, int depth) {
  base::win::RegKey key;
  const LONG opened = key.Open(parent, path.c_str(), KEY_READ);
  if (opened == ERROR_FILE_NOT_FOUND)
    return false;
  DWORD subkeys = 0;
  DWORD values = 0;
  DWORD longest = 0;
  if (opened != ERROR_SUCCESS || depth > kMaxCreatedKeyDepth ||
      ::RegQueryInfoKeyW(key.Handle(), nullptr, nullptr, nullptr, &subkeys,
                         &longest, nullptr, &values, nullptr, nullptr, nullptr,
                         nullptr) != ERROR_SUCCESS) {
    return true;
  }
  if (values > 0)
    return true;
  for (DWORD i = 0; i < subkeys; ++i) {
    base::string16 name(longest + 1, L'\0');
    DWORD length = longest + 1;
    if (::RegEnumKeyExW(key.Handle(), i, &name[0], &length, nullptr, nullptr,
                        nullptr, nullptr) != ERROR_SUCCESS) {
      return true;
    }
    name.resize(length);
    if (HoldsValues(key.Handle(), name, depth + 1))
      return true;
  }
  return false;
}

void UndoCreatedKey(HKEY root,
                    const base::string16& path,
                    const RollbackScope& scope) {
  // A key others share is the run's only while it holds none of theirs.
  if (!scope.OwnsKey(root, path) && HoldsValues(root, path, 0)) {
    LOG(WARNING) << "Leaving the key " << base::UTF16ToUTF8(path)
                 << ": it holds values";
    return;
  }
  const LONG result = ::SHDeleteKeyW(root, path.c_str());
  LOG_IF(ERROR, result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND)
      << "Could not delete the created key " << base::UTF16ToUTF8(path) << ": "
      << result;
}

void PutValueBack(HKEY key,
                  const base::string16& name,
                  bool existed,
                  DWORD type,
                  const std::vector<uint8_t>& data) {
  const LONG result = existed ? WriteRegistryValue(key, name, type, data)
                              : ::RegDeleteValueW(key, name.c_str());
  LOG_IF(ERROR, result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND)
      << "Could not put back the value " << base::UTF16ToUTF8(name) << ": "
      << result;
}

void UndoRegistryValue(const Change& change) {
  base::win::RegKey key;
  // A value that never came needs no key to go from.
  if (key.Open(change.root, change.key.c_str(), KEY_SET_VALUE) ==
      ERROR_SUCCESS) {
    PutValueBack(key.Handle(), change.name, change.existed, change.type,
                 change.data);
  }
}

void UndoDeletedKey(const Change& change) {
  // Subkeys come back first, as their records are later; creating one
  // creates this key too, and then its values come back.
  base::win::RegKey key;
  const LONG result =
      key.Create(change.root, change.key.c_str(), KEY_SET_VALUE);
  if (result != ERROR_SUCCESS) {
    LOG(ERROR) << "Could not recreate the key " << base::UTF16ToUTF8(change.key)
               << ": " << result;
    return;
  }
  for (const RollbackRecord::Value& value : change.values)
    PutValueBack(key.Handle(), value.name, true, value.type, value.data);
}

bool UndoChange(const Change& change,
                const RollbackScope& scope,
                RollbackLeftovers* leftovers) {
  if (NamesUnreachablePath(change)) {
    LOG(WARNING) << "Passing over a rollback record of a path longer than "
                    "any run makes";
    return true;
  }
  switch (change.kind) {
    case kCreatedFile:
      return leftovers->TakeBackMadeFile(change.path);
    case kCreatedFolders:
      CreateFolderOperation::RemoveCreatedFolders(change.path, change.other);
      return leftovers->KeepFoldersHoldingFiles(change.path, change.other);
    case kRenamed:
      return leftovers->RenameBack(change.path, change.other);
    case kFileContent:
      UndoFileContent(change.path, change.existed, change.content);
      break;
    case kCreatedKey:
      UndoCreatedKey(change.root, change.key, scope);
      break;
    case kRegistryValue:
      UndoRegistryValue(change);
      break;
    case kDeletedKey:
      UndoDeletedKey(change);
      break;
    case kKeptFile:
      return leftovers->TakeBackKeptFile(change.path, change.other,
                                         change.identity);
    case kRenameBack:
      return leftovers->TakeBackRenameBack(change.path, change.other,
                                           change.identity);
  }
  return true;
}

// What a record names, for the log.
std::string Describe(const Change& change) {
  const std::string kind = "kind " + std::to_string(change.kind) + ": ";
  if (!change.key.empty())
    return kind + base::UTF16ToUTF8(change.key) + " " +
           base::UTF16ToUTF8(change.name);
  return kind + change.path.AsUTF8() + " " + change.other.AsUTF8();
}

}  // namespace

// static
base::Pickle RollbackRecord::CreatedFile(const base::FilePath& path) {
  base::Pickle record = Start(kCreatedFile);
  record.WriteString16(path.value());
  return record;
}

// static
base::Pickle RollbackRecord::CreatedFolders(const base::FilePath& path,
                                            const base::FilePath& ancestor) {
  base::Pickle record = Start(kCreatedFolders);
  record.WriteString16(path.value());
  record.WriteString16(ancestor.value());
  return record;
}

// static
base::Pickle RollbackRecord::Renamed(const base::FilePath& from,
                                     const base::FilePath& to) {
  base::Pickle record = Start(kRenamed);
  record.WriteString16(from.value());
  record.WriteString16(to.value());
  return record;
}

// static
base::Pickle RollbackRecord::KeptFile(const base::FilePath& path,
                                      const base::FilePath& aside,
                                      const FileIdentity& identity) {
  return OfIdentifiedFile(kKeptFile, path, aside, identity);
}

// static
base::Pickle RollbackRecord::RenameBack(const base::FilePath& from,
                                        const base::FilePath& to,
                                        const FileIdentity& identity) {
  return OfIdentifiedFile(kRenameBack, from, to, identity);
}

// static
base::Pickle RollbackRecord::FileContent(const base::FilePath& path,
                                         bool existed,
                                         const std::string& content) {
  base::Pickle record = Start(kFileContent);
  record.WriteString16(path.value());
  record.WriteBool(existed);
  record.WriteString(content);
  return record;
}

// static
base::Pickle RollbackRecord::CreatedKey(HKEY root, const base::string16& path) {
  base::Pickle record = Start(kCreatedKey);
  WriteRoot(&record, root);
  record.WriteString16(path);
  return record;
}

// static
base::Pickle RollbackRecord::RegistryValue(HKEY root,
                                           const base::string16& path,
                                           const base::string16& name,
                                           bool existed,
                                           DWORD type,
                                           const std::vector<uint8_t>& data) {
  base::Pickle record = Start(kRegistryValue);
  WriteRoot(&record, root);
  record.WriteString16(path);
  record.WriteString16(name);
  record.WriteBool(existed);
  record.Write4Bytes(type);
  WriteBytes(&record, data);
  return record;
}

// static
base::Pickle RollbackRecord::DeletedKey(HKEY root,
                                        const base::string16& path,
                                        const std::vector<Value>& values) {
  base::Pickle record = Start(kDeletedKey);
  WriteRoot(&record, root);
  record.WriteString16(path);
  record.Write4Bytes(static_cast<uint32_t>(values.size()));
  for (const Value& value : values) {
    record.WriteString16(value.name);
    record.Write4Bytes(value.type);
    WriteBytes(&record, value.data);
  }
  return record;
}

// static
bool RollbackRecord::IsWithin(const base::Pickle& record,
                              const RollbackScope& scope) {
  Change change;
  if (!ReadChange(record, &change)) {
    LOG(ERROR) << "Cannot read a rollback record";
    return false;
  }
  if (!IsChangeWithin(change, scope)) {
    LOG(ERROR) << "A rollback record names what no run for this folder "
                  "changes ("
               << Describe(change) << ")";
    return false;
  }
  return true;
}

// static
bool RollbackRecord::Undo(const base::Pickle& record,
                          const RollbackScope& scope,
                          RollbackLeftovers* leftovers) {
  Change change;
  if (!ReadChange(record, &change)) {
    LOG(ERROR) << "Skipping an unreadable rollback record";
    return false;
  }
  return UndoChange(change, scope, leftovers);
}

// static
bool RollbackRecord::IsLeftover(const base::Pickle& record) {
  Change change;
  return ReadChange(record, &change) &&
         (change.kind == kKeptFile || change.kind == kRenameBack);
}

// static
bool RollbackRecord::MayBeLeftover(const base::Pickle& record) {
  Change change;
  return ReadChange(record, &change) &&
         (change.kind == kKeptFile || change.kind == kRenameBack ||
          change.kind == kCreatedFolders);
}

// static
bool RollbackRecord::FromEarlierLeftover(const base::Pickle& record,
                                         std::vector<base::Pickle>* records) {
  Change change;
  if (!ReadChange(record, &change))
    return false;
  switch (change.kind) {
    case kCreatedFile:
      records->push_back(
          KeptFile(change.path, base::FilePath(), FileIdentity()));
      return true;
    case kRenamed:
      records->push_back(RenameBack(change.path, change.other, FileIdentity()));
      return true;
    case kCreatedFolders:
      records->push_back(record);
      return true;
    default:
      return false;
  }
}

// static
void RollbackRecord::AddPending(const base::Pickle& record,
                                RollbackPending* pending) {
  Change change;
  if (!ReadChange(record, &change) || NamesUnreachablePath(change))
    return;
  switch (change.kind) {
    case kRenamed:
      pending->AddRenameBack(change.path, change.other, FileIdentity());
      break;
    case kRenameBack:
      pending->AddRenameBack(change.path, change.other, change.identity);
      break;
    case kKeptFile:
      pending->AddKeptFile(change.identity);
      break;
  }
}

// static
bool RollbackRecord::AddLeftover(const base::Pickle& record,
                                 RollbackLeftovers* leftovers) {
  Change change;
  if (!ReadChange(record, &change) || NamesUnreachablePath(change))
    return false;
  switch (change.kind) {
    case kKeptFile:
      leftovers->FindKeptFile(change.path, change.other, change.identity);
      return true;
    case kRenameBack:
      leftovers->FindRenameBack(change.path, change.other, change.identity);
      return true;
    case kCreatedFolders:
      leftovers->FindFolders(change.path, change.other);
      return true;
    default:
      return false;
  }
}

}  // namespace installer
}  // namespace vexlo
