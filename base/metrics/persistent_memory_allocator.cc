#include "base/metrics/persistent_memory_allocator.h"

#include <algorithm>

#include "base/logging.h"

namespace base {

namespace {

constexpr uint32_t kBlockCookieFree = 0;
constexpr uint32_t kBlockCookieAllocated = 0xC8799269;
constexpr uint32_t kBlockCookieWasted = 0xFFFFFFFF;
// Larger requests are refused outright.
constexpr size_t kMaxAllocation = 0x3FFFFFF0;
// A page is never left with a tail shorter than a header and one step.
constexpr uint32_t kMinPageTail = PersistentMemoryAllocator::kBlockHeaderSize +
                                  PersistentMemoryAllocator::kAllocAlignment;
// One queue step per this many bytes at most; more means a loop.
constexpr uint32_t kMinQueueStride = 24;

uint32_t AtomicLoad(const uint32_t* value) {
  return __atomic_load_n(value, __ATOMIC_ACQUIRE);
}

void AtomicStore(uint32_t* target, uint32_t value) {
  __atomic_store_n(target, value, __ATOMIC_RELEASE);
}

// On failure |expected| receives the value found.
bool CompareAndSwap(uint32_t* target, uint32_t* expected, uint32_t desired) {
  return __atomic_compare_exchange_n(target, expected, desired, false,
                                     __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE);
}

}  // namespace

struct PersistentMemoryAllocator::BlockHeader {
  uint32_t size;
  uint32_t cookie;
  uint32_t type_id;
  uint32_t next;
};

struct PersistentMemoryAllocator::SharedMetadata {
  uint32_t creator[7];
  uint32_t flags;
  uint32_t freeptr;
  uint32_t tailptr;
  BlockHeader queue;
};

PersistentMemoryAllocator::PersistentMemoryAllocator(void* base,
                                                     size_t size,
                                                     size_t page_size,
                                                     bool readonly)
    : mem_base_(static_cast<char*>(base)),
      mem_size_(static_cast<uint32_t>(std::min<size_t>(size, 0xFFFFFFF8))),
      mem_page_(static_cast<uint32_t>(page_size ? page_size : mem_size_)),
      readonly_(readonly),
      corrupt_(false) {
  static_assert(sizeof(SharedMetadata) == kFirstBlock,
                "the first block follows the header");
  if (mem_size_ < kFirstBlock) {
    SetCorrupt();
    return;
  }
  SharedMetadata* const shared = shared_meta();
  if (!readonly_ && AtomicLoad(&shared->freeptr) == 0) {
    shared->queue.size = sizeof(BlockHeader);
    shared->queue.next = kReferenceQueue;
    shared->tailptr = kReferenceQueue;
    AtomicStore(&shared->freeptr, kFirstBlock);
  }
}

PersistentMemoryAllocator::~PersistentMemoryAllocator() = default;

PersistentMemoryAllocator::SharedMetadata*
PersistentMemoryAllocator::shared_meta() const {
  return reinterpret_cast<SharedMetadata*>(mem_base_);
}

uint32_t PersistentMemoryAllocator::LoadFreeOffset() const {
  return AtomicLoad(&shared_meta()->freeptr);
}

PersistentMemoryAllocator::Reference PersistentMemoryAllocator::Allocate(
    size_t size,
    uint32_t type_id) {
  return AllocateImpl(size, type_id);
}

PersistentMemoryAllocator::Reference PersistentMemoryAllocator::AllocateImpl(
    size_t size,
    uint32_t type_id) {
  if (readonly_ || size > kMaxAllocation)
    return 0;
  uint32_t total = static_cast<uint32_t>(
      (size + kBlockHeaderSize + kAllocAlignment - 1) & ~(kAllocAlignment - 1));
  if (total <= kBlockHeaderSize || total > mem_page_)
    return 0;

  SharedMetadata* const shared = shared_meta();
  uint32_t freeptr = LoadFreeOffset();
  for (;;) {
    if (IsCorrupt())
      return 0;
    if (static_cast<uint64_t>(freeptr) + total > mem_size_) {
      __atomic_fetch_or(&shared->flags, kFlagFull, __ATOMIC_ACQ_REL);
      return 0;
    }
    if (freeptr % kAllocAlignment != 0 || freeptr < kFirstBlock ||
        static_cast<uint64_t>(freeptr) + kBlockHeaderSize > mem_size_) {
      SetCorrupt();
      return 0;
    }

    const uint32_t page_free = mem_page_ - freeptr % mem_page_;
    if (total > page_free) {
      if (page_free <= kBlockHeaderSize) {
        SetCorrupt();
        return 0;
      }
      // Give the rest of the page up as a wasted block and start over on
      // the following one.
      const uint32_t wasted_at = freeptr;
      if (CompareAndSwap(&shared->freeptr, &freeptr, wasted_at + page_free)) {
        BlockHeader* const wasted =
            reinterpret_cast<BlockHeader*>(mem_base_ + wasted_at);
        wasted->size = page_free;
        wasted->cookie = kBlockCookieWasted;
        freeptr = wasted_at + page_free;
      }
      continue;
    }

    uint32_t block_size = total;
    if (page_free - total < kMinPageTail)
      block_size = page_free;
    if (static_cast<uint64_t>(freeptr) + block_size > mem_size_) {
      SetCorrupt();
      return 0;
    }
    const uint32_t block_at = freeptr;
    if (!CompareAndSwap(&shared->freeptr, &freeptr, block_at + block_size))
      continue;

    BlockHeader* const block =
        reinterpret_cast<BlockHeader*>(mem_base_ + block_at);
    if (block->size != 0 || block->cookie != kBlockCookieFree ||
        block->type_id != 0 || AtomicLoad(&block->next) != 0) {
      SetCorrupt();
      return 0;
    }
    block->size = block_size;
    block->cookie = kBlockCookieAllocated;
    AtomicStore(&block->type_id, type_id);
    return block_at;
  }
}

PersistentMemoryAllocator::BlockHeader* PersistentMemoryAllocator::GetBlock(
    Reference ref,
    uint32_t type_id,
    uint32_t size,
    bool queue_ok) const {
  if (ref % kAllocAlignment != 0)
    return nullptr;
  if (ref < (queue_ok ? kReferenceQueue : kFirstBlock))
    return nullptr;
  const uint64_t end = static_cast<uint64_t>(ref) + kBlockHeaderSize + size;
  if (end > mem_size_ || end > LoadFreeOffset())
    return nullptr;
  BlockHeader* const block = reinterpret_cast<BlockHeader*>(mem_base_ + ref);
  if (block->size < static_cast<uint64_t>(kBlockHeaderSize) + size)
    return nullptr;
  if (ref != kReferenceQueue && block->cookie != kBlockCookieAllocated)
    return nullptr;
  if (type_id != 0 && AtomicLoad(&block->type_id) != type_id)
    return nullptr;
  return block;
}

size_t PersistentMemoryAllocator::GetAllocSize(Reference ref) const {
  const BlockHeader* const block = GetBlock(ref, 0, 0, false);
  if (!block)
    return 0;
  const uint32_t size = block->size;
  if (size <= kBlockHeaderSize ||
      static_cast<uint64_t>(ref) + size > mem_size_) {
    SetCorrupt();
    return 0;
  }
  return size - kBlockHeaderSize;
}

char* PersistentMemoryAllocator::GetBlockData(Reference ref,
                                              uint32_t type_id,
                                              uint32_t size) const {
  BlockHeader* const block = GetBlock(ref, type_id, size, false);
  if (!block)
    return nullptr;
  return reinterpret_cast<char*>(block) + kBlockHeaderSize;
}

void PersistentMemoryAllocator::CreateIterator(Iterator* iter,
                                               Reference starting_after) const {
  iter->last = kReferenceQueue;
  iter->niter = 0;
  if (starting_after < kFirstBlock)
    return;
  const BlockHeader* const block = GetBlock(starting_after, 0, 0, false);
  if (block && AtomicLoad(&block->next) != 0)
    iter->last = starting_after;
}

PersistentMemoryAllocator::Reference PersistentMemoryAllocator::GetNextIterable(
    Iterator* iter,
    uint32_t* type_id) const {
  const BlockHeader* block = GetBlock(iter->last, 0, 0, true);
  if (!block)
    return 0;
  const Reference next = AtomicLoad(&block->next);
  block = GetBlock(next, 0, 0, false);
  if (!block)
    return 0;
  // More steps than blocks could fit in the used space: the queue loops.
  if (iter->niter > std::min(mem_size_, LoadFreeOffset()) / kMinQueueStride) {
    SetCorrupt();
    return 0;
  }
  ++iter->niter;
  iter->last = next;
  *type_id = AtomicLoad(&block->type_id);
  return next;
}

void PersistentMemoryAllocator::MakeIterable(Reference ref) {
  if (readonly_ || IsCorrupt())
    return;
  BlockHeader* const block = GetBlock(ref, 0, 0, false);
  if (!block)
    return;
  uint32_t link = 0;
  if (!CompareAndSwap(&block->next, &link, kReferenceQueue))
    return;

  SharedMetadata* const shared = shared_meta();
  uint32_t tail = AtomicLoad(&shared->tailptr);
  for (;;) {
    BlockHeader* const tail_block = GetBlock(tail, 0, 0, true);
    if (!tail_block) {
      SetCorrupt();
      return;
    }
    uint32_t tail_next = kReferenceQueue;
    if (CompareAndSwap(&tail_block->next, &tail_next, ref)) {
      CompareAndSwap(&shared->tailptr, &tail, ref);
      return;
    }
    // Another block was queued meanwhile: help move the tail to it.
    if (CompareAndSwap(&shared->tailptr, &tail, tail_next))
      tail = tail_next;
  }
}

void PersistentMemoryAllocator::ChangeType(Reference ref, uint32_t type_id) {
  if (readonly_)
    return;
  BlockHeader* const block = GetBlock(ref, 0, 0, false);
  if (block)
    AtomicStore(&block->type_id, type_id);
}

bool PersistentMemoryAllocator::IsCorrupt() const {
  if (corrupt_.load(std::memory_order_relaxed) ||
      (mem_size_ >= kFirstBlock &&
       (AtomicLoad(&shared_meta()->flags) & kFlagCorrupt))) {
    SetCorrupt();
    return true;
  }
  return false;
}

bool PersistentMemoryAllocator::IsFull() const {
  return mem_size_ >= kFirstBlock &&
         (AtomicLoad(&shared_meta()->flags) & kFlagFull) != 0;
}

void PersistentMemoryAllocator::SetCorrupt() const {
  LOG(ERROR) << "Corruption detected in shared-memory segment.";
  corrupt_.store(true, std::memory_order_relaxed);
  if (!readonly_ && mem_size_ >= kFirstBlock) {
    __atomic_fetch_or(&shared_meta()->flags, kFlagCorrupt, __ATOMIC_ACQ_REL);
  }
}

}  // namespace base
