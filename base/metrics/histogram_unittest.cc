#include "base/metrics/histogram.h"

#include <memory>
#include <string>
#include <vector>

#include "base/metrics/bucket_ranges.h"
#include "base/metrics/histogram_samples.h"
#include "base/metrics/metrics_hashes.h"
#include "base/metrics/sample_vector.h"
#include "base/metrics/statistics_recorder.h"
#include "base/pickle.h"
#include "base/values.h"
#include "gtest/gtest.h"

namespace base {
namespace {

const int32_t kFlags = HistogramBase::kReportedHistogramFlag;

std::vector<HistogramBase::Sample> RangesOf(const HistogramBase* histogram) {
  const Histogram* bucketed = static_cast<const Histogram*>(histogram);
  std::vector<HistogramBase::Sample> ranges;
  for (size_t i = 0; i < bucketed->bucket_ranges()->size(); ++i)
    ranges.push_back(bucketed->bucket_ranges()->range(i));
  return ranges;
}

std::string Ascii(const HistogramBase* histogram) {
  std::string output;
  histogram->WriteAscii(&output);
  return output;
}

TEST(HistogramTest, ExponentialRanges) {
  const std::vector<HistogramBase::Sample> expected = {
      0,    1,    2,    3,    4,    5,     6,         7,    8,    10,   12,
      14,   17,   20,   24,   29,   34,    40,        48,   57,   68,   81,
      96,   114,  135,  160,  190,  226,   268,       318,  378,  449,  533,
      633,  752,  894,  1062, 1262, 1500,  1782,      2117, 2516, 2990, 3553,
      4222, 5017, 5961, 7083, 8416, 10000, 0x7FFFFFFF};
  EXPECT_EQ(expected,
            RangesOf(Histogram::FactoryGet("Exp", 1, 10000, 50, kFlags)));
  // A minimum below 1 is raised to 1.
  EXPECT_EQ(expected,
            RangesOf(Histogram::FactoryGet("Exp0", 0, 10000, 50, kFlags)));
}

TEST(HistogramTest, LinearRanges) {
  EXPECT_EQ((std::vector<HistogramBase::Sample>{0, 1, 2, 3, 0x7FFFFFFF}),
            RangesOf(LinearHistogram::FactoryGet("Lin", 1, 3, 4, kFlags)));
  const std::vector<HistogramBase::Sample> ranges =
      RangesOf(LinearHistogram::FactoryGet("Lin1100", 1, 1099, 1100, kFlags));
  ASSERT_EQ(1101u, ranges.size());
  for (int i = 0; i < 1100; ++i)
    EXPECT_EQ(i, ranges[i]);
  EXPECT_EQ(0x7FFFFFFF, ranges[1100]);
}

TEST(HistogramTest, ConstructionArgumentsAreClamped) {
  HistogramBase* histogram =
      Histogram::FactoryGet("Clamped", 1, 0x7FFFFFFF, 20000, kFlags);
  const Histogram* bucketed = static_cast<const Histogram*>(histogram);
  EXPECT_EQ(16383u, bucketed->bucket_count());
  EXPECT_EQ(0x7FFFFFFE, bucketed->declared_max());
  EXPECT_TRUE(histogram->HasConstructionArguments(1, 0x7FFFFFFE, 16383));
  EXPECT_FALSE(histogram->HasConstructionArguments(1, 0x7FFFFFFE, 16382));

  HistogramBase* timed =
      Histogram::FactoryTimeGet("Timed", TimeDelta::FromMilliseconds(1),
                                TimeDelta::FromSeconds(10), 50, kFlags);
  EXPECT_TRUE(timed->HasConstructionArguments(1, 10000, 50));
  EXPECT_EQ(HISTOGRAM, timed->GetHistogramType());
  EXPECT_EQ(HashMetricName("Timed"), timed->name_hash());
}

TEST(HistogramTest, WithoutRegistryEachCallBuildsANewHistogram) {
  ASSERT_FALSE(StatisticsRecorder::IsActive());
  HistogramBase* first = Histogram::FactoryGet("Same", 1, 100, 10, kFlags);
  HistogramBase* second = Histogram::FactoryGet("Same", 1, 100, 10, kFlags);
  EXPECT_NE(first, second);
  EXPECT_EQ(kFlags, first->flags());
}

TEST(HistogramTest, SamplesAreClampedAndCountsChecked) {
  HistogramBase* histogram = LinearHistogram::FactoryGet("Add", 1, 3, 4, 0);
  histogram->Add(-7);
  histogram->Add(0x7FFFFFFF);
  histogram->AddCount(2, 0);
  histogram->AddCount(2, -3);
  histogram->AddCount(2, 5);
  histogram->AddTime(TimeDelta::FromMicroseconds(1999));

  std::unique_ptr<HistogramSamples> snapshot = histogram->SnapshotSamples();
  EXPECT_EQ(1, snapshot->GetCount(0));
  EXPECT_EQ(1, snapshot->GetCount(0x7FFFFFFE));
  EXPECT_EQ(5, snapshot->GetCount(2));
  EXPECT_EQ(1, snapshot->GetCount(1));
  EXPECT_EQ(8, snapshot->TotalCount());
  EXPECT_EQ(8, snapshot->redundant_count());
  EXPECT_EQ(0x7FFFFFFEll + 10 + 1, snapshot->sum());
}

TEST(HistogramTest, SnapshotDeltaReturnsWhatIsNew) {
  HistogramBase* histogram = Histogram::FactoryGet("Delta", 1, 100, 10, 0);
  histogram->AddCount(5, 2);
  std::unique_ptr<HistogramSamples> first = histogram->SnapshotDelta();
  EXPECT_EQ(2, first->TotalCount());
  EXPECT_EQ(10, first->sum());

  histogram->Add(50);
  std::unique_ptr<HistogramSamples> second = histogram->SnapshotDelta();
  EXPECT_EQ(1, second->TotalCount());
  EXPECT_EQ(0, second->GetCount(5));
  EXPECT_EQ(1, second->GetCount(50));
  EXPECT_EQ(50, second->sum());
  EXPECT_EQ(1, second->redundant_count());

  std::unique_ptr<HistogramSamples> third = histogram->SnapshotDelta();
  EXPECT_EQ(0, third->TotalCount());
  EXPECT_EQ(0, third->sum());
  EXPECT_EQ(3, histogram->SnapshotSamples()->TotalCount());
}

// A layout and vector for checks on counts that no histogram could reach.
class CorruptionTest : public testing::Test {
 protected:
  CorruptionTest()
      : histogram_(static_cast<Histogram*>(
            LinearHistogram::FactoryGet("Corrupt", 1, 3, 4, 0))) {}

