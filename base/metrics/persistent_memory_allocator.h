#ifndef BASE_METRICS_PERSISTENT_MEMORY_ALLOCATOR_H_
#define BASE_METRICS_PERSISTENT_MEMORY_ALLOCATOR_H_

#include <stddef.h>
#include <stdint.h>

#include <atomic>

namespace base {

// Carves a memory segment, possibly shared between processes, into typed
// blocks without locks. Blocks are never freed; those made iterable form an
// append-only queue that readers walk. Every inconsistency found in the
// segment marks it corrupt, after which nothing more is allocated.
//
// Segment layout (little-endian): 28 bytes of the creator's, then the flag
// word (bit 0 corrupt, bit 1 full), the free offset, the queue's tail, the
// 16-byte queue head, and the blocks from offset 56. A block is a 16-byte
// header {size, cookie, type id, link} and its data; it never crosses a
// page boundary.
class PersistentMemoryAllocator {
 public:
  // A byte offset from the start of the segment; 0 is none.
  typedef uint32_t Reference;

  // A reader's place in the queue of iterable blocks.
  struct Iterator {
    Reference last;
    uint32_t niter;
  };

  // Reference of the queue head, which also ends the queue.
  static constexpr Reference kReferenceQueue = 40;
  // Reference of the first block.
  static constexpr Reference kFirstBlock = 56;
  static constexpr uint32_t kAllocAlignment = 8;
  static constexpr uint32_t kBlockHeaderSize = 16;
  static constexpr uint32_t kFlagCorrupt = 1 << 0;
  static constexpr uint32_t kFlagFull = 1 << 1;

  // Over |size| bytes at |base|, which must outlive the allocator. A
  // writable segment whose free offset is still 0 (fresh zeroed memory) is
  // given an empty queue first. A |page_size| of 0 means the whole
  // segment.
  PersistentMemoryAllocator(void* base,
                            size_t size,
                            size_t page_size,
                            bool readonly);
  PersistentMemoryAllocator(const PersistentMemoryAllocator&) = delete;
  PersistentMemoryAllocator& operator=(const PersistentMemoryAllocator&) =
      delete;
  ~PersistentMemoryAllocator();

  // A new block of at least |size| data bytes and type |type_id|; 0 when
  // the segment is full, corrupt or read-only, or the size is 0 or too big.
  Reference Allocate(size_t size, uint32_t type_id);

  // The usable data bytes of the block at |ref|; 0 for no valid block.
  size_t GetAllocSize(Reference ref) const;

  // The data of the block at |ref|, checked for |type_id| (0: any type)
  // and for at least |size| data bytes; null when it does not pass.
  char* GetBlockData(Reference ref, uint32_t type_id, uint32_t size) const;
  template <typename T>
  T* GetAsObject(Reference ref, uint32_t type_id) const {
    return reinterpret_cast<T*>(
        GetBlockData(ref, type_id, static_cast<uint32_t>(sizeof(T))));
  }

  // Starts |iter| after the queued block |starting_after|, or at the
  // head of the queue when that is 0 or not a queued block.
  void CreateIterator(Iterator* iter, Reference starting_after) const;
  // The following queued block and its type; 0 at the end of the queue.
  Reference GetNextIterable(Iterator* iter, uint32_t* type_id) const;

  // Appends the block at |ref| to the queue, once.
  void MakeIterable(Reference ref);
  void ChangeType(Reference ref, uint32_t type_id);

  bool IsCorrupt() const;
  bool IsFull() const;
  // Logs the corruption and marks the segment, unless it is read-only.
  void SetCorrupt() const;

 private:
  struct BlockHeader;
  struct SharedMetadata;

  Reference AllocateImpl(size_t size, uint32_t type_id);
  // The header of the block at |ref| when it passes every check, with at
  // least |size| data bytes and, unless |type_id| is 0, of that type.
  // |queue_ok| admits the queue head.
  BlockHeader* GetBlock(Reference ref,
                        uint32_t type_id,
                        uint32_t size,
                        bool queue_ok) const;
  SharedMetadata* shared_meta() const;
  uint32_t LoadFreeOffset() const;

  char* const mem_base_;
  const uint32_t mem_size_;
  const uint32_t mem_page_;
  const bool readonly_;
  mutable std::atomic<bool> corrupt_;
};

}  // namespace base

#endif  // BASE_METRICS_PERSISTENT_MEMORY_ALLOCATOR_H_
