#include "desktop/launcher/installer/service/transactions/rollback_record.h"

#include <shlwapi.h>

#include "base/files/file_util.h"
#include "base/files/important_file_writer.h"
#include "base/logging.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/registry.h"
#include "desktop/launcher/installer/service/transactions/create_folder_operation.h"
#include "desktop/launcher/installer/service/transactions/registry_value_writer.h"

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

bool ReadPath(base::PickleIterator* reader, base::FilePath* path) {
  base::string16 value;
  if (!reader->ReadString16(&value) || value.empty())
    return false;
  *path = base::FilePath(value);
  return true;
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

void UndoCreatedFile(const base::FilePath& path) {
  if (!::DeleteFileW(path.value().c_str()) &&
      ::GetLastError() != ERROR_FILE_NOT_FOUND &&
      ::GetLastError() != ERROR_PATH_NOT_FOUND) {
    PLOG(ERROR) << "Could not delete the created " << path.AsUTF8();
  }
}

void UndoRename(const base::FilePath& from, const base::FilePath& to) {
  // Never over anything: when |from| is taken, the rename never happened
  // or was already taken back.
  if (!::MoveFileExW(to.value().c_str(), from.value().c_str(),
                     MOVEFILE_COPY_ALLOWED) &&
      ::GetLastError() != ERROR_FILE_NOT_FOUND &&
      ::GetLastError() != ERROR_PATH_NOT_FOUND &&
      ::GetLastError() != ERROR_ALREADY_EXISTS &&
      ::GetLastError() != ERROR_FILE_EXISTS) {
    PLOG(ERROR) << "Could not move " << to.AsUTF8() << " back to "
                << from.AsUTF8();
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

void UndoCreatedKey(HKEY root, const base::string16& path) {
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

bool UndoRegistryValue(base::PickleIterator* reader) {
  HKEY root = nullptr;
  base::string16 path;
  base::string16 name;
  bool existed = false;
  DWORD type = REG_NONE;
  std::vector<uint8_t> data;
  if (!ReadKey(reader, &root, &path) || !reader->ReadString16(&name) ||
      !reader->ReadBool(&existed) || !ReadDword(reader, &type) ||
      !ReadBytes(reader, &data)) {
    return false;
  }
  base::win::RegKey key;
  // A value that never came needs no key to go from.
  if (key.Open(root, path.c_str(), KEY_SET_VALUE) == ERROR_SUCCESS)
    PutValueBack(key.Handle(), name, existed, type, data);
  return true;
}

bool UndoDeletedKey(base::PickleIterator* reader) {
  HKEY root = nullptr;
  base::string16 path;
  int count = 0;
  if (!ReadKey(reader, &root, &path) || !reader->ReadInt(&count) || count < 0)
    return false;
  std::vector<RollbackRecord::Value> values(static_cast<size_t>(count));
  for (RollbackRecord::Value& value : values) {
    if (!reader->ReadString16(&value.name) || !ReadDword(reader, &value.type) ||
        !ReadBytes(reader, &value.data)) {
      return false;
    }
  }
  // Subkeys come back first, as their records are later; creating one
  // creates this key too, and then its values come back.
  base::win::RegKey key;
  const LONG result = key.Create(root, path.c_str(), KEY_SET_VALUE);
  if (result != ERROR_SUCCESS) {
    LOG(ERROR) << "Could not recreate the key " << base::UTF16ToUTF8(path)
               << ": " << result;
    return true;
  }
  for (const RollbackRecord::Value& value : values)
    PutValueBack(key.Handle(), value.name, true, value.type, value.data);
  return true;
}

bool UndoFileChange(Kind kind, base::PickleIterator* reader) {
  base::FilePath path;
  base::FilePath other;
  bool existed = false;
  std::string content;
  switch (kind) {
    case kCreatedFile:
      if (!ReadPath(reader, &path))
        return false;
      UndoCreatedFile(path);
      return true;
    case kCreatedFolders:
      if (!ReadPath(reader, &path) || !ReadPath(reader, &other))
        return false;
      CreateFolderOperation::RemoveCreatedFolders(path, other);
      return true;
    case kRenamed:
      if (!ReadPath(reader, &path) || !ReadPath(reader, &other))
        return false;
      UndoRename(path, other);
      return true;
    case kFileContent:
      if (!ReadPath(reader, &path) || !reader->ReadBool(&existed) ||
          !reader->ReadString(&content)) {
        return false;
      }
      UndoFileContent(path, existed, content);
      return true;
    default:
      return false;
  }
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
bool RollbackRecord::Undo(const base::Pickle& record) {
  base::PickleIterator reader(record);
  int kind = 0;
  bool read = reader.ReadInt(&kind);
  if (read) {
    HKEY root = nullptr;
    base::string16 path;
    switch (kind) {
      case kCreatedKey:
        read = ReadKey(&reader, &root, &path);
        if (read)
          UndoCreatedKey(root, path);
        break;
      case kRegistryValue:
        read = UndoRegistryValue(&reader);
        break;
      case kDeletedKey:
        read = UndoDeletedKey(&reader);
        break;
      default:
        read = UndoFileChange(static_cast<Kind>(kind), &reader);
        break;
    }
  }
  LOG_IF(ERROR, !read) << "Skipping an unreadable rollback record";
  return read;
}

}  // namespace installer
}  // namespace vexlo
