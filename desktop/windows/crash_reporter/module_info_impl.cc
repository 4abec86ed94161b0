#include "desktop/windows/crash_reporter/module_info_impl.h"

#include <psapi.h>
#include <string.h>

#include <algorithm>

#include "base/logging.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/crash_reporter/image_file_view.h"

namespace vexlo {
namespace crash_reporter {

namespace {

constexpr uint32_t kVersionResourceType = 16;

// The entry that a resource directory entry points at: a further
// directory, or the data record at the last level.
struct ResourceEntry {
  uint32_t id_or_name;
  uint32_t offset;
};

// The |index|-th entry of the resource directory at |offset| from the
// resources' start; false when it lies outside the image.
bool GetResourceEntry(const ImageFileView& image,
                      uint32_t resources,
                      uint32_t offset,
                      uint32_t index,
                      ResourceEntry* entry) {
  if (offset > UINT32_MAX - resources)
    return false;
  const uint8_t* directory_bytes =
      image.GetBytes(resources + offset, sizeof(IMAGE_RESOURCE_DIRECTORY));
  if (!directory_bytes)
    return false;
  IMAGE_RESOURCE_DIRECTORY directory;
  memcpy(&directory, directory_bytes, sizeof(directory));
  const uint32_t count =
      uint32_t{directory.NumberOfNamedEntries} + directory.NumberOfIdEntries;
  if (index >= count)
    return false;
  const uint64_t entry_rva = uint64_t{resources} + offset +
                             sizeof(IMAGE_RESOURCE_DIRECTORY) +
                             uint64_t{index} * sizeof(ResourceEntry);
  const uint8_t* entry_bytes =
      entry_rva <= UINT32_MAX ? image.GetBytes(static_cast<uint32_t>(entry_rva),
                                               sizeof(ResourceEntry))
                              : nullptr;
  if (!entry_bytes)
    return false;
  memcpy(entry, entry_bytes, sizeof(*entry));
  return true;
}

constexpr uint32_t kSubdirectoryBit = 0x80000000u;

// The version resource's bytes: type 16, its first name, its first
// language.
const uint8_t* FindVersionResource(const ImageFileView& image, uint32_t* size) {
  const uint32_t resources =
      image.GetDirectoryAddress(IMAGE_DIRECTORY_ENTRY_RESOURCE);
  ResourceEntry entry = {};
  bool found = false;
  for (uint32_t i = 0;
       !found && GetResourceEntry(image, resources, 0, i, &entry); ++i) {
    found = entry.id_or_name == kVersionResourceType;
  }
  if (!found || !(entry.offset & kSubdirectoryBit))
    return nullptr;
  // The first name, then its first language, which holds the data record.
  for (int level = 0; level < 2; ++level) {
    if (!(entry.offset & kSubdirectoryBit) ||
        !GetResourceEntry(image, resources, entry.offset & ~kSubdirectoryBit, 0,
                          &entry)) {
      return nullptr;
    }
  }
  if (entry.offset & kSubdirectoryBit || entry.offset > UINT32_MAX - resources)
    return nullptr;
  const uint8_t* record_bytes = image.GetBytes(
      resources + entry.offset, sizeof(IMAGE_RESOURCE_DATA_ENTRY));
  if (!record_bytes)
    return nullptr;
  IMAGE_RESOURCE_DATA_ENTRY record;
  memcpy(&record, record_bytes, sizeof(record));
  const uint8_t* data = image.GetBytes(record.OffsetToData, record.Size);
  *size = data ? record.Size : 0;
  return data;
}

// Steps over the zero byte that follows a character of UTF-16 text.
size_t SkipOneZero(const uint8_t* data, size_t size, size_t position) {
  return position < size && data[position] == 0 ? position + 1 : position;
}

}  // namespace

std::vector<ModuleListEntry> ParseModuleList(const base::string16& text) {
  std::vector<ModuleListEntry> modules;
  size_t position = 0;
  while (position < text.size()) {
    const size_t name_end = text.find(L':', position);
    const size_t base_end = text.find(L':', name_end + 1);
    const size_t size_end = text.find(L':', base_end + 1);
    const size_t path_end = text.find(L"::", size_end + 1);
    if (name_end == base::string16::npos || base_end == base::string16::npos ||
        size_end == base::string16::npos || path_end == base::string16::npos) {
      break;
    }
    ModuleListEntry module;
    module.name = text.substr(position, name_end - position);
    module.path = text.substr(size_end + 1, path_end - size_end - 1);
    const std::string base_text =
        base::UTF16ToASCII(text.substr(name_end + 1, base_end - name_end - 1));
    const std::string size_text =
        base::UTF16ToASCII(text.substr(base_end + 1, size_end - base_end - 1));
    uint64_t size = 0;
    if (module.name.empty() || module.path.empty() ||
        !base::HexStringToUint64(base_text, &module.base) ||
        !base::HexStringToUint64(size_text, &size) || size > UINT32_MAX) {
      break;
    }
    module.size = static_cast<uint32_t>(size);
    modules.push_back(module);
    position = path_end + 2;
  }
  return modules;
}

std::string FindVersionText(const uint8_t* data, size_t size, const char* key) {
  const size_t key_length = strlen(key);
  for (size_t start = 0; start < size; ++start) {
    size_t position = start;
    size_t matched = 0;
    while (matched < key_length && position < size &&
           (data[position] & ~0x20) == key[matched]) {
      position = SkipOneZero(data, size, position + 1);
      ++matched;
    }
    if (matched < key_length)
      continue;
    while (position < size && data[position] == 0)
      ++position;
    std::string text;
    while (position < size && data[position] != 0 &&
           text.size() < ModuleInfoImpl::kMaxTextLength) {
      text.push_back(static_cast<char>(data[position]));
      position = SkipOneZero(data, size, position + 1);
    }
    return text;
  }
  return std::string();
}

ModuleInfoImpl::ModuleInfoImpl(HANDLE process,
                               const base::string16& listed_name,
                               const base::string16& path,
                               uint64_t base,
                               uint32_t image_size)
    : path_(path), base_(base), image_size_(image_size), code_end_(base) {
  ReadFile(listed_name);
  if (name_.empty())
    ReadMappedFileName(process);
}

void ModuleInfoImpl::ReadFile(const base::string16& listed_name) {
  if (listed_name.empty())
    LOG(ERROR) << "Module " << path_.c_str() << " has no name";
  base::win::ScopedHandle file(::CreateFileW(path_.c_str(), GENERIC_READ,
                                             FILE_SHARE_READ, nullptr,
                                             OPEN_EXISTING, 0, nullptr));
  if (!file.IsValid()) {
    PLOG(ERROR) << "CreateFile failed for " << path_.c_str();
    return;
  }
  LARGE_INTEGER file_size = {};
  base::win::ScopedHandle mapping(
      ::CreateFileMappingW(file.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
  if (!mapping.IsValid() || !::GetFileSizeEx(file.Get(), &file_size)) {
    PLOG(ERROR) << "CreateFileMappingFailed for " << path_.c_str();
    return;
  }
  const void* view = ::MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, 0);
  if (!view) {
    PLOG(ERROR) << "MapViewOfFile failed for " << path_.c_str();
    return;
  }
  ReadImage(static_cast<const uint8_t*>(view),
            static_cast<size_t>(file_size.QuadPart));
  ::UnmapViewOfFile(view);
}

void ModuleInfoImpl::ReadImage(const uint8_t* data, size_t size) {
  ImageFileView image(data, size);
  if (!image.Initialize()) {
    LOG(ERROR) << "GetNtHeaders failed for " << path_.c_str();
    return;
  }
  time_stamp_ = image.time_stamp();
  code_end_ = base_ + image.base_of_code() + image.size_of_code();
  uint32_t exports_size = 0;
  const uint8_t* exports_bytes =
      image.GetDirectory(IMAGE_DIRECTORY_ENTRY_EXPORT, &exports_size);
  IMAGE_EXPORT_DIRECTORY exports = {};
  if (exports_bytes && exports_size >= sizeof(exports))
    memcpy(&exports, exports_bytes, sizeof(exports));
  if (!exports_bytes || exports_size < sizeof(exports) ||
      !image.GetText(exports.Name, kMaxTextLength, &name_)) {
    LOG(INFO) << "Could not find exports directory";
  }
  uint32_t resources_size = 0;
  if (!image.GetDirectory(IMAGE_DIRECTORY_ENTRY_RESOURCE, &resources_size)) {
    LOG(INFO) << "Could not find resources directory in " << LoggedName();
    return;
  }
  uint32_t version_size = 0;
  const uint8_t* version = FindVersionResource(image, &version_size);
  if (!version) {
    LOG(INFO) << "Could not find version resource in " << LoggedName();
    return;
  }
  ReadVersion(version, version_size);
}

void ModuleInfoImpl::ReadVersion(const uint8_t* data, uint32_t size) {
  version_ = FindVersionText(data, size, "FILEVERSION");
  if (name_.empty())
    name_ = FindVersionText(data, size, "ORIGINALFILENAME");
  if (version_.empty())
    LOG(INFO) << "Could not find version info in " << LoggedName();
}

void ModuleInfoImpl::ReadMappedFileName(HANDLE process) {
  char mapped[MAX_PATH] = {};
  const DWORD length = ::GetMappedFileNameA(
      process, reinterpret_cast<void*>(base_), mapped, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    PLOG(ERROR) << "GetMappedFileNameA failed";
    return;
  }
  const char* separator = strrchr(mapped, '\\');
  name_ = (separator ? separator + 1 : mapped);
  name_.resize(std::min(name_.size(), kMaxTextLength));
}

std::string ModuleInfoImpl::LoggedName() const {
  return name_.empty() ? "<unknown>" : name_;
}

}  // namespace crash_reporter
}  // namespace vexlo
