#ifndef BASE_FILES_MEMORY_MAPPED_FILE_H_
#define BASE_FILES_MEMORY_MAPPED_FILE_H_

#include <stddef.h>
#include <stdint.h>

#include "base/files/file.h"
#include "base/files/file_path.h"
#include "base/win/scoped_handle.h"

namespace base {

// A file, or a region of it, mapped read-only into memory for the life of
// the object.
class MemoryMappedFile {
 public:
  // A byte range of the file. The whole-file region is {0, 0}.
  struct Region {
    static const Region kWholeFile;

    bool operator==(const Region& other) const;
    bool operator!=(const Region& other) const;

    int64_t offset;
    int64_t size;
  };

  MemoryMappedFile();
  MemoryMappedFile(const MemoryMappedFile&) = delete;
  MemoryMappedFile& operator=(const MemoryMappedFile&) = delete;
  ~MemoryMappedFile();

  // Opens |file_name| for reading and maps all of it. False when something
  // is mapped already, the file cannot be opened, or it is empty or larger
  // than 2 GiB - 1; nothing is left open on failure.
  bool Initialize(const FilePath& file_name);
  // Opens |file_name| for reading and maps |region| of it. Beside the
  // whole-file region, a region must lie inside the file and hold at least
  // one byte.
  bool Initialize(const FilePath& file_name, const Region& region);

  // The first byte of the region, null when nothing is mapped.
  const uint8_t* data() const { return data_; }
  size_t length() const { return length_; }
  bool IsValid() const { return data_ != nullptr; }

  // Where a view must start for |start| to be mapped, and how far into that
  // view |start| lies: the view starts at the allocation-granularity
  // boundary at or below |start|, and |aligned_size| covers |size| bytes
  // from |start| in whole granules.
  static void CalculateVMAlignedBoundaries(int64_t start,
                                           int64_t size,
                                           int64_t* aligned_start,
                                           int64_t* aligned_size,
                                           int32_t* offset);

 private:
  bool MapFileRegionToMemory(const Region& region);
  // Unmaps the view and closes the mapping and the file.
  void CloseHandles();

  File file_;
  uint8_t* data_;
  size_t length_;
  win::ScopedHandle file_mapping_;
};

}  // namespace base

#endif  // BASE_FILES_MEMORY_MAPPED_FILE_H_
