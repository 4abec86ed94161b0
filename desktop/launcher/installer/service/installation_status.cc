#include "desktop/launcher/installer/service/installation_status.h"

#include <windows.h>

#include <algorithm>

#include "base/logging.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/launcher/installer/service/xml_document.h"

namespace vexlo {
namespace installer {

namespace {

constexpr const char* kRegistryTypeNames[] = {
    "REG_NONE",
    "REG_SZ",
    "REG_EXPAND_SZ",
    "REG_BINARY",
    "REG_DWORD",
    "REG_DWORD_BIG_ENDIAN",
    "REG_LINK",
    "REG_MULTI_SZ",
    "REG_RESOURCE_LIST",
    "REG_FULL_RESOURCE_DESCRIPTOR",
    "REG_RESOURCE_REQUIREMENTS_LIST",
    "REG_QWORD",
};

constexpr uint32_t kRemovedValue = 0xFFFFFFFF;

constexpr char kRootElement[] = "install_log";
constexpr char kPathElement[] = "path";
constexpr char kFilesElement[] = "files";
constexpr char kRootFilesElement[] = "root_files";
constexpr char kFileElement[] = "file";
constexpr char kRegistryElement[] = "registry";
constexpr char kKeyElement[] = "key";
constexpr char kValueElement[] = "value";
constexpr char kShortcutElement[] = "shortcut";

constexpr char kMachineHive[] = "HKLM";
constexpr char kUserHive[] = "HKCU";

constexpr char kDesktopType[] = "SC_DEST_DESKTOP";
constexpr char kCommonDesktopType[] = "SC_DEST_COMMON_DESKTOP";
constexpr char kMenuType[] = "SC_DEST_MENU";
constexpr char kCommonMenuType[] = "SC_DEST_COMMON_MENU";
constexpr char kQuickLaunchType[] = "SC_DEST_QUICK_LAUNCH";

const char* FlagText(bool flag) {
  return flag ? "True" : "False";
}

// The UTF-8 text of the string in the |size| bytes at |data|, up to its
// first NUL.
std::string ReadStringData(const void* data, uint32_t size) {
  if (!data)
    return std::string();
  const wchar_t* text = static_cast<const wchar_t*>(data);
  const size_t units = size / sizeof(wchar_t);
  const size_t length = std::find(text, text + units, L'\0') - text;
  return base::UTF16ToUTF8(base::StringPiece16(text, length));
}

std::string FormatBinaryData(const void* data, uint32_t size) {
  std::string text;
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  for (uint32_t i = 0; data && i < size; ++i)
    text += base::StringPrintf(i == 0 ? "%.2x" : ",%.2x", bytes[i]);
  return text;
}

// Writes |element| holding |text|, with the attribute |name| = |value|
// when |name| is given.
void WriteTextElement(XmlDocument* document,
                      const char* element,
                      const char* name,
                      const std::string& value,
                      const std::string& text) {
  document->OpenElement(element);
  if (name)
    document->SetAttribute(name, value);
  document->SetText(text);
  document->CloseElement();
}

void WriteFileList(XmlDocument* document,
                   const char* element,
                   const std::vector<base::FilePath>& files) {
  document->OpenElement(element);
  for (const base::FilePath& file : files)
    WriteTextElement(document, kFileElement, nullptr, "", file.AsUTF8());
  document->CloseElement();
}

void WriteRegistry(XmlDocument* document,
                   const char* hive,
                   const std::vector<InstallationStatus::RegistryKey>& keys) {
  document->OpenElement(kRegistryElement);
  document->SetAttribute("hive", hive);
  for (const InstallationStatus::RegistryKey& key : keys) {
    document->OpenElement(kKeyElement);
    document->SetAttribute("path", key.path);
    document->SetAttribute("clean", base::IntToString(key.clean));
    for (const InstallationStatus::RegistryValue& value : key.values) {
      document->OpenElement(kValueElement);
      document->SetAttribute("name", value.name);
      document->SetAttribute("type", value.type);
      document->SetText(value.data);
      document->CloseElement();
    }
    document->CloseElement();
  }
  document->CloseElement();
}

void WriteShortcut(XmlDocument* document,
                   const char* type,
                   const base::FilePath& shortcut) {
  if (!shortcut.empty())
    WriteTextElement(document, kShortcutElement, "type", type,
                     shortcut.AsUTF8());
}

// Reading: each step checks one element at the cursor and leaves the cursor
// on it. A fault is logged where it is found.

bool ExpectName(const XmlDocument& document, const char* name) {
  if (document.GetNodeName() == base::ASCIIToUTF16(name))
    return true;
  LOG(ERROR) << "Unexpected element "
             << base::UTF16ToUTF8(document.GetNodeName()) << " in the "
             << "installation status where " << name << " belongs";
  return false;
}

bool GetRequiredAttribute(const XmlDocument& document,
                          const char* name,
                          base::string16* value) {
  if (document.GetAttribute(name, value))
    return true;
  LOG(ERROR) << "Element " << base::UTF16ToUTF8(document.GetNodeName())
             << " lacks attribute " << name;
  return false;
}

bool GetRequiredAttribute(const XmlDocument& document,
                          const char* name,
                          std::string* value) {
  base::string16 wide;
  if (!GetRequiredAttribute(document, name, &wide))
    return false;
  *value = base::UTF16ToUTF8(wide);
  return true;
}

bool ReadFlag(const XmlDocument& document, const char* name, bool* flag) {
  base::string16 text;
  if (!GetRequiredAttribute(document, name, &text))
    return false;
  *flag = text == L"True";
  return true;
}

base::FilePath TrimmedPath(const base::string16& text) {
  base::string16 trimmed;
  base::TrimWhitespace(text, base::TRIM_ALL, &trimmed);
  return base::FilePath(trimmed);
}

// Whether |path| stays inside the folder it is joined to: not empty, not
// rooted, no drive or stream ':' and no component of only dots and blanks
// (which the system would take as "." or "..").
bool IsContainedPath(const base::FilePath& path) {
  const base::string16& value = path.value();
  if (value.empty() || base::FilePath::IsSeparator(value[0]) ||
      value.find(L':') != base::string16::npos) {
    return false;
  }
  size_t start = 0;
  while (start <= value.size()) {
    size_t end = start;
    while (end < value.size() && !base::FilePath::IsSeparator(value[end]))
      ++end;
    const base::StringPiece16 component(value.data() + start, end - start);
    if (!component.empty() &&
        component.find_first_not_of(L". ") == base::StringPiece16::npos) {
      return false;
    }
    start = end + 1;
  }
  return true;
}

// The trimmed text of the cursor's element as a path inside the
// installation; false, logged, when it could lead out of it.
bool ReadContainedPath(const XmlDocument& document,
                       const base::string16& text,
                       base::FilePath* path) {
  *path = TrimmedPath(text);
  if (IsContainedPath(*path))
    return true;
  LOG(ERROR) << "Ignoring the recorded "
             << base::UTF16ToUTF8(document.GetNodeName()) << " "
             << path->AsUTF8() << ": it is not inside the installation";
  return false;
}

// Moves to the first child element; false when there is none.
bool EnterChildren(XmlDocument* document) {
  if (document->MoveToFirstChildElement() == XmlDocument::Move::kFound)
    return true;
  LOG(ERROR) << "Element " << base::UTF16ToUTF8(document->GetNodeName())
             << " of the installation status is empty";
  return false;
}

// Moves to the next sibling element: |*more| false when there is none.
bool Advance(XmlDocument* document, bool* more) {
  const XmlDocument::Move move = document->MoveToNextSiblingElement();
  *more = move == XmlDocument::Move::kFound;
  return move != XmlDocument::Move::kError;
}

// Reads the children of the cursor's element through |read_child|, and
// leaves the cursor on the element.
template <typename ReadChild>
bool ReadChildren(XmlDocument* document, ReadChild read_child) {
  if (!EnterChildren(document))
    return false;
  bool more = true;
  while (more) {
    if (!read_child() || !Advance(document, &more))
      return false;
  }
  return document->MoveToParentElement() == XmlDocument::Move::kFound;
}

bool ReadPath(XmlDocument* document, InstallationStatus* status) {
  if (!ExpectName(*document, kPathElement))
    return false;
  status->install_path = TrimmedPath(document->GetNodeText());
  base::string16 subfolder;
  if (document->GetAttribute("subfolder", &subfolder)) {
    base::FilePath path;
    const bool none = TrimmedPath(subfolder).empty();
    status->subfolder = !none && ReadContainedPath(*document, subfolder, &path)
                            ? path
                            : base::FilePath();
  }
  return true;
}

bool ReadFiles(XmlDocument* document, std::vector<base::FilePath>* files) {
  return ReadChildren(document, [document, files]() {
    if (!ExpectName(*document, kFileElement))
      return false;
    base::FilePath file;
    if (ReadContainedPath(*document, document->GetNodeText(), &file))
      files->push_back(file);
    return true;
  });
}

bool ReadValue(XmlDocument* document, InstallationStatus::RegistryKey* key) {
  InstallationStatus::RegistryValue value;
  if (!ExpectName(*document, kValueElement) ||
      !GetRequiredAttribute(*document, "name", &value.name) ||
      !GetRequiredAttribute(*document, "type", &value.type)) {
    return false;
  }
  value.data = base::UTF16ToUTF8(document->GetNodeText());
  key->values.push_back(value);
  return true;
}

bool ReadKey(XmlDocument* document,
             std::vector<InstallationStatus::RegistryKey>* keys) {
  InstallationStatus::RegistryKey key;
  std::string clean;
  if (!ExpectName(*document, kKeyElement) ||
      !GetRequiredAttribute(*document, "path", &key.path) ||
      !GetRequiredAttribute(*document, "clean", &clean)) {
    return false;
  }
  int clean_value = 0;
  if (!base::StringToInt(clean, &clean_value)) {
    LOG(ERROR) << "Registry key " << key.path << " has a bad clean " << clean;
    return false;
  }
  key.clean = clean_value;
  const XmlDocument::Move move = document->MoveToFirstChildElement();
  if (move == XmlDocument::Move::kError)
    return false;
  if (move == XmlDocument::Move::kFound) {
    bool more = true;
    while (more) {
      if (!ReadValue(document, &key) || !Advance(document, &more))
        return false;
    }
    if (document->MoveToParentElement() != XmlDocument::Move::kFound)
      return false;
  }
  keys->push_back(key);
  return true;
}

bool ReadRegistry(XmlDocument* document, InstallationStatus* status) {
  std::string hive;
  if (!GetRequiredAttribute(*document, "hive", &hive))
    return false;
  std::vector<InstallationStatus::RegistryKey>* keys = nullptr;
  if (hive == kMachineHive) {
    keys = &status->machine_keys;
  } else if (hive == kUserHive) {
    keys = &status->user_keys;
  } else {
    LOG(ERROR) << "Unknown registry hive " << hive;
    return false;
  }
  return ReadChildren(document,
                      [document, keys]() { return ReadKey(document, keys); });
}

bool ReadShortcut(XmlDocument* document, InstallationStatus* status) {
  std::string type;
  if (!GetRequiredAttribute(*document, "type", &type))
    return false;
  const base::FilePath path = TrimmedPath(document->GetNodeText());
  if (type == kDesktopType || type == kCommonDesktopType) {
    status->desktop_shortcut = path;
  } else if (type == kMenuType || type == kCommonMenuType) {
    status->start_menu_shortcut = path;
  } else if (type == kQuickLaunchType) {
    status->quick_launch_shortcut = path;
  } else {
    LOG(ERROR) << "Unknown shortcut type " << type;
    return false;
  }
  return true;
}

bool ReadRootAttributes(const XmlDocument& document,
                        InstallationStatus* status) {
  if (!ExpectName(document, kRootElement) ||
      !GetRequiredAttribute(document, "version", &status->version)) {
    return false;
  }
  base::string16 app_id;
  if (document.GetAttribute("app_id", &app_id))
    status->app_id = base::UTF16ToUTF8(app_id);
  return ReadFlag(document, "copy_only", &status->copy_only) &&
         ReadFlag(document, "all_users", &status->all_users) &&
         ReadFlag(document, "pinned", &status->pinned);
}

// The elements below the root, in their fixed order: path, files, the
// optional root files, then registries, then shortcuts.
bool ReadBody(XmlDocument* document, InstallationStatus* status) {
  if (!EnterChildren(document) || !ReadPath(document, status))
    return false;
  bool more = false;
  if (!Advance(document, &more) || !more) {
    LOG(ERROR) << "The installation status lists no files";
    return false;
  }
  if (!ExpectName(*document, kFilesElement) ||
      !ReadFiles(document, &status->files) || !Advance(document, &more)) {
    return false;
  }
  if (more &&
      document->GetNodeName() == base::ASCIIToUTF16(kRootFilesElement)) {
    if (!ReadFiles(document, &status->root_files) || !Advance(document, &more))
      return false;
  }
  while (more &&
         document->GetNodeName() == base::ASCIIToUTF16(kRegistryElement)) {
    if (!ReadRegistry(document, status) || !Advance(document, &more))
      return false;
  }
  while (more) {
    if (!ExpectName(*document, kShortcutElement) ||
        !ReadShortcut(document, status) || !Advance(document, &more)) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool InstallationStatus::RegistryValue::operator==(
    const RegistryValue& other) const {
  return type == other.type && name == other.name && data == other.data;
}

bool InstallationStatus::RegistryKey::operator==(
    const RegistryKey& other) const {
  return clean == other.clean && path == other.path && values == other.values;
}

InstallationStatus::InstallationStatus() = default;

InstallationStatus::InstallationStatus(const InstallationStatus& other) =
    default;

InstallationStatus& InstallationStatus::operator=(
    const InstallationStatus& other) = default;

InstallationStatus::~InstallationStatus() = default;

// static
void InstallationStatus::AddRegistryValue(std::vector<RegistryKey>* keys,
                                          const base::string16& key_path,
                                          const base::string16& value_name,
                                          const void* data,
                                          uint32_t type,
                                          uint32_t size,
                                          int32_t clean) {
  if (type == kRemovedValue)
    return;
  const std::string type_name = GetRegistryTypeName(type);
  if (type_name.empty()) {
    LOG(ERROR) << "Not recording registry value "
               << base::UTF16ToUTF8(value_name) << " of unknown type " << type;
    return;
  }
  RegistryValue value;
  value.type = type_name;
  value.name = base::UTF16ToUTF8(value_name);
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      value.data = ReadStringData(data, size);
      break;
    case REG_BINARY:
      value.data = FormatBinaryData(data, size);
      break;
    case REG_DWORD: {
      if (!data || size < sizeof(DWORD)) {
        LOG(ERROR) << "Not recording registry value "
                   << base::UTF16ToUTF8(value_name) << ": a 32-bit number in "
                   << size << " bytes";
        return;
      }
      DWORD number = 0;
      memcpy(&number, data, sizeof(number));
      value.data =
          base::StringPrintf("%.8lx", static_cast<unsigned long>(number));
      break;
    }
    default:
      break;
  }

  const std::string path = base::UTF16ToUTF8(key_path);
  auto key = std::find_if(
      keys->rbegin(), keys->rend(),
      [&path](const RegistryKey& candidate) { return candidate.path == path; });
  RegistryKey* target = nullptr;
  if (key != keys->rend()) {
    target = &*key;
    target->clean = std::max(target->clean, clean);
  } else {
    keys->push_back(RegistryKey());
    target = &keys->back();
    target->clean = clean;
    target->path = path;
  }
  target->values.push_back(value);
}

std::string GetRegistryTypeName(uint32_t type) {
  if (type >= sizeof(kRegistryTypeNames) / sizeof(kRegistryTypeNames[0]))
    return std::string();
  return kRegistryTypeNames[type];
}

void WriteInstallationStatus(XmlDocument* document,
                             const InstallationStatus& status) {
  document->OpenElement(kRootElement);
  document->SetAttribute("version", status.version);
  document->SetAttribute("copy_only", FlagText(status.copy_only));
  document->SetAttribute("all_users", FlagText(status.all_users));
  document->SetAttribute("pinned", FlagText(status.pinned));
  document->SetAttribute("app_id", status.app_id);

  WriteTextElement(document, kPathElement, "subfolder",
                   status.subfolder.AsUTF8(), status.install_path.AsUTF8());
  WriteFileList(document, kFilesElement, status.files);
  if (!status.root_files.empty())
    WriteFileList(document, kRootFilesElement, status.root_files);
  if (!status.machine_keys.empty())
    WriteRegistry(document, kMachineHive, status.machine_keys);
  if (!status.user_keys.empty())
    WriteRegistry(document, kUserHive, status.user_keys);

  WriteShortcut(document, status.all_users ? kCommonDesktopType : kDesktopType,
                status.desktop_shortcut);
  WriteShortcut(document, status.all_users ? kCommonMenuType : kMenuType,
                status.start_menu_shortcut);
  WriteShortcut(document, kQuickLaunchType, status.quick_launch_shortcut);
  document->CloseElement();
}

bool ReadInstallationStatus(XmlDocument* document,
                            InstallationStatus* status,
                            const base::FilePath& file) {
  status->files.clear();
  status->root_files.clear();
  status->machine_keys.clear();
  status->user_keys.clear();
  return document->Initialize() && document->Load(file) &&
         document->MoveToFirstChildElement() == XmlDocument::Move::kFound &&
         ReadRootAttributes(*document, status) && ReadBody(document, status);
}

}  // namespace installer
}  // namespace vexlo
