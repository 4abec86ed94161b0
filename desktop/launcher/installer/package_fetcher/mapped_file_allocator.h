#ifndef DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_MAPPED_FILE_ALLOCATOR_H_
#define DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_MAPPED_FILE_ALLOCATOR_H_

#include <stddef.h>

#include "base/files/file.h"
#include "base/files/file_path.h"
#include "base/win/scoped_handle.h"
#include "desktop/launcher/installer/package_fetcher/lzma_sdk.h"

namespace vexlo {
namespace installer {

// The allocator for the blocks the 7z decoder unpacks into: a view of a
// temporary file in a given folder, so that a large block is backed by that
// file rather than by the page file. Falls back to the heap when the file or
// a mapping cannot be had. Refuses a block larger than the free space of the
// folder's volume, which could never be written out. Holds one mapped block
// at a time: the decoder frees a block before it asks for the next.
class MappedFileAllocator {
 public:
  explicit MappedFileAllocator(const base::FilePath& folder);
  MappedFileAllocator(const MappedFileAllocator&) = delete;
  MappedFileAllocator& operator=(const MappedFileAllocator&) = delete;
  // Closes the mapping and the temporary file, which deletes it.
  ~MappedFileAllocator();

  // The decoder's view of this allocator.
  ISzAllocPtr decoder_allocator() const { return &decoder_allocator_; }

  void* Allocate(size_t size);
  void Free(void* address);

 private:
  struct DecoderAllocator : ISzAlloc {
    MappedFileAllocator* owner;
  };

  static void* AllocateThunk(ISzAllocPtr allocator, size_t size);
  static void FreeThunk(ISzAllocPtr allocator, void* address);

  void* MapBlock(size_t size);
  // Gives the temporary file |size| bytes of zeros: false when they could
  // not all be written, the file then left empty.
  bool FillFile(size_t size);
  bool FitsOnVolume(size_t size) const;

  const base::FilePath folder_;
  base::File file_;
  base::win::ScopedHandle mapping_;
  DecoderAllocator decoder_allocator_;
};

}  // namespace installer
}  // namespace vexlo

#endif  // DESKTOP_LAUNCHER_INSTALLER_PACKAGE_FETCHER_MAPPED_FILE_ALLOCATOR_H_
