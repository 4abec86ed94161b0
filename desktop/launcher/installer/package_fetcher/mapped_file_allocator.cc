#include "desktop/launcher/installer/package_fetcher/mapped_file_allocator.h"

#include <stdint.h>

#include <algorithm>
#include <vector>

#include "base/files/file_util.h"
#include "base/logging.h"

namespace vexlo {
namespace installer {

MappedFileAllocator::MappedFileAllocator(const base::FilePath& folder)
    : folder_(folder) {
  decoder_allocator_.Alloc = kHeapAllocator.Alloc;
  decoder_allocator_.Free = kHeapAllocator.Free;
  decoder_allocator_.owner = this;
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
  decoder_allocator_.Alloc = &AllocateThunk;
  decoder_allocator_.Free = &FreeThunk;
}

MappedFileAllocator::~MappedFileAllocator() {
  mapping_.Close();
  file_.Close();
}

void* MappedFileAllocator::Allocate(size_t size) {
  return decoder_allocator_.Alloc(&decoder_allocator_, size);
}

void MappedFileAllocator::Free(void* address) {
  decoder_allocator_.Free(&decoder_allocator_, address);
}

void* MappedFileAllocator::MapBlock(size_t size) {
  if (size == 0 || !FitsOnVolume(size))
    return nullptr;
  if (FillFile(size)) {
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

bool MappedFileAllocator::FillFile(size_t size) {
  // Sized alone, the file is sparse where the system makes it so: each page
  // of the view is then slow to fault in for writing (0.5-1.5 s for 150 MB
  // here, against 0.3 s with the zeros written first), and a volume that
  // fills meanwhile fails a page fault inside the decoder rather than a
  // call here. Written out, the space is claimed now and the view's pages
  // are ordinary cached ones.
  const std::vector<char> zeros(std::min(size, base::kWritePieceSize));
  for (size_t offset = 0; offset < size; offset += zeros.size()) {
    const int piece = static_cast<int>(std::min(size - offset, zeros.size()));
    if (file_.Write(static_cast<int64_t>(offset), zeros.data(), piece) !=
        piece) {
      file_.SetLength(0);
      return false;
    }
  }
  return file_.SetLength(static_cast<int64_t>(size));
}

bool MappedFileAllocator::FitsOnVolume(size_t size) const {
  // Filling the file claims the space before one byte is decoded, which
  // would take as long as the volume lasts; a block that cannot fit could
  // never be written out anyway. When the space is unknown the filling
  // itself decides.
  ULARGE_INTEGER available;
  if (!GetDiskFreeSpaceExW(folder_.value().c_str(), &available, nullptr,
                           nullptr) ||
      size <= available.QuadPart) {
    return true;
  }
  LOG(ERROR) << "A block of " << size << " bytes exceeds the "
             << available.QuadPart << " bytes free beside " << folder_.AsUTF8();
  return false;
}

// static
void* MappedFileAllocator::AllocateThunk(ISzAllocPtr allocator, size_t size) {
  return static_cast<const DecoderAllocator*>(allocator)->owner->MapBlock(size);
}

// static
void MappedFileAllocator::FreeThunk(ISzAllocPtr allocator, void* address) {
  MappedFileAllocator* owner =
      static_cast<const DecoderAllocator*>(allocator)->owner;
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