  // Samples whose redundant count exceeds the total count by |extra|.
  std::unique_ptr<HistogramSamples> SamplesWithMismatch(int total, int extra) {
    std::unique_ptr<HistogramSamples> samples = histogram_->SnapshotSamples();
    Pickle pickle;
    pickle.Write8Bytes(0);
    pickle.Write4Bytes(static_cast<uint32_t>(extra));
    pickle.Write4Bytes(1);
    pickle.Write4Bytes(2);
    pickle.Write4Bytes(static_cast<uint32_t>(total));
    PickleIterator iter(pickle);
    EXPECT_TRUE(samples->AddFromPickle(&iter));
    return samples;
  }

  // The samples recorded so far in the registered histogram |name|.
  static std::unique_ptr<HistogramSamples> Recorded(const char* name) {
    HistogramBase* histogram = StatisticsRecorder::FindHistogram(name);
    return histogram ? histogram->SnapshotSamples() : nullptr;
  }

  // Registered, so that the mismatch histograms can be read back.
  StatisticsRecorder recorder_;
  Histogram* const histogram_;
};

TEST_F(CorruptionTest, CountMismatches) {
  // Redundant count 106 against total 100.
  std::unique_ptr<HistogramSamples> high = SamplesWithMismatch(100, 106);
  EXPECT_EQ(HistogramBase::COUNT_HIGH_ERROR, histogram_->FindCorruption(*high));
  std::unique_ptr<HistogramSamples> small = SamplesWithMismatch(100, 105);
  EXPECT_EQ(HistogramBase::NO_INCONSISTENCIES,
            histogram_->FindCorruption(*small));
  std::unique_ptr<HistogramSamples> low = SamplesWithMismatch(100, 94);
  EXPECT_EQ(HistogramBase::COUNT_LOW_ERROR, histogram_->FindCorruption(*low));
  std::unique_ptr<HistogramSamples> exact = SamplesWithMismatch(100, 100);
  EXPECT_EQ(HistogramBase::NO_INCONSISTENCIES,
            histogram_->FindCorruption(*exact));

  // Every difference is recorded, the small ones included.
  std::unique_ptr<HistogramSamples> high_counts =
      Recorded("Histogram.InconsistentCountHigh");
  ASSERT_TRUE(high_counts);
  EXPECT_EQ(2, high_counts->TotalCount());
  EXPECT_EQ(11, high_counts->sum());
  std::unique_ptr<HistogramSamples> low_counts =
      Recorded("Histogram.InconsistentCountLow");
  ASSERT_TRUE(low_counts);
  EXPECT_EQ(1, low_counts->TotalCount());
  EXPECT_EQ(6, low_counts->sum());
}

TEST_F(CorruptionTest, LayoutFaults) {
  BucketRanges* ranges = const_cast<BucketRanges*>(histogram_->bucket_ranges());
  std::unique_ptr<HistogramSamples> samples = histogram_->SnapshotSamples();
  ranges->set_range(2, 1);
  EXPECT_EQ(
      HistogramBase::BUCKET_ORDER_ERROR | HistogramBase::RANGE_CHECKSUM_ERROR,
      histogram_->FindCorruption(*samples));
  ranges->ResetChecksum();
  EXPECT_EQ(HistogramBase::BUCKET_ORDER_ERROR,
            histogram_->FindCorruption(*samples));
  ranges->set_range(2, 2);
  ranges->ResetChecksum();
  EXPECT_EQ(HistogramBase::NO_INCONSISTENCIES,
            histogram_->FindCorruption(*samples));
}

TEST(HistogramTest, AddSamplesFromAnotherHistogram) {
  HistogramBase* source = Histogram::FactoryGet("Source", 1, 100, 10, 0);
  HistogramBase* target = Histogram::FactoryGet("Target", 1, 100, 10, 0);
  source->AddCount(7, 3);
  target->Add(50);
  target->AddSamples(*source->SnapshotSamples());
  std::unique_ptr<HistogramSamples> snapshot = target->SnapshotSamples();
  EXPECT_EQ(3, snapshot->GetCount(7));
  EXPECT_EQ(1, snapshot->GetCount(50));
  EXPECT_EQ(71, snapshot->sum());
  EXPECT_EQ(4, snapshot->redundant_count());
}

TEST(HistogramTest, ParametersAndBucketData) {
  HistogramBase* histogram = LinearHistogram::FactoryGet("Params", 1, 3, 4, 0);
  histogram->AddCount(1, 2);
  histogram->Add(500);

  DictionaryValue params;
  histogram->GetParameters(&params);
  std::string type;
  int value = 0;
  EXPECT_TRUE(params.GetString("type", &type));
  EXPECT_EQ("LINEAR_HISTOGRAM", type);
  EXPECT_TRUE(params.GetInteger("bucket_count", &value));
  EXPECT_EQ(4, value);
  EXPECT_TRUE(params.GetInteger("max", &value));
  EXPECT_EQ(3, value);

  HistogramBase::Count count = 0;
  int64_t sum = 0;
  ListValue buckets;
  histogram->GetCountAndBucketData(&count, &sum, &buckets);
  EXPECT_EQ(3, count);
  EXPECT_EQ(502, sum);
  ASSERT_EQ(2u, buckets.GetSize());
  const Value* item = nullptr;
  const DictionaryValue* bucket = nullptr;
  ASSERT_TRUE(buckets.Get(0, &item));
  ASSERT_TRUE(item->GetAsDictionary(&bucket));
  EXPECT_TRUE(bucket->GetInteger("low", &value));
  EXPECT_EQ(1, value);
  EXPECT_TRUE(bucket->GetInteger("high", &value));
  EXPECT_EQ(2, value);
  EXPECT_TRUE(bucket->GetInteger("count", &value));
  EXPECT_EQ(2, value);
  ASSERT_TRUE(buckets.Get(1, &item));
  ASSERT_TRUE(item->GetAsDictionary(&bucket));
  EXPECT_FALSE(bucket->Get("high", &item));
}

TEST(HistogramTest, SerializedInfo) {
  Histogram* histogram = static_cast<Histogram*>(
      LinearHistogram::FactoryGet("Info", 1, 3, 4, kFlags));
  Pickle pickle;
  ASSERT_TRUE(histogram->SerializeInfo(&pickle));
  PickleIterator iter(pickle);
  std::string name;
  int fields[5];
  ASSERT_TRUE(iter.ReadString(&name));
  for (int& field : fields)
    ASSERT_TRUE(iter.ReadInt(&field));
  EXPECT_EQ("Info", name);
  EXPECT_EQ(kFlags, fields[0]);
  EXPECT_EQ(1, fields[1]);
  EXPECT_EQ(3, fields[2]);
  EXPECT_EQ(4, fields[3]);
  EXPECT_EQ(histogram->bucket_ranges()->checksum(),
            static_cast<uint32_t>(fields[4]));
  int extra;
  EXPECT_FALSE(iter.ReadInt(&extra));
}

TEST(HistogramTextTest, LinearWithGraph) {
  HistogramBase* histogram = LinearHistogram::FactoryGet("Text", 1, 3, 4, 1);
  histogram->Add(1);
  histogram->Add(1);
  const std::string expected =
      "Histogram: Text recorded 2 samples, average = 1.0 (flags = 0x1)\n"
      "0  O" +
      std::string(72, ' ') +
      " (0 = 0.0%)\n"
      "1  " +
      std::string(72, '-') +
      "O (2 = 100.0%) {0.0%}\n"
      "2  ... \n";
  EXPECT_EQ(expected, Ascii(histogram));

  std::string html;
  histogram->WriteHTMLGraph(&html);
  std::string expected_html = expected;
  for (size_t at = expected_html.find('\n'); at != std::string::npos;
       at = expected_html.find('\n', at))
    expected_html.replace(at, 1, "<br>");
  EXPECT_EQ("<PRE>" + expected_html + "</PRE>", html);
}

TEST(HistogramTextTest, EmptyExponential) {
  EXPECT_EQ("Histogram: Empty recorded 0 samples\n0 ... \n",
            Ascii(Histogram::FactoryGet("Empty", 1, 100, 10, 0)));
}

TEST(HistogramTextTest, NothingToDivideByPrintsZero) {
  // Every bucket but the last is described and empty: only the last one
  // prints, with no samples to share out.
  const LinearHistogram::DescriptionPair kDescriptions[] = {
      {0, "zero"}, {1, "one"}, {2, "two"}, {0, nullptr}};
  HistogramBase* histogram = LinearHistogram::FactoryGetWithRangeDescription(
      "NoSamples", 1, 3, 4, 0, kDescriptions);
  EXPECT_EQ(
      "Histogram: NoSamples recorded 0 samples\n"
      "3 O" +
          std::string(72, ' ') + " (0 = 0.0%) {0.0%}\n",
      Ascii(histogram));
}

TEST(HistogramTextTest, HexLabels) {
  HistogramBase* histogram = LinearHistogram::FactoryGet(
      "Hex", 1, 999, 1000, HistogramBase::kHexRangePrintingFlag | 1);
  histogram->Add(255);
  const std::string expected =
      "Histogram: Hex recorded 1 samples, average = 255.0 (flags = 0x1)\n"
      "0     ... \n"
      "0xff  " +
      std::string(72, '-') +
      "O (1 = 100.0%) {0.0%}\n"
      "0x100 ... \n";
  EXPECT_EQ(expected, Ascii(histogram));
}

TEST(HistogramTextTest, DescribedBucketsWithoutSamplesAreLeftOut) {
  const LinearHistogram::DescriptionPair kDescriptions[] = {
      {1, "one"}, {2, "first"}, {2, "two"}, {0, nullptr}};
  HistogramBase* histogram = LinearHistogram::FactoryGetWithRangeDescription(
      "Described", 1, 3, 4, 0, kDescriptions);
  histogram->Add(0);
  histogram->Add(2);
  const std::string expected =
      "Histogram: Described recorded 2 samples, average = 1.0\n"
      "0    " +
      std::string(72, '-') +
      "O (1 = 50.0%)\n"
      "two  " +
      std::string(72, '-') +
      "O (1 = 50.0%) {50.0%}\n"
      "3    O" +
      std::string(72, ' ') + " (0 = 0.0%) {100.0%}\n";
  EXPECT_EQ(expected, Ascii(histogram));
}

}  // namespace
}  // namespace base
