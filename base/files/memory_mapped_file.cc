#include "base/files/memory_mapped_file.h"

#include <windows.h>

#include <limits>

#include "base/logging.h"
#include "base/sys_info.h"

namespace base {

const MemoryMappedFile::Region MemoryMappedFile::Region::kWholeFile = {0, 0};

bool MemoryMappedFile::Region::operator==(const Region& other) const {
  return offset == other.offset && size == other.size;
}

bool MemoryMappedFile::Region::operator!=(const Region& other) const {
  return !(*this == other);
}

MemoryMappedFile::MemoryMappedFile() : data_(nullptr), length_(0) {}

MemoryMappedFile::~MemoryMappedFile() {
  CloseHandles();
}

bool MemoryMappedFile::Initialize(const FilePath& file_name) {
  return Initialize(file_name, Region::kWholeFile);
}

bool MemoryMappedFile::Initialize(const FilePath& file_name,
                                  const Region& region) {
  if (IsValid())
    return false;
  file_.Initialize(file_name, File::FLAG_OPEN | File::FLAG_READ);
  if (!file_.IsValid()) {
    LOG(ERROR) << "Couldn't open " << file_name.AsUTF8();
    return false;
  }
  if (!MapFileRegionToMemory(region)) {
    CloseHandles();
    return false;
  }
  return true;
}

// static
void MemoryMappedFile::CalculateVMAlignedBoundaries(int64_t start,
                                                    int64_t size,
                                                    int64_t* aligned_start,
                                                    int64_t* aligned_size,
                                                    int32_t* offset) {
  const int64_t mask =
      static_cast<int64_t>(SysInfo::VMAllocationGranularity()) - 1;
  *offset = static_cast<int32_t>(start & mask);
  *aligned_start = start & ~mask;
  *aligned_size = (size + *offset + mask) & ~mask;
}

bool MemoryMappedFile::MapFileRegionToMemory(const Region& region) {
  if (!file_.IsValid())
    return false;

  file_mapping_.Set(::CreateFileMappingW(file_.GetPlatformFile(), nullptr,
                                         PAGE_READONLY, 0, 0, nullptr));
  if (!file_mapping_.IsValid())
    return false;

  int64_t view_start = 0;
  SIZE_T view_size = 0;  // The whole section.
  int32_t data_offset = 0;
  if (region == Region::kWholeFile) {
    const int64_t file_length = file_.GetLength();
    if (file_length <= 0 || file_length > std::numeric_limits<int32_t>::max())
      return false;
    length_ = static_cast<size_t>(file_length);
  } else {
    // A view of no bytes would silently span the rest of the section.
    if (region.offset < 0 || region.size <= 0)
      return false;
    int64_t aligned_size = 0;
    CalculateVMAlignedBoundaries(region.offset, region.size, &view_start,
                                 &aligned_size, &data_offset);
    // Only the bytes up to the region's end are mapped; the rest of the last
    // granule may lie beyond the end of the file.
    const int64_t span = data_offset + region.size;
    if (view_start < 0 || span < 0)
      return false;
    view_size = static_cast<SIZE_T>(span);
    length_ = static_cast<size_t>(region.size);
  }

  void* view = ::MapViewOfFile(file_mapping_.Get(), FILE_MAP_READ,
                               static_cast<DWORD>(view_start >> 32),
                               static_cast<DWORD>(view_start), view_size);
  if (!view)
    return false;
  data_ = static_cast<uint8_t*>(view) + data_offset;
  return true;
}

void MemoryMappedFile::CloseHandles() {
  if (data_) {
    // The view starts at the granule boundary below the data.
    const uintptr_t mask = SysInfo::VMAllocationGranularity() - 1;
    ::UnmapViewOfFile(
        reinterpret_cast<void*>(reinterpret_cast<uintptr_t>(data_) & ~mask));
  }
  file_mapping_.Close();
  if (file_.IsValid())
    file_.Close();
  data_ = nullptr;
  length_ = 0;
}

}  // namespace base
