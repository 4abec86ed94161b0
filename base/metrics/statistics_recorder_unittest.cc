#include "base/metrics/statistics_recorder.h"

#include <memory>
#include <vector>

#include "base/bind.h"
#include "base/metrics/bucket_ranges.h"
#include "base/metrics/histogram.h"
#include "base/metrics/sparse_histogram.h"
#include "gtest/gtest.h"

namespace base {
namespace {

BucketRanges* MakeRanges(std::vector<HistogramBase::Sample> values,
                         uint32_t checksum) {
  BucketRanges* ranges = new BucketRanges(values.size());
  for (size_t i = 0; i < values.size(); ++i)
    ranges->set_range(i, values[i]);
  ranges->set_checksum(checksum);
  return ranges;
}

TEST(StatisticsRecorderTest, AbsentRegistry) {
  ASSERT_FALSE(StatisticsRecorder::IsActive());
  EXPECT_EQ(nullptr, StatisticsRecorder::FindHistogram("Anything"));
  std::unique_ptr<HistogramBase> histogram(
      SparseHistogram::FactoryGet("Absent", 0));
  EXPECT_EQ(histogram.get(),
            StatisticsRecorder::RegisterOrDeleteDuplicate(histogram.get()));
  std::unique_ptr<BucketRanges> ranges(MakeRanges({0, 1, 5}, 1));
  EXPECT_EQ(ranges.get(),
            StatisticsRecorder::RegisterOrDeleteDuplicateRanges(ranges.get()));
  EXPECT_TRUE(StatisticsRecorder::FindCallback("Absent").is_null());
}

TEST(StatisticsRecorderTest, OneHistogramPerName) {
  StatisticsRecorder recorder;
  EXPECT_TRUE(StatisticsRecorder::IsActive());
  HistogramBase* first = Histogram::FactoryGet("Registered", 1, 100, 10, 0);
  EXPECT_EQ(first, Histogram::FactoryGet("Registered", 1, 100, 10, 0));
  EXPECT_EQ(first, StatisticsRecorder::FindHistogram("Registered"));
  EXPECT_EQ(first, StatisticsRecorder::RegisterOrDeleteDuplicate(first));

  HistogramBase* sparse = SparseHistogram::FactoryGet("RegisteredSparse", 0);
  EXPECT_EQ(sparse, SparseHistogram::FactoryGet("RegisteredSparse", 0));

  // Equal layouts are shared.
  const Histogram* a = static_cast<const Histogram*>(
      Histogram::FactoryGet("LayoutA", 1, 100, 10, 0));
  const Histogram* b = static_cast<const Histogram*>(
      Histogram::FactoryGet("LayoutB", 1, 100, 10, 0));
  EXPECT_EQ(a->bucket_ranges(), b->bucket_ranges());
}

TEST(StatisticsRecorderTest, RangesWithEqualChecksums) {
  StatisticsRecorder recorder;
  const BucketRanges* first =
      StatisticsRecorder::RegisterOrDeleteDuplicateRanges(
          MakeRanges({0, 1, 5}, 42));
  const BucketRanges* second =
      StatisticsRecorder::RegisterOrDeleteDuplicateRanges(
          MakeRanges({0, 2, 5}, 42));
  EXPECT_NE(first, second);
  EXPECT_EQ(second, StatisticsRecorder::RegisterOrDeleteDuplicateRanges(
                        MakeRanges({0, 2, 5}, 42)));
  EXPECT_EQ(first, StatisticsRecorder::RegisterOrDeleteDuplicateRanges(first));
}

void CountSample(std::vector<int>* seen, HistogramBase::Sample sample) {
  seen->push_back(sample);
}

TEST(StatisticsRecorderTest, Callbacks) {
  StatisticsRecorder recorder;
  std::vector<int> seen;
  StatisticsRecorder::SetCallback("WithCallback", Bind(&CountSample, &seen));
  HistogramBase* histogram =
      LinearHistogram::FactoryGet("WithCallback", 1, 10, 11, 0);
  EXPECT_TRUE(histogram->flags() & HistogramBase::kCallbackExists);
  histogram->Add(3);
  histogram->AddCount(4, 0);
  SparseHistogram::FactoryGet("WithCallback2", 0)->Add(5);
  EXPECT_EQ(std::vector<int>{3}, seen);
}

TEST(StatisticsRecorderTest, NullCallbackClearsTheMark) {
  HistogramBase* histogram = SparseHistogram::FactoryGet("NullCallback", 0);
  histogram->SetFlags(HistogramBase::kCallbackExists);
  StatisticsRecorder recorder;
  StatisticsRecorder::SetCallback("NullCallback",
                                  StatisticsRecorder::OnSampleCallback());
  EXPECT_EQ(histogram,
            StatisticsRecorder::RegisterOrDeleteDuplicate(histogram));
  EXPECT_FALSE(histogram->flags() & HistogramBase::kCallbackExists);
  EXPECT_TRUE(StatisticsRecorder::FindCallback("NullCallback").is_null());
}

}  // namespace
}  // namespace base
