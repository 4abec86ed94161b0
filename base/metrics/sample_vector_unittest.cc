#include "base/metrics/sample_vector.h"

#include <memory>

#include "base/metrics/bucket_ranges.h"
#include "base/pickle.h"
#include "gtest/gtest.h"

namespace base {
namespace {

// Ranges 0, 1, 2, 3, 0x7FFFFFFF: four buckets.
class SampleVectorTest : public testing::Test {
 protected:
  SampleVectorTest() : ranges_(5) {
    const HistogramBase::Sample kRanges[] = {0, 1, 2, 3, 0x7FFFFFFF};
    for (size_t i = 0; i < 5; ++i)
      ranges_.set_range(i, kRanges[i]);
    ranges_.ResetChecksum();
  }

  BucketRanges ranges_;
};

TEST_F(SampleVectorTest, BucketLookup) {
  SampleVector samples(1, &ranges_);
  samples.Accumulate(0, 1);
  samples.Accumulate(3, 2);
  samples.Accumulate(1000000, 4);
  EXPECT_EQ(1, samples.GetCountAtIndex(0));
  EXPECT_EQ(0, samples.GetCountAtIndex(1));
  EXPECT_EQ(6, samples.GetCountAtIndex(3));
  EXPECT_EQ(6, samples.GetCount(5));
  EXPECT_EQ(7, samples.TotalCount());
  EXPECT_EQ(7, samples.redundant_count());
  EXPECT_EQ(6 + 4000000, samples.sum());
}

TEST_F(SampleVectorTest, Checksum) {
  // Seeded with the number of ranges: the same ranges, one fewer, differ.
  EXPECT_TRUE(ranges_.HasValidChecksum());
  EXPECT_NE(0u, ranges_.checksum());
  BucketRanges empty(0);
  EXPECT_EQ(0u, empty.CalculateChecksum());

  BucketRanges other(5);
  for (size_t i = 0; i < 5; ++i)
    other.set_range(i, ranges_.range(i));
  // Equal ranges, but not yet checksummed.
  EXPECT_FALSE(other.Equals(&ranges_));
  other.ResetChecksum();
  EXPECT_TRUE(other.Equals(&ranges_));
  for (size_t i = 0; i < 5; ++i) {
    other.set_range(i, ranges_.range(i) ^ 0x10);
    EXPECT_NE(ranges_.checksum(), other.CalculateChecksum()) << i;
    other.set_range(i, ranges_.range(i));
  }
}

TEST_F(SampleVectorTest, SerializeAndReadBack) {
  SampleVector samples(1, &ranges_);
  samples.Accumulate(1, 3);
  samples.Accumulate(3, 2);
  Pickle pickle;
  ASSERT_TRUE(samples.Serialize(&pickle));

  PickleIterator iter(pickle);
  int64_t sum;
  int fields[7];
  ASSERT_TRUE(iter.ReadInt64(&sum));
  for (int& field : fields)
    ASSERT_TRUE(iter.ReadInt(&field));
  EXPECT_EQ(9, sum);
  const int kExpected[] = {5, 1, 2, 3, 3, 0x7FFFFFFF, 2};
  for (int i = 0; i < 7; ++i)
    EXPECT_EQ(kExpected[i], fields[i]) << i;

  SampleVector copy(1, &ranges_);
  PickleIterator read(pickle);
  EXPECT_TRUE(copy.AddFromPickle(&read));
  for (size_t i = 0; i < 4; ++i)
    EXPECT_EQ(samples.GetCountAtIndex(i), copy.GetCountAtIndex(i));
  EXPECT_EQ(samples.sum(), copy.sum());
  EXPECT_EQ(samples.redundant_count(), copy.redundant_count());
}

TEST_F(SampleVectorTest, TruncatedPickleAddsCompleteItems) {
  Pickle pickle;
  pickle.Write8Bytes(4);
  pickle.Write4Bytes(2);
  pickle.Write4Bytes(1);
  pickle.Write4Bytes(2);
  pickle.Write4Bytes(2);
  pickle.Write4Bytes(3);  // A triple cut short.
  SampleVector samples(1, &ranges_);
  PickleIterator iter(pickle);
  EXPECT_TRUE(samples.AddFromPickle(&iter));
  EXPECT_EQ(2, samples.GetCountAtIndex(1));
  EXPECT_EQ(0, samples.GetCountAtIndex(3));
  EXPECT_EQ(4, samples.sum());

  // Without the sum and redundant count nothing is read.
  Pickle short_pickle;
  short_pickle.Write8Bytes(4);
  PickleIterator short_iter(short_pickle);
  EXPECT_FALSE(samples.AddFromPickle(&short_iter));
  EXPECT_EQ(4, samples.sum());
}

TEST_F(SampleVectorTest, ItemsThatFitNoBucketAreRefused) {
  BucketRanges wide(4);
  const HistogramBase::Sample kRanges[] = {0, 5, 10, 0x7FFFFFFF};
  for (size_t i = 0; i < 4; ++i)
    wide.set_range(i, kRanges[i]);
  wide.ResetChecksum();
  Pickle pickle;
  pickle.Write8Bytes(0);
  pickle.Write4Bytes(0);
  for (int field : {0, 5, 1, 5, 9, 1})
    pickle.Write4Bytes(field);
  SampleVector samples(1, &wide);
  PickleIterator iter(pickle);
  EXPECT_FALSE(samples.AddFromPickle(&iter));
  // The item before the bad one stays applied.
  EXPECT_EQ(1, samples.GetCountAtIndex(0));
  EXPECT_EQ(0, samples.GetCountAtIndex(1));
}

TEST_F(SampleVectorTest, SubtractAndIterate) {
  SampleVector samples(1, &ranges_);
  samples.Accumulate(1, 4);
  samples.Accumulate(2, 1);
  SampleVector part(1, &ranges_);
  part.Accumulate(2, 1);
  samples.Subtract(part);
  EXPECT_EQ(4, samples.TotalCount());
  EXPECT_EQ(4, samples.sum());

  std::unique_ptr<SampleCountIterator> it = samples.Iterator();
  ASSERT_FALSE(it->Done());
  HistogramBase::Sample min;
  HistogramBase::Sample max;
  HistogramBase::Count count;
  size_t index;
  it->Get(&min, &max, &count);
  EXPECT_TRUE(it->GetBucketIndex(&index));
  EXPECT_EQ(1u, index);
  EXPECT_EQ(1, min);
  EXPECT_EQ(2, max);
  EXPECT_EQ(4, count);
  it->Advance();
  EXPECT_TRUE(it->Done());
}

TEST_F(SampleVectorTest, ExternalCountsAndMetadata) {
  HistogramBase::Count counts[4] = {0, 0, 0, 0};
  HistogramSamples::Metadata meta = {};
  meta.id = 0;
  SampleVector samples(77, counts, 1, &meta, &ranges_);
  EXPECT_EQ(77u, meta.id);
  samples.Accumulate(2, 3);
  EXPECT_EQ(3, counts[2]);
  EXPECT_EQ(6, meta.sum);
  EXPECT_EQ(3, meta.redundant_count);

  // A stored id is kept.
  SampleVector again(99, counts, 4, &meta, &ranges_);
  EXPECT_EQ(77u, again.id());
  EXPECT_EQ(3, again.TotalCount());
}

}  // namespace
}  // namespace base
