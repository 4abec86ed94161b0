#include "base/metrics/persistent_memory_allocator.h"

#include <string.h>

#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

typedef PersistentMemoryAllocator::Reference Reference;

uint32_t WordAt(const std::vector<char>& segment, size_t offset) {
  uint32_t word;
  memcpy(&word, segment.data() + offset, sizeof(word));
  return word;
}

void SetWord(std::vector<char>* segment, size_t offset, uint32_t word) {
  memcpy(segment->data() + offset, &word, sizeof(word));
}

// A zeroed segment of |size| bytes, in pages of |page| bytes.
class AllocatorTest : public testing::Test {
 protected:
  void Make(size_t size, size_t page, uint32_t free_offset = 0) {
    segment_.assign(size, 0);
    allocator_.reset(
        new PersistentMemoryAllocator(segment_.data(), size, page, false));
    if (free_offset)
      SetWord(&segment_, 32, free_offset);
  }

  std::vector<char> segment_;
  std::unique_ptr<PersistentMemoryAllocator> allocator_;
};

TEST_F(AllocatorTest, FirstAllocation) {
  Make(4096, 4096);
  EXPECT_EQ(56u, WordAt(segment_, 32));
  EXPECT_EQ(40u, WordAt(segment_, 36));
  const Reference ref = allocator_->Allocate(100, 7);
  EXPECT_EQ(56u, ref);
  EXPECT_EQ(120u, WordAt(segment_, 56));
  EXPECT_EQ(0xC8799269u, WordAt(segment_, 60));
  EXPECT_EQ(7u, WordAt(segment_, 64));
  EXPECT_EQ(176u, WordAt(segment_, 32));
  EXPECT_EQ(104u, allocator_->GetAllocSize(ref));
  EXPECT_NE(nullptr, allocator_->GetBlockData(ref, 7, 104));
  EXPECT_EQ(nullptr, allocator_->GetBlockData(ref, 7, 105));
  EXPECT_EQ(nullptr, allocator_->GetBlockData(ref, 8, 4));
  EXPECT_EQ(nullptr, allocator_->GetBlockData(ref + 8, 0, 4));
}

TEST_F(AllocatorTest, PageTailIsWasted) {
  Make(8192, 4096, 4000);
  EXPECT_EQ(4096u, allocator_->Allocate(100, 1));
  EXPECT_EQ(96u, WordAt(segment_, 4000));
  EXPECT_EQ(0xFFFFFFFFu, WordAt(segment_, 4004));
  EXPECT_EQ(4216u, WordAt(segment_, 32));

  Make(4096, 4096, 4000);
  EXPECT_EQ(0u, allocator_->Allocate(100, 1));
  EXPECT_TRUE(allocator_->IsFull());
  EXPECT_FALSE(allocator_->IsCorrupt());
}

TEST_F(AllocatorTest, ShortTailsJoinTheBlock) {
  // 4096 - 3968 = 128 bytes left; a 120-byte block would leave 8.
  Make(8192, 4096, 3968);
  EXPECT_EQ(3968u, allocator_->Allocate(100, 1));
  EXPECT_EQ(128u, WordAt(segment_, 3968));
  EXPECT_EQ(4096u, WordAt(segment_, 32));
}

TEST_F(AllocatorTest, BoundaryFits) {
  // A block that ends exactly at the end of the segment.
  Make(4096, 4096);
  EXPECT_EQ(56u, allocator_->Allocate(4024, 1));
  EXPECT_EQ(4096u, WordAt(segment_, 32));
  EXPECT_NE(nullptr, allocator_->GetBlockData(56, 1, 4024));
  EXPECT_FALSE(allocator_->IsFull());
  EXPECT_EQ(0u, allocator_->Allocate(8, 1));
  EXPECT_TRUE(allocator_->IsFull());

  // A block of a whole page.
  Make(8192, 4096, 4096);
  EXPECT_EQ(4096u, allocator_->Allocate(4080, 1));
  EXPECT_EQ(4096u, WordAt(segment_, 4096));

  // A tail of exactly 24 bytes is left to the page.
  Make(8192, 4096, 3968);
  EXPECT_EQ(3968u, allocator_->Allocate(88, 1));
  EXPECT_EQ(104u, WordAt(segment_, 3968));
  EXPECT_EQ(4072u, WordAt(segment_, 32));
}

TEST_F(AllocatorTest, PageEndsTooShortForAHeaderAreCorruption) {
  Make(8192, 4096, 4080);
  EXPECT_EQ(0u, allocator_->Allocate(100, 1));
  EXPECT_TRUE(allocator_->IsCorrupt());

  // A block that would run past a segment that ends inside a page.
  Make(4090, 4096, 4000);
  EXPECT_EQ(0u, allocator_->Allocate(64, 1));
  EXPECT_TRUE(allocator_->IsCorrupt());
}

TEST_F(AllocatorTest, HeaderOnlyBlockIsCorruption) {
  Make(4096, 4096);
  const Reference ref = allocator_->Allocate(8, 1);
  SetWord(&segment_, ref, 16);
  EXPECT_EQ(0u, allocator_->GetAllocSize(ref));
  EXPECT_TRUE(allocator_->IsCorrupt());
}

