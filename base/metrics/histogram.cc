#include "base/metrics/histogram.h"

#include <math.h>

#include <algorithm>
#include <utility>

#include "base/logging.h"
#include "base/metrics/bucket_ranges.h"
#include "base/metrics/metrics_hashes.h"
#include "base/metrics/persistent_histogram_allocator.h"
#include "base/metrics/sample_vector.h"
#include "base/metrics/statistics_recorder.h"
#include "base/pickle.h"
#include "base/strings/stringprintf.h"
#include "base/values.h"

namespace base {

namespace {

// Differences of redundant and total counts up to this many are recorded
// but not reported as corruption: unsynchronised readers may see them.
constexpr HistogramBase::Count kCommonRaceBasedCountMismatch = 5;

// Exponential buckets wider than this are drawn as if this wide.
constexpr double kTransitionWidth = 5;

HistogramBase* GetMismatchHistogram(const char* name) {
  return Histogram::FactoryGet(name, 1, 1000000, 50,
                               HistogramBase::kReportedHistogramFlag);
}

void RecordCountMismatch(HistogramBase* histogram, int64_t difference) {
  histogram->Add(static_cast<HistogramBase::Sample>(
      std::min<int64_t>(difference, HistogramBase::kSampleType_MAX)));
}

double SafeRatio(double numerator, double denominator) {
  return denominator == 0.0 ? 0.0 : numerator / denominator;
}

}  // namespace

HistogramBase* Histogram::Factory::Build() {
  PersistentHistogramAllocator::ImportGlobalPersistentHistograms();
  HistogramBase* histogram = StatisticsRecorder::FindHistogram(name_);
  if (histogram) {
    ReportHistogramActivity(*histogram, HISTOGRAM_LOOKUP);
  } else {
    const BucketRanges* ranges =
        StatisticsRecorder::RegisterOrDeleteDuplicateRanges(CreateRanges());
    if (bucket_count_ == 0) {
      bucket_count_ = static_cast<uint32_t>(ranges->bucket_count());
      minimum_ = ranges->range(1);
      maximum_ = ranges->range(bucket_count_ - 1);
    }
    CHECK_GE(minimum_, 1);
    CHECK_GE(maximum_, 1);

    PersistentHistogramAllocator* const allocator =
        PersistentHistogramAllocator::GetGlobalAllocator();
    PersistentHistogramAllocator::Reference reference = 0;
    std::unique_ptr<HistogramBase> tentative;
    if (allocator) {
      tentative =
          allocator->AllocateHistogram(histogram_type_, name_, minimum_,
                                       maximum_, ranges, flags_, &reference);
    }
    if (!tentative) {
      flags_ &= ~kIsPersistent;
      tentative = HeapAlloc(ranges);
      tentative->SetFlags(flags_);
    }
    const Histogram* built = static_cast<const Histogram*>(tentative.get());
    CHECK_EQ(minimum_, built->declared_min());
    CHECK_EQ(maximum_, built->declared_max());
    FillHistogram(tentative.get());

    HistogramBase* const tentative_histogram = tentative.release();
    histogram =
        StatisticsRecorder::RegisterOrDeleteDuplicate(tentative_histogram);
    if (reference) {
      allocator->FinalizeHistogram(reference, histogram == tentative_histogram);
    }
    ReportHistogramActivity(*histogram, HISTOGRAM_CREATED);
  }

  if (bucket_count_ != 0 &&
      !histogram->HasConstructionArguments(minimum_, maximum_, bucket_count_)) {
    // A histogram of this name exists with another layout.
    CHECK(false) << name_;
    return nullptr;
  }
  return histogram;
}

BucketRanges* Histogram::Factory::CreateRanges() {
  BucketRanges* ranges = new BucketRanges(bucket_count_ + 1);
  Histogram::InitializeBucketRanges(minimum_, maximum_, ranges);
  return ranges;
}

std::unique_ptr<HistogramBase> Histogram::Factory::HeapAlloc(
    const BucketRanges* ranges) {
  return std::unique_ptr<HistogramBase>(
      new Histogram(name_, minimum_, maximum_, ranges));
}

Histogram::~Histogram() = default;

// static
HistogramBase* Histogram::FactoryGet(const std::string& name,
                                     Sample minimum,
                                     Sample maximum,
                                     uint32_t bucket_count,
                                     int32_t flags) {
  InspectConstructionArguments(&minimum, &maximum, &bucket_count);
  return Factory(name, minimum, maximum, bucket_count, flags).Build();
}

// static
HistogramBase* Histogram::FactoryGet(const char* name,
                                     Sample minimum,
                                     Sample maximum,
                                     uint32_t bucket_count,
                                     int32_t flags) {
  return FactoryGet(std::string(name), minimum, maximum, bucket_count, flags);
}

// static
HistogramBase* Histogram::FactoryTimeGet(const char* name,
                                         TimeDelta minimum,
                                         TimeDelta maximum,
                                         uint32_t bucket_count,
                                         int32_t flags) {
  return FactoryGet(name, static_cast<Sample>(minimum.InMilliseconds()),
                    static_cast<Sample>(maximum.InMilliseconds()), bucket_count,
                    flags);
}

// static
HistogramBase* Histogram::PersistentCreate(
    const std::string& name,
    Sample minimum,
    Sample maximum,
    const BucketRanges* ranges,
    const PersistentSampleStorage& storage) {
  return new Histogram(name, minimum, maximum, ranges, storage);
}

// static
void Histogram::InitializeBucketRanges(Sample minimum,
                                       Sample maximum,
                                       BucketRanges* ranges) {
  // Range 0 and the last range are fixed; the layout needs both.
  CHECK_GE(ranges->size(), 2u);
  const size_t bucket_count = ranges->bucket_count();
  ranges->set_range(1, minimum);
  Sample current = minimum;
  const double log_max = log(static_cast<double>(maximum));
  for (size_t index = 2; index < bucket_count; ++index) {
    const double log_current = log(static_cast<double>(current));
    const double log_ratio =
        (log_max - log_current) / static_cast<double>(bucket_count - index);
    const Sample next =
        static_cast<Sample>(floor(exp(log_current + log_ratio) + 0.5));
    current = next > current ? next : current + 1;
    ranges->set_range(index, current);
  }
  ranges->set_range(bucket_count, kSampleType_MAX);
  ranges->ResetChecksum();
}

// static
void Histogram::InspectConstructionArguments(Sample* minimum,
                                             Sample* maximum,
                                             uint32_t* bucket_count) {
  if (*minimum < 1)
    *minimum = 1;
  if (*maximum >= kSampleType_MAX)
    *maximum = kSampleType_MAX - 1;
  if (*bucket_count >= kBucketCount_MAX)
    *bucket_count = kBucketCount_MAX - 1;
}

Histogram::Histogram(const std::string& name,
                     Sample minimum,
                     Sample maximum,
                     const BucketRanges* ranges)
    : HistogramBase(name),
      bucket_ranges_(ranges),
      declared_min_(minimum),
      declared_max_(maximum),
      samples_(new SampleVector(HashMetricName(name), ranges)) {}

Histogram::Histogram(const std::string& name,
                     Sample minimum,
                     Sample maximum,
                     const BucketRanges* ranges,
                     const PersistentSampleStorage& storage)
    : HistogramBase(name),
      bucket_ranges_(ranges),
      declared_min_(minimum),
      declared_max_(maximum),
      samples_(new SampleVector(HashMetricName(name),
                                storage.counts,
                                ranges->bucket_count(),
                                storage.meta,
                                ranges)),
      logged_samples_(new SampleVector(samples_->id(),
                                       storage.logged_counts,
                                       ranges->bucket_count(),
                                       storage.logged_meta,
                                       ranges)) {}

uint64_t Histogram::name_hash() const {
  return samples_->id();
}

HistogramType Histogram::GetHistogramType() const {
  return HISTOGRAM;
}

bool Histogram::HasConstructionArguments(Sample expected_minimum,
                                         Sample expected_maximum,
                                         uint32_t expected_bucket_count) const {
  return expected_minimum == declared_min_ &&
         expected_maximum == declared_max_ &&
         expected_bucket_count == bucket_count();
}

void Histogram::Add(Sample value) {
  AddCount(value, 1);
}

void Histogram::AddCount(Sample value, int count) {
  if (value > kSampleType_MAX - 1)
    value = kSampleType_MAX - 1;
  if (value < 0)
    value = 0;
  if (count <= 0)
    return;
  samples_->Accumulate(value, count);
  FindAndRunCallback(value);
}

void Histogram::AddSamples(const HistogramSamples& samples) {
  samples_->Add(samples);
}

bool Histogram::AddSamplesFromPickle(PickleIterator* iter) {
  return samples_->AddFromPickle(iter);
}

uint32_t Histogram::FindCorruption(const HistogramSamples& samples) const {
  uint32_t inconsistencies = NO_INCONSISTENCIES;
  Sample previous_range = -1;
  for (uint32_t index = 0; index < bucket_count(); ++index) {
    const Sample new_range = ranges(index);
    if (previous_range >= new_range)
      inconsistencies |= BUCKET_ORDER_ERROR;
    previous_range = new_range;
  }
  if (!bucket_ranges_->HasValidChecksum())
    inconsistencies |= RANGE_CHECKSUM_ERROR;

  const int64_t delta =
      static_cast<int64_t>(samples.redundant_count()) - samples.TotalCount();
  if (delta > 0) {
    static HistogramBase* const count_high =
        GetMismatchHistogram("Histogram.InconsistentCountHigh");
    RecordCountMismatch(count_high, delta);
    if (delta > kCommonRaceBasedCountMismatch)
      inconsistencies |= COUNT_HIGH_ERROR;
  } else if (delta < 0) {
    static HistogramBase* const count_low =
        GetMismatchHistogram("Histogram.InconsistentCountLow");
    RecordCountMismatch(count_low, -delta);
    if (-delta > kCommonRaceBasedCountMismatch)
      inconsistencies |= COUNT_LOW_ERROR;
  }
  return inconsistencies;
}

std::unique_ptr<SampleVector> Histogram::SnapshotAllSamples() const {
  std::unique_ptr<SampleVector> samples(
      new SampleVector(samples_->id(), bucket_ranges_));
  samples->Add(*samples_);
  return samples;
}

std::unique_ptr<HistogramSamples> Histogram::SnapshotSamples() const {
  return SnapshotAllSamples();
}

std::unique_ptr<HistogramSamples> Histogram::SnapshotDelta() {
  std::unique_ptr<HistogramSamples> snapshot = SnapshotSamples();
  if (!logged_samples_) {
    logged_samples_.reset(static_cast<SampleVector*>(snapshot.release()));
    return SnapshotSamples();
  }
  snapshot->Subtract(*logged_samples_);
  logged_samples_->Add(*snapshot);
  return snapshot;
}

void Histogram::WriteHTMLGraph(std::string* output) const {
  output->append("<PRE>");
  WriteAsciiImpl(true, "<br>", output);
  output->append("</PRE>");
}

void Histogram::WriteAscii(std::string* output) const {
  WriteAsciiImpl(true, "\n", output);
}

void Histogram::GetParameters(DictionaryValue* params) const {
  params->SetString("type", GetHistogramTypeName(GetHistogramType()));
  params->SetInteger("min", declared_min_);
  params->SetInteger("max", declared_max_);
  params->SetInteger("bucket_count", static_cast<int>(bucket_count()));
}

void Histogram::GetCountAndBucketData(Count* count,
                                      int64_t* sum,
                                      ListValue* buckets) const {
  std::unique_ptr<SampleVector> snapshot = SnapshotAllSamples();
  *count = snapshot->TotalCount();
  *sum = snapshot->sum();
  size_t index = 0;
  for (uint32_t i = 0; i < bucket_count(); ++i) {
    const Count bucket_count_i = snapshot->GetCountAtIndex(i);
    if (bucket_count_i == 0)
      continue;
    std::unique_ptr<DictionaryValue> bucket(new DictionaryValue);
    bucket->SetInteger("low", ranges(i));
    if (i != bucket_count() - 1)
      bucket->SetInteger("high", ranges(i + 1));
    bucket->SetInteger("count", bucket_count_i);
    buckets->Set(index++, std::move(bucket));
  }
}

HistogramBase::Sample Histogram::ranges(uint32_t i) const {
  return bucket_ranges_->range(i);
}

uint32_t Histogram::bucket_count() const {
  return static_cast<uint32_t>(bucket_ranges_->bucket_count());
}

bool Histogram::SerializeInfoImpl(Pickle* pickle) const {
  return pickle->WriteString(histogram_name()) &&
         pickle->Write4Bytes(static_cast<uint32_t>(flags())) &&
         pickle->Write4Bytes(static_cast<uint32_t>(declared_min_)) &&
         pickle->Write4Bytes(static_cast<uint32_t>(declared_max_)) &&
         pickle->Write4Bytes(bucket_count()) &&
         pickle->Write4Bytes(bucket_ranges_->checksum());
}

bool Histogram::PrintEmptyBucket(uint32_t /*index*/) const {
  return true;
}

double Histogram::GetBucketSize(Count current, uint32_t i) const {
  double denominator = static_cast<double>(ranges(i + 1)) - ranges(i);
  if (denominator > kTransitionWidth)
    denominator = kTransitionWidth;
  return current / denominator;
}

std::string Histogram::GetAsciiBucketRange(uint32_t i) const {
  return GetSimpleAsciiBucketRange(ranges(i));
}

double Histogram::GetPeakBucketSize(const SampleVector& samples) const {
  double max = 0.0;
  for (uint32_t i = 0; i < bucket_count(); ++i)
    max = std::max(max, GetBucketSize(samples.GetCountAtIndex(i), i));
  return max;
}

void Histogram::WriteAsciiImpl(bool graph_it,
                               const std::string& newline,
                               std::string* output) const {
  std::unique_ptr<SampleVector> snapshot = SnapshotAllSamples();
  const Count sample_count = snapshot->TotalCount();
  const int64_t sum = snapshot->sum();
  WriteAsciiHeader(sample_count, &sum, newline, output);

  const double max_size = graph_it ? GetPeakBucketSize(*snapshot) : 0.0;

  size_t print_width = 1;
  for (uint32_t i = 0; i < bucket_count(); ++i) {
    if (snapshot->GetCountAtIndex(i))
      print_width = std::max(print_width, GetAsciiBucketRange(i).size() + 1);
  }

  int64_t remaining = sample_count;
  int64_t past = 0;
  const uint32_t last = bucket_count() - 1;
  for (uint32_t i = 0; i < bucket_count(); ++i) {
    const Count current = snapshot->GetCountAtIndex(i);
    if (!current && !PrintEmptyBucket(i))
      continue;
    remaining -= current;
    AppendPadded(GetAsciiBucketRange(i), print_width + 1, output);
    if (current == 0 && i < last && snapshot->GetCountAtIndex(i + 1) == 0) {
      while (i < last && snapshot->GetCountAtIndex(i + 1) == 0)
        ++i;
      output->append("... ");
      output->append(newline);
      continue;
    }
    if (graph_it)
      WriteAsciiBucketGraph(GetBucketSize(current, i), max_size, output);
    const double scaled_sum = (past + current + remaining) / 100.0;
    WriteAsciiBucketValue(current, scaled_sum, output);
    if (i > 0)
      StringAppendF(output, " {%3.1f%%}", SafeRatio(past, scaled_sum));
    output->append(newline);
    past += current;
  }
}

LinearHistogram::~LinearHistogram() = default;

// static
HistogramBase* LinearHistogram::FactoryGet(const char* name,
                                           Sample minimum,
                                           Sample maximum,
                                           uint32_t bucket_count,
                                           int32_t flags) {
  return FactoryGetWithRangeDescription(name, minimum, maximum, bucket_count,
                                        flags, nullptr);
}

// static
HistogramBase* LinearHistogram::FactoryGetWithRangeDescription(
    const std::string& name,
    Sample minimum,
    Sample maximum,
    uint32_t bucket_count,
    int32_t flags,
    const DescriptionPair descriptions[]) {
  InspectConstructionArguments(&minimum, &maximum, &bucket_count);
  return Factory(name, minimum, maximum, bucket_count, flags, descriptions)
      .Build();
}

// static
HistogramBase* LinearHistogram::PersistentCreate(
    const std::string& name,
    Sample minimum,
    Sample maximum,
    const BucketRanges* ranges,
    const PersistentSampleStorage& storage) {
  return new LinearHistogram(name, minimum, maximum, ranges, storage);
}

// static
void LinearHistogram::InitializeBucketRanges(Sample minimum,
                                             Sample maximum,
                                             BucketRanges* ranges) {
  // The layout divides by the bucket count less 2.
  CHECK_GE(ranges->size(), 4u);
  const double bucket_count = static_cast<double>(ranges->bucket_count());
  for (size_t i = 1; i < ranges->bucket_count(); ++i) {
    const double linear_range =
        (minimum * (bucket_count - static_cast<double>(i) - 1) +
         maximum * (static_cast<double>(i) - 1)) /
        (bucket_count - 2);
    ranges->set_range(i, static_cast<Sample>(linear_range + 0.5));
  }
  ranges->set_range(ranges->bucket_count(), kSampleType_MAX);
  ranges->ResetChecksum();
}

HistogramType LinearHistogram::GetHistogramType() const {
  return LINEAR_HISTOGRAM;
}

BucketRanges* LinearHistogram::Factory::CreateRanges() {
  BucketRanges* ranges = new BucketRanges(bucket_count_ + 1);
  LinearHistogram::InitializeBucketRanges(minimum_, maximum_, ranges);
  return ranges;
}

std::unique_ptr<HistogramBase> LinearHistogram::Factory::HeapAlloc(
    const BucketRanges* ranges) {
  return std::unique_ptr<HistogramBase>(
      new LinearHistogram(name_, minimum_, maximum_, ranges));
}

void LinearHistogram::Factory::FillHistogram(HistogramBase* base_histogram) {
  if (!descriptions_)
    return;
  LinearHistogram* histogram = static_cast<LinearHistogram*>(base_histogram);
  for (const DescriptionPair* pair = descriptions_; pair->description; ++pair) {
    histogram->bucket_description_[pair->sample] = pair->description;
  }
}

LinearHistogram::LinearHistogram(const std::string& name,
                                 Sample minimum,
                                 Sample maximum,
                                 const BucketRanges* ranges)
    : Histogram(name, minimum, maximum, ranges) {}

LinearHistogram::LinearHistogram(const std::string& name,
                                 Sample minimum,
                                 Sample maximum,
                                 const BucketRanges* ranges,
                                 const PersistentSampleStorage& storage)
    : Histogram(name, minimum, maximum, ranges, storage) {}

double LinearHistogram::GetBucketSize(Count current, uint32_t i) const {
  return current / (static_cast<double>(ranges(i + 1)) - ranges(i));
}

bool LinearHistogram::PrintEmptyBucket(uint32_t index) const {
  return bucket_description_.find(ranges(index)) == bucket_description_.end();
}

std::string LinearHistogram::GetAsciiBucketRange(uint32_t i) const {
  const std::map<Sample, std::string>::const_iterator it =
      bucket_description_.find(ranges(i));
  if (it == bucket_description_.end())
    return Histogram::GetAsciiBucketRange(i);
  return it->second;
}

// static
HistogramBase* BooleanHistogram::PersistentCreate(
    const std::string& name,
    const BucketRanges* ranges,
    const PersistentSampleStorage& storage) {
  return new BooleanHistogram(name, ranges, storage);
}

HistogramType BooleanHistogram::GetHistogramType() const {
  return BOOLEAN_HISTOGRAM;
}

BooleanHistogram::BooleanHistogram(const std::string& name,
                                   const BucketRanges* ranges,
                                   const PersistentSampleStorage& storage)
    : LinearHistogram(name, 1, 2, ranges, storage) {}

// static
HistogramBase* CustomHistogram::PersistentCreate(
    const std::string& name,
    const BucketRanges* ranges,
    const PersistentSampleStorage& storage) {
  return new CustomHistogram(name, ranges, storage);
}

HistogramType CustomHistogram::GetHistogramType() const {
  return CUSTOM_HISTOGRAM;
}

bool CustomHistogram::SerializeInfoImpl(Pickle* pickle) const {
  if (!Histogram::SerializeInfoImpl(pickle))
    return false;
  // Range 0 and the last range are the same for every layout.
  for (uint32_t i = 1; i < bucket_ranges()->bucket_count(); ++i) {
    if (!pickle->Write4Bytes(static_cast<uint32_t>(bucket_ranges()->range(i))))
      return false;
  }
  return true;
}

double CustomHistogram::GetBucketSize(Count /*current*/, uint32_t /*i*/) const {
  return 1.0;
}

CustomHistogram::CustomHistogram(const std::string& name,
                                 const BucketRanges* ranges,
                                 const PersistentSampleStorage& storage)
    : Histogram(name,
                ranges->range(1),
                ranges->range(ranges->bucket_count() - 1),
                ranges,
                storage) {}

}  // namespace base
