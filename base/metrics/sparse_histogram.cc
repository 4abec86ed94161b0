#include "base/metrics/sparse_histogram.h"

#include <algorithm>
#include <utility>

#include "base/metrics/metrics_hashes.h"
#include "base/metrics/persistent_histogram_allocator.h"
#include "base/metrics/persistent_sample_map.h"
#include "base/metrics/sample_map.h"
#include "base/metrics/statistics_recorder.h"
#include "base/pickle.h"

namespace base {

// static
HistogramBase* SparseHistogram::FactoryGet(const std::string& name,
                                           int32_t flags) {
  PersistentHistogramAllocator::ImportGlobalPersistentHistograms();
  HistogramBase* histogram = StatisticsRecorder::FindHistogram(name);
  if (histogram) {
    ReportHistogramActivity(*histogram, HISTOGRAM_LOOKUP);
    return histogram;
  }

  PersistentHistogramAllocator* const allocator =
      PersistentHistogramAllocator::GetGlobalAllocator();
  PersistentHistogramAllocator::Reference reference = 0;
  std::unique_ptr<HistogramBase> tentative;
  if (allocator) {
    tentative = allocator->AllocateHistogram(SPARSE_HISTOGRAM, name, 0, 0,
                                             nullptr, flags, &reference);
  }
  if (!tentative) {
    tentative.reset(new SparseHistogram(name));
    tentative->SetFlags(flags & ~kIsPersistent);
  }

  HistogramBase* const tentative_histogram = tentative.release();
  histogram =
      StatisticsRecorder::RegisterOrDeleteDuplicate(tentative_histogram);
  if (reference)
    allocator->FinalizeHistogram(reference, histogram == tentative_histogram);
  ReportHistogramActivity(*histogram, HISTOGRAM_CREATED);
  return histogram;
}

// static
HistogramBase* SparseHistogram::PersistentCreate(
    PersistentMemoryAllocator* allocator,
    const std::string& name,
    HistogramSamples::Metadata* meta,
    HistogramSamples::Metadata* logged_meta) {
  return new SparseHistogram(allocator, name, meta, logged_meta);
}

SparseHistogram::SparseHistogram(const std::string& name)
    : HistogramBase(name),
      samples_(new SampleMap(HashMetricName(name))),
      logged_samples_(new SampleMap(samples_->id())) {}

SparseHistogram::SparseHistogram(PersistentMemoryAllocator* allocator,
                                 const std::string& name,
                                 HistogramSamples::Metadata* meta,
                                 HistogramSamples::Metadata* logged_meta)
    : HistogramBase(name),
      samples_(new PersistentSampleMap(HashMetricName(name), allocator, meta)),
      // The logged samples' records must not be taken for the samples'.
      logged_samples_(
          new PersistentSampleMap(samples_->id() + 1, allocator, logged_meta)) {
}

SparseHistogram::~SparseHistogram() = default;

uint64_t SparseHistogram::name_hash() const {
  return samples_->id();
}

HistogramType SparseHistogram::GetHistogramType() const {
  return SPARSE_HISTOGRAM;
}

bool SparseHistogram::HasConstructionArguments(
    Sample /*expected_minimum*/,
    Sample /*expected_maximum*/,
    uint32_t /*expected_bucket_count*/) const {
  return false;
}

void SparseHistogram::Add(Sample value) {
  AddCount(value, 1);
}

void SparseHistogram::AddCount(Sample value, int count) {
  if (count <= 0)
    return;
  {
    AutoLock auto_lock(lock_);
    samples_->Accumulate(value, count);
  }
  FindAndRunCallback(value);
}

void SparseHistogram::AddSamples(const HistogramSamples& samples) {
  AutoLock auto_lock(lock_);
  samples_->Add(samples);
}

bool SparseHistogram::AddSamplesFromPickle(PickleIterator* iter) {
  AutoLock auto_lock(lock_);
  return samples_->AddFromPickle(iter);
}

std::unique_ptr<HistogramSamples> SparseHistogram::SnapshotSamples() const {
  std::unique_ptr<SampleMap> snapshot(new SampleMap(name_hash()));
  AutoLock auto_lock(lock_);
  snapshot->Add(*samples_);
  return snapshot;
}

std::unique_ptr<HistogramSamples> SparseHistogram::SnapshotDelta() {
  std::unique_ptr<SampleMap> snapshot(new SampleMap(name_hash()));
  AutoLock auto_lock(lock_);
  snapshot->Add(*samples_);
  snapshot->Subtract(*logged_samples_);
  logged_samples_->Add(*snapshot);
  return snapshot;
}

void SparseHistogram::WriteHTMLGraph(std::string* output) const {
  output->append("<PRE>");
  WriteAsciiImpl(true, "<br>", output);
  output->append("</PRE>");
}

void SparseHistogram::WriteAscii(std::string* output) const {
  WriteAsciiImpl(true, "\n", output);
}

void SparseHistogram::GetParameters(DictionaryValue* /*params*/) const {}

void SparseHistogram::GetCountAndBucketData(Count* /*count*/,
                                            int64_t* /*sum*/,
                                            ListValue* /*buckets*/) const {}

bool SparseHistogram::SerializeInfoImpl(Pickle* pickle) const {
  return pickle->WriteString(histogram_name()) &&
         pickle->Write4Bytes(static_cast<uint32_t>(flags()));
}

void SparseHistogram::WriteAsciiImpl(bool graph_it,
                                     const std::string& newline,
                                     std::string* output) const {
  std::unique_ptr<HistogramSamples> snapshot = SnapshotSamples();
  const Count total_count = snapshot->TotalCount();
  const double scaled_total_count = total_count / 100.0;
  WriteAsciiHeader(total_count, nullptr, newline, output);

  Sample largest_sample = 0;
  Count largest_count = 0;
  Sample min;
  Sample max;
  Count count;
  for (std::unique_ptr<SampleCountIterator> it = snapshot->Iterator();
       !it->Done(); it->Advance()) {
    it->Get(&min, &max, &count);
    largest_sample = std::max(largest_sample, min);
    largest_count = std::max(largest_count, count);
  }
  const size_t print_width =
      GetSimpleAsciiBucketRange(largest_sample).size() + 1;

  for (std::unique_ptr<SampleCountIterator> it = snapshot->Iterator();
       !it->Done(); it->Advance()) {
    it->Get(&min, &max, &count);
    AppendPadded(GetSimpleAsciiBucketRange(min), print_width + 1, output);
    if (graph_it)
      WriteAsciiBucketGraph(count, largest_count, output);
    WriteAsciiBucketValue(count, scaled_total_count, output);
    output->append(newline);
  }
}

}  // namespace base
