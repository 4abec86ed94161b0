#include "base/metrics/sparse_histogram.h"

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/metrics/histogram.h"
#include "base/metrics/sample_map.h"
#include "base/pickle.h"
#include "gtest/gtest.h"

namespace base {
namespace {

TEST(SampleMapTest, AccumulateAndIterate) {
  SampleMap samples(1);
  samples.Accumulate(-5, 1);
  samples.Accumulate(-5, 1);
  samples.Accumulate(7, 1);
  samples.Accumulate(3, 0);
  EXPECT_EQ(2, samples.GetCount(-5));
  EXPECT_EQ(0, samples.GetCount(8));
  EXPECT_EQ(3, samples.TotalCount());
  EXPECT_EQ(-3, samples.sum());

  // Entries with no count are passed over.
  std::vector<int> seen;
  HistogramBase::Sample min;
  HistogramBase::Sample max;
  HistogramBase::Count count;
  for (std::unique_ptr<SampleCountIterator> it = samples.Iterator();
       !it->Done(); it->Advance()) {
    it->Get(&min, &max, &count);
    EXPECT_EQ(min + 1, max);
    seen.insert(seen.end(), {min, count});
  }
  EXPECT_EQ((std::vector<int>{-5, 2, 7, 1}), seen);
}

TEST(SampleMapTest, LargestValueAndBadItems) {
  SampleMap samples(1);
  samples.Accumulate(0x7FFFFFFF, 1);
  SampleMap copy(1);
  copy.Add(samples);
  EXPECT_EQ(1, copy.GetCount(0x7FFFFFFF));

  Pickle pickle;
  pickle.Write8Bytes(0);
  pickle.Write4Bytes(0);
  for (int field : {4, 5, 1, 10, 12, 1})
    pickle.Write4Bytes(field);
  PickleIterator iter(pickle);
  EXPECT_FALSE(copy.AddFromPickle(&iter));
  EXPECT_EQ(1, copy.GetCount(4));
  EXPECT_EQ(0, copy.GetCount(10));
}

TEST(SparseHistogramTest, RecordsExactValues) {
  HistogramBase* histogram = SparseHistogram::FactoryGet("Sparse", 1);
  EXPECT_EQ(SPARSE_HISTOGRAM, histogram->GetHistogramType());
  EXPECT_FALSE(histogram->HasConstructionArguments(0, 0, 0));
  EXPECT_NE(histogram, SparseHistogram::FactoryGet("Sparse", 1));
  histogram->Add(-5);
  histogram->Add(-5);
  histogram->Add(7);
  histogram->AddCount(9, 0);
  std::unique_ptr<HistogramSamples> snapshot = histogram->SnapshotSamples();
  EXPECT_EQ(2, snapshot->GetCount(-5));
  EXPECT_EQ(0, snapshot->GetCount(9));
  EXPECT_EQ(-3, snapshot->sum());

  const std::string expected =
      "Histogram: Sparse recorded 3 samples (flags = 0x1)\n"
      "-5 " +
      std::string(72, '-') +
      "O (2 = 66.7%)\n"
      "7  " +
      std::string(36, '-') + "O" + std::string(36, ' ') + " (1 = 33.3%)\n";
  std::string output;
  histogram->WriteAscii(&output);
  EXPECT_EQ(expected, output);
}

TEST(SparseHistogramTest, SnapshotDelta) {
  HistogramBase* histogram = SparseHistogram::FactoryGet("SparseDelta", 0);
  histogram->AddCount(3, 2);
  std::unique_ptr<HistogramSamples> first = histogram->SnapshotDelta();
  EXPECT_EQ(2, first->GetCount(3));
  std::unique_ptr<HistogramSamples> second = histogram->SnapshotDelta();
  EXPECT_EQ(0, second->sum());
  EXPECT_EQ(0, second->redundant_count());
  EXPECT_TRUE(second->Iterator()->Done());
  histogram->Add(4);
  std::unique_ptr<HistogramSamples> third = histogram->SnapshotDelta();
  EXPECT_EQ(1, third->TotalCount());
  EXPECT_EQ(1, third->GetCount(4));
}

TEST(SparseHistogramTest, SerializedInfo) {
  HistogramBase* histogram = SparseHistogram::FactoryGet("SparseInfo", 3);
  Pickle samples_pickle;
  histogram->Add(11);
  ASSERT_TRUE(histogram->SnapshotSamples()->Serialize(&samples_pickle));
  PickleIterator iter(samples_pickle);
  HistogramBase* copy = SparseHistogram::FactoryGet("SparseCopy", 0);
  EXPECT_TRUE(copy->AddSamplesFromPickle(&iter));
  EXPECT_EQ(1, copy->SnapshotSamples()->GetCount(11));
}

// Recording from several threads at once loses nothing, in either kind of
// histogram.
TEST(HistogramThreadTest, ConcurrentRecordingIsExact) {
  HistogramBase* const histograms[] = {
      Histogram::FactoryGet("Concurrent", 1, 1000, 20, 0),
      SparseHistogram::FactoryGet("ConcurrentSparse", 0)};
  constexpr int kThreads = 4;
  constexpr int kAdds = 20000;
  for (HistogramBase* histogram : histograms) {
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([histogram, t] {
        for (int i = 0; i < kAdds; ++i)
          histogram->Add(1 + t);
      });
    }
    for (std::thread& thread : threads)
      thread.join();
    std::unique_ptr<HistogramSamples> snapshot = histogram->SnapshotSamples();
    EXPECT_EQ(kThreads * kAdds, snapshot->TotalCount());
    EXPECT_EQ(kThreads * kAdds, snapshot->redundant_count());
    EXPECT_EQ(kAdds * (1 + 2 + 3 + 4), snapshot->sum());
  }
}

}  // namespace
}  // namespace base
