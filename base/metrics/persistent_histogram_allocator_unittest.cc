#include "base/metrics/persistent_histogram_allocator.h"

#include <string.h>

#include <memory>
#include <vector>

#include "base/metrics/bucket_ranges.h"
#include "base/metrics/histogram.h"
#include "base/metrics/sparse_histogram.h"
#include "base/metrics/statistics_recorder.h"
#include "base/pickle.h"
#include "gtest/gtest.h"

namespace base {
namespace {

typedef PersistentHistogramAllocator::Reference Reference;

constexpr size_t kSegmentSize = 64 * 1024;

// A histogram allocator over a zeroed segment, installed as the global one
// while the test runs.
class PersistentHistogramTest : public testing::Test {
 protected:
  PersistentHistogramTest() : segment_(kSegmentSize, 0) {
    allocator_.reset(new PersistentHistogramAllocator(
        std::make_unique<PersistentMemoryAllocator>(
            segment_.data(), segment_.size(), 4096, false)));
  }

  ~PersistentHistogramTest() override {
    PersistentHistogramAllocator::SetGlobalAllocatorForTesting(nullptr);
  }

  PersistentMemoryAllocator* memory() { return allocator_->memory_allocator(); }

  // The reference of the |n|-th block of |type| in allocation order.
  Reference FindBlock(uint32_t type, int n) {
    for (Reference ref = PersistentMemoryAllocator::kFirstBlock;
         ref < kSegmentSize;) {
      uint32_t header[3];
      memcpy(header, segment_.data() + ref, sizeof(header));
      if (header[0] == 0)
        break;
      if (header[2] == type && n-- == 0)
        return ref;
      ref += header[0];
    }
    return 0;
  }