TEST_F(AllocatorTest, SegmentSmallerThanItsHeader) {
  std::vector<char> tiny(32, 0);
  PersistentMemoryAllocator allocator(tiny.data(), tiny.size(), 0, false);
  EXPECT_TRUE(allocator.IsCorrupt());
  EXPECT_EQ(0u, allocator.Allocate(8, 1));
  EXPECT_EQ(std::vector<char>(32, 0), tiny);
}

TEST_F(AllocatorTest, BrokenQueueTailIsCorruption) {
  Make(4096, 4096);
  const Reference ref = allocator_->Allocate(8, 1);
  SetWord(&segment_, 36, 60);  // A tail that names no block.
  allocator_->MakeIterable(ref);
  EXPECT_TRUE(allocator_->IsCorrupt());
}

TEST_F(AllocatorTest, RefusedSizes) {
  Make(4096, 4096);
  EXPECT_EQ(0u, allocator_->Allocate(0, 1));
  EXPECT_EQ(0u, allocator_->Allocate(0x3FFFFFF1, 1));
  EXPECT_EQ(0u, allocator_->Allocate(4096, 1));
  EXPECT_FALSE(allocator_->IsCorrupt());
}

TEST_F(AllocatorTest, QueueOrderAndRequeue) {
  Make(4096, 4096);
  const Reference a = allocator_->Allocate(8, 1);
  const Reference b = allocator_->Allocate(8, 2);
  const Reference c = allocator_->Allocate(8, 3);
  allocator_->MakeIterable(b);
  allocator_->MakeIterable(a);
  allocator_->MakeIterable(b);
  PersistentMemoryAllocator::Iterator iter;
  allocator_->CreateIterator(&iter, 0);
  uint32_t type;
  EXPECT_EQ(b, allocator_->GetNextIterable(&iter, &type));
  EXPECT_EQ(2u, type);
  EXPECT_EQ(a, allocator_->GetNextIterable(&iter, &type));
  EXPECT_EQ(0u, allocator_->GetNextIterable(&iter, &type));
  // The iterator keeps its place and sees what is queued later.
  allocator_->MakeIterable(c);
  EXPECT_EQ(c, allocator_->GetNextIterable(&iter, &type));

  PersistentMemoryAllocator::Iterator after_b;
  allocator_->CreateIterator(&after_b, b);
  EXPECT_EQ(a, allocator_->GetNextIterable(&after_b, &type));
  allocator_->ChangeType(a, 9);
  allocator_->CreateIterator(&after_b, b);
  allocator_->GetNextIterable(&after_b, &type);
  EXPECT_EQ(9u, type);
}

TEST_F(AllocatorTest, QueueLoopIsCorruption) {
  Make(4096, 4096);
  const Reference a = allocator_->Allocate(8, 1);
  const Reference b = allocator_->Allocate(8, 1);
  allocator_->MakeIterable(a);
  allocator_->MakeIterable(b);
  SetWord(&segment_, b + 12, a);  // b's link back to a.
  PersistentMemoryAllocator::Iterator iter;
  allocator_->CreateIterator(&iter, 0);
  uint32_t type;
  int steps = 0;
  while (allocator_->GetNextIterable(&iter, &type))
    ++steps;
  EXPECT_EQ(static_cast<int>(WordAt(segment_, 32) / 24) + 1, steps);
  EXPECT_TRUE(allocator_->IsCorrupt());
  EXPECT_EQ(1u, WordAt(segment_, 28) & 1);
  EXPECT_EQ(0u, allocator_->Allocate(8, 1));
}

TEST_F(AllocatorTest, DirtyFreeSpaceIsCorruption) {
  Make(4096, 4096);
  SetWord(&segment_, 56 + 8, 5);
  EXPECT_EQ(0u, allocator_->Allocate(8, 1));
  EXPECT_TRUE(allocator_->IsCorrupt());
}

TEST_F(AllocatorTest, BadFreeOffsetIsCorruption) {
  Make(4096, 4096, 60);
  EXPECT_EQ(0u, allocator_->Allocate(8, 1));
  EXPECT_TRUE(allocator_->IsCorrupt());
}

TEST_F(AllocatorTest, BlockSizesNearTheTopOfTheAddressRange) {
  // A block whose size runs past the segment must not pass the checks,
  // however large the size is.
  Make(4096, 4096);
  const Reference ref = allocator_->Allocate(8, 1);
  SetWord(&segment_, ref, 0xFFFFFFF8);
  EXPECT_EQ(0u, allocator_->GetAllocSize(ref));
  EXPECT_TRUE(allocator_->IsCorrupt());
  EXPECT_EQ(nullptr, allocator_->GetBlockData(ref, 0, 0xFFFFFFF0));
}

TEST_F(AllocatorTest, ReadOnlySegmentIsNeverWritten) {
  std::vector<char> zeroed(4096, 0);
  PersistentMemoryAllocator zeroed_reader(zeroed.data(), zeroed.size(), 4096,
                                          true);
  EXPECT_EQ(std::vector<char>(4096, 0), zeroed);

  Make(4096, 4096);
  allocator_->Allocate(8, 1);
  const std::vector<char> before = segment_;
  PersistentMemoryAllocator reader(segment_.data(), 4096, 4096, true);
  EXPECT_EQ(0u, reader.Allocate(8, 1));
  reader.SetCorrupt();
  EXPECT_TRUE(reader.IsCorrupt());
  EXPECT_EQ(before, segment_);
}

}  // namespace
}  // namespace base
