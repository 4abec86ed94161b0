#include "desktop/launcher/installer/package_fetcher/mapped_file_allocator.h"

#include <stdint.h>

#include "base/files/file_util.h"

namespace vexlo {
namespace installer {

MappedFileAllocator::MappedFileAllocator(const base::FilePath& folder) {
  interface_.Alloc = kHeapAllocator.Alloc;
  interface_.Free = kHeapAllocator.Free;
  interface_.owner = this;
  base::FilePath path;
  if (!base::CreateTemporaryFileInDir(folder, &path))
    return;
  file_.Initialize(path, base::File::FLAG_CREATE_ALWAYS |
                             base::File::FLAG_READ | base::File::FLAG_WRITE |
                             base::File::FLAG_TEMPORARY |
                             base::File::FLAG_DELETE_ON_CLOSE);
  if (!file_.IsValid()) {
    base::DeleteFile(path, false);
    return;
  }
  interface_.Alloc = &AllocateThunk;
  interface_.Free = &FreeThunk;
}

MappedFileAllocator::~MappedFileAllocator() {
  mapping_.Close();
  file_.Close();
}

void* MappedFileAllocator::Allocate(size_t size) {
  return interface_.Alloc(&interface_, size);
}

void MappedFileAllocator::Free(void* address) {
  interface_.Free(&interface_, address);
}

void* MappedFileAllocator::MapBlock(size_t size) {
  if (size == 0)
    return nullptr;
  if (file_.SetLength(static_cast<int64_t>(size))) {
    mapping_.Set(CreateFileMappingW(file_.GetPlatformFile(), nullptr,
                                    PAGE_READWRITE, 0, 0, nullptr));
    if (mapping_.IsValid()) {
      void* view = MapViewOfFile(mapping_.Get(), FILE_MAP_WRITE, 0, 0, 0);
      if (view)
        return view;
      mapping_.Close();
    }
  }
  return kHeapAllocator.Alloc(&kHeapAllocator, size);
}

// static
void* MappedFileAllocator::AllocateThunk(ISzAllocPtr allocator, size_t size) {
  return static_cast<const Interface*>(allocator)->owner->MapBlock(size);
}

// static
void MappedFileAllocator::FreeThunk(ISzAllocPtr allocator, void* address) {
  MappedFileAllocator* owner = static_cast<const Interface*>(allocator)->owner;
  if (!address)
    return;
  if (owner->mapping_.IsValid()) {
    UnmapViewOfFile(address);
    owner->mapping_.Close();
  } else {
    kHeapAllocator.Free(&kHeapAllocator, address);
  }
}

}  // namespace installer
}  // namespace vexlo