  std::vector<char> segment_;
  std::unique_ptr<PersistentHistogramAllocator> allocator_;
};

TEST_F(PersistentHistogramTest, BucketedHistogramLivesInTheSegment) {
  StatisticsRecorder recorder;
  PersistentHistogramAllocator::SetGlobalAllocatorForTesting(allocator_.get());
  HistogramBase* histogram =
      LinearHistogram::FactoryGet("Persistent", 1, 3, 4, 1);
  EXPECT_EQ(LINEAR_HISTOGRAM, histogram->GetHistogramType());
  EXPECT_TRUE(histogram->flags() & HistogramBase::kIsPersistent);
  histogram->AddCount(2, 3);

  // A second reader of the same segment sees the record and its counts.
  PersistentHistogramAllocator reader(
      std::make_unique<PersistentMemoryAllocator>(segment_.data(),
                                                  segment_.size(), 4096, true));
  PersistentMemoryAllocator::Iterator iter;
  reader.memory_allocator()->CreateIterator(&iter, 0);
  uint32_t type;
  Reference ref = 0;
  for (Reference next;
       (next = reader.memory_allocator()->GetNextIterable(&iter, &type));) {
    if (type == PersistentHistogramAllocator::kTypeIdHistogram)
      ref = next;
  }
  ASSERT_NE(0u, ref);
  std::unique_ptr<HistogramBase> copy = reader.GetHistogram(ref);
  ASSERT_TRUE(copy);
  EXPECT_EQ("Persistent", copy->histogram_name());
  EXPECT_TRUE(copy->HasConstructionArguments(1, 3, 4));
  EXPECT_EQ(3, copy->SnapshotSamples()->GetCount(2));
  EXPECT_EQ(6, copy->SnapshotSamples()->sum());
}

TEST_F(PersistentHistogramTest, SparseHistogramLivesInTheSegment) {
  PersistentHistogramAllocator::SetGlobalAllocatorForTesting(allocator_.get());
  HistogramBase* histogram = SparseHistogram::FactoryGet("PSparse", 0);
  histogram->Add(-4);
  histogram->AddCount(9, 2);
  histogram->Add(9);
  std::unique_ptr<HistogramSamples> snapshot = histogram->SnapshotSamples();
  EXPECT_EQ(1, snapshot->GetCount(-4));
  EXPECT_EQ(3, snapshot->GetCount(9));
  EXPECT_EQ(4, snapshot->TotalCount());
  // One record per value, none for the logged samples yet.
  EXPECT_NE(0u, FindBlock(0x8FE6A6A0, 1));
  EXPECT_EQ(0u, FindBlock(0x8FE6A6A0, 2));

  std::unique_ptr<HistogramSamples> delta = histogram->SnapshotDelta();
  EXPECT_EQ(4, delta->TotalCount());
  EXPECT_EQ(0, histogram->SnapshotDelta()->TotalCount());
}

TEST_F(PersistentHistogramTest, InvalidRangesAreRefused) {
  std::unique_ptr<BucketRanges> ranges(new BucketRanges(5));
  for (int i = 0; i < 4; ++i)
    ranges->set_range(i, i);
  ranges->set_range(4, HistogramBase::kSampleType_MAX);
  ranges->ResetChecksum();
  Reference ref = 0;
  ASSERT_TRUE(allocator_->AllocateHistogram(LINEAR_HISTOGRAM, "Ranges", 1, 3,
                                            ranges.get(), 0, &ref));
  ASSERT_NE(0u, ref);
  const Reference ranges_ref =
      FindBlock(PersistentHistogramAllocator::kTypeIdRangesArray, 0);
  HistogramBase::Sample* data = reinterpret_cast<HistogramBase::Sample*>(
      segment_.data() + ranges_ref + 16);

  // Each changed array, then the original again.
  const struct {
    int index;
    HistogramBase::Sample value;
  } kChanges[] = {{2, 1}, {1, 7}, {0, -1}, {4, 100}};
  for (const auto& change : kChanges) {
    const HistogramBase::Sample saved = data[change.index];
    data[change.index] = change.value;
    EXPECT_FALSE(allocator_->GetHistogram(ref)) << change.index;
    data[change.index] = saved;
  }
  EXPECT_TRUE(allocator_->GetHistogram(ref));

  // An unknown type code.
  int32_t* record = reinterpret_cast<int32_t*>(segment_.data() + ref + 16);
  record[0] = 9;
  EXPECT_FALSE(allocator_->GetHistogram(ref));
}

TEST_F(PersistentHistogramTest, CustomLayoutFromARecord) {
  std::unique_ptr<BucketRanges> ranges(new BucketRanges(5));
  const HistogramBase::Sample kRanges[] = {0, 1, 5, 10,
                                           HistogramBase::kSampleType_MAX};
  for (size_t i = 0; i < 5; ++i)
    ranges->set_range(i, kRanges[i]);
  ranges->ResetChecksum();
  Reference ref = 0;
  std::unique_ptr<HistogramBase> histogram = allocator_->AllocateHistogram(
      CUSTOM_HISTOGRAM, "Custom", 1, 10, ranges.get(), 0, &ref);
  ASSERT_TRUE(histogram);
  EXPECT_EQ(CUSTOM_HISTOGRAM, histogram->GetHistogramType());
  EXPECT_TRUE(histogram->HasConstructionArguments(1, 10, 4));
  histogram->Add(7);
  EXPECT_EQ(1, histogram->SnapshotSamples()->GetCount(5));

  // The serialised form carries the inner ranges.
  Pickle pickle;
  ASSERT_TRUE(static_cast<Histogram*>(histogram.get())->SerializeInfo(&pickle));
  PickleIterator iter(pickle);
  std::string name;
  ASSERT_TRUE(iter.ReadString(&name));
  int field;
  // Flags, minimum, maximum, bucket count and checksum come first.
  for (int i = 0; i < 5; ++i)
    ASSERT_TRUE(iter.ReadInt(&field));
  for (int expected : {1, 5, 10}) {
    ASSERT_TRUE(iter.ReadInt(&field));
    EXPECT_EQ(expected, field);
  }
  EXPECT_FALSE(iter.ReadInt(&field));
}

TEST_F(PersistentHistogramTest, FullSegmentFallsBackToTheHeap) {
  std::vector<char> small(512, 0);
  PersistentHistogramAllocator tiny(std::make_unique<PersistentMemoryAllocator>(
      small.data(), small.size(), 512, false));
  PersistentHistogramAllocator::SetGlobalAllocatorForTesting(&tiny);
  HistogramBase* histogram = Histogram::FactoryGet("TooBig", 1, 1000, 50, 0);
  EXPECT_FALSE(histogram->flags() & HistogramBase::kIsPersistent);
  histogram->Add(5);
  EXPECT_EQ(1, histogram->SnapshotSamples()->TotalCount());
  EXPECT_TRUE(tiny.memory_allocator()->IsFull());
}

TEST_F(PersistentHistogramTest, ImportRegistersOthersHistograms) {
  // Another user of the segment publishes a histogram...
  std::unique_ptr<BucketRanges> ranges(new BucketRanges(5));
  Histogram::InitializeBucketRanges(1, 10, ranges.get());
  PersistentHistogramAllocator other(
      std::make_unique<PersistentMemoryAllocator>(
          segment_.data(), segment_.size(), 4096, false));
  Reference ref = 0;
  std::unique_ptr<HistogramBase> published = other.AllocateHistogram(
      HISTOGRAM, "Published", 1, 10, ranges.get(), 0, &ref);
  ASSERT_TRUE(published);
  other.FinalizeHistogram(ref, true);
  published->AddCount(4, 2);

  // ...and the factory finds it through the registry.
  StatisticsRecorder recorder;
  PersistentHistogramAllocator::SetGlobalAllocatorForTesting(allocator_.get());
  HistogramBase* found = Histogram::FactoryGet("Published", 1, 10, 4, 0);
  EXPECT_EQ(2, found->SnapshotSamples()->GetCount(4));
}

}  // namespace
}  // namespace base
