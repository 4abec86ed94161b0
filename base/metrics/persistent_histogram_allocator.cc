#include "base/metrics/persistent_histogram_allocator.h"

#include <stddef.h>
#include <string.h>

#include "base/metrics/bucket_ranges.h"
#include "base/metrics/histogram.h"
#include "base/metrics/histogram_samples.h"
#include "base/metrics/sparse_histogram.h"
#include "base/metrics/statistics_recorder.h"
#include "base/synchronization/lock.h"

namespace base {

// The record of one histogram; the name runs on past the end.
struct PersistentHistogramAllocator::PersistentHistogramData {
  int32_t histogram_type;
  int32_t flags;
  int32_t minimum;
  int32_t maximum;
  uint32_t bucket_count;
  Reference ranges_ref;
  uint32_t ranges_checksum;
  Reference counts_ref;
  HistogramSamples::Metadata samples_metadata;
  HistogramSamples::Metadata logged_metadata;
  char name[1];
};

namespace {

typedef PersistentHistogramAllocator Allocator;

// The fixed fields of a record, copied before they are trusted.
constexpr size_t kRecordHeaderSize = 32;
constexpr size_t kRecordNameOffset = 80;
// Bucket counts at or above this are not read from a record.
constexpr uint32_t kMaxRecordBucketCount = 0x3FFFFFFF;

std::atomic<Allocator*> g_allocator{nullptr};

// The import's shared place in the global segment, under its lock.
struct ImportState {
  Lock lock;
  PersistentMemoryAllocator::Iterator iter = {0, 0};
  bool importing = false;
};

ImportState* GetImportState() {
  static ImportState* const state = new ImportState();
  return state;
}

}  // namespace

Allocator::PersistentHistogramAllocator(
    std::unique_ptr<PersistentMemoryAllocator> memory)
    : memory_(std::move(memory)), last_created_(0) {}

Allocator::~PersistentHistogramAllocator() = default;

std::unique_ptr<HistogramBase> Allocator::AllocateHistogram(
    HistogramType type,
    const std::string& name,
    HistogramBase::Sample minimum,
    HistogramBase::Sample maximum,
    const BucketRanges* ranges,
    int32_t flags,
    Reference* ref) {
  if (memory_->IsCorrupt()) {
    RecordCreateHistogramResult(CREATE_HISTOGRAM_ALLOCATOR_CORRUPT);
    return nullptr;
  }

  const Reference histogram_ref =
      memory_->Allocate(kRecordNameOffset + name.size() + 1, kTypeIdHistogram);
  PersistentHistogramData* histogram_data =
      memory_->GetAsObject<PersistentHistogramData>(histogram_ref,
                                                    kTypeIdHistogram);
  if (histogram_data) {
    memcpy(histogram_data->name, name.c_str(), name.size() + 1);
    histogram_data->histogram_type = type;
    histogram_data->flags = flags | HistogramBase::kIsPersistent;
  }

  if (type != SPARSE_HISTOGRAM) {
    const size_t bucket_count = ranges->bucket_count();
    if (bucket_count == 0 || bucket_count > kMaxRecordBucketCount)
      return nullptr;
    const size_t counts_bytes = bucket_count * 2 * sizeof(HistogramBase::Count);
    const size_t ranges_bytes =
        (bucket_count + 1) * sizeof(HistogramBase::Sample);
    const Reference counts_ref =
        memory_->Allocate(counts_bytes, kTypeIdCountsArray);
    const Reference ranges_ref =
        memory_->Allocate(ranges_bytes, kTypeIdRangesArray);
    HistogramBase::Sample* ranges_data =
        reinterpret_cast<HistogramBase::Sample*>(
            memory_->GetBlockData(ranges_ref, kTypeIdRangesArray,
                                  static_cast<uint32_t>(ranges_bytes)));
    if (counts_ref && ranges_data && histogram_data) {
      for (size_t i = 0; i < ranges->size(); ++i)
        ranges_data[i] = ranges->range(i);
      histogram_data->minimum = minimum;
      histogram_data->maximum = maximum;
      histogram_data->bucket_count = static_cast<uint32_t>(bucket_count);
      histogram_data->ranges_ref = ranges_ref;
      histogram_data->ranges_checksum = ranges->checksum();
      histogram_data->counts_ref = counts_ref;
    } else {
      histogram_data = nullptr;
    }
  }

  if (histogram_data) {
    std::unique_ptr<HistogramBase> histogram = CreateHistogram(histogram_data);
    if (histogram) {
      *ref = histogram_ref;
      last_created_.store(histogram_ref, std::memory_order_relaxed);
    }
    return histogram;
  }

  if (memory_->IsCorrupt()) {
    RecordCreateHistogramResult(CREATE_HISTOGRAM_ALLOCATOR_NEWLY_CORRUPT);
    RecordCreateHistogramResult(CREATE_HISTOGRAM_ALLOCATOR_CORRUPT);
  } else if (memory_->IsFull()) {
    RecordCreateHistogramResult(CREATE_HISTOGRAM_ALLOCATOR_FULL);
  } else {
    RecordCreateHistogramResult(CREATE_HISTOGRAM_ALLOCATOR_ERROR);
  }
  return nullptr;
}

std::unique_ptr<HistogramBase> Allocator::GetHistogram(Reference ref) {
  PersistentHistogramData* const histogram_data =
      memory_->GetAsObject<PersistentHistogramData>(ref, kTypeIdHistogram);
  const size_t length = memory_->GetAllocSize(ref);
  // The name must end inside the block.
  if (!histogram_data ||
      reinterpret_cast<char*>(histogram_data)[length - 1] != '\0') {
    RecordCreateHistogramResult(CREATE_HISTOGRAM_INVALID_METADATA);
    return nullptr;
  }
  return CreateHistogram(histogram_data);
}

void Allocator::FinalizeHistogram(Reference ref, bool registered) {
  if (registered)
    memory_->MakeIterable(ref);
  else
    memory_->ChangeType(ref, 0);
}

std::unique_ptr<HistogramBase> Allocator::CreateHistogram(
    PersistentHistogramData* histogram_data) {
  if (!histogram_data) {
    RecordCreateHistogramResult(CREATE_HISTOGRAM_INVALID_METADATA_POINTER);
    return nullptr;
  }

  if (histogram_data->histogram_type == SPARSE_HISTOGRAM) {
    std::unique_ptr<HistogramBase> histogram(SparseHistogram::PersistentCreate(
        memory_.get(), histogram_data->name, &histogram_data->samples_metadata,
        &histogram_data->logged_metadata));
    histogram->SetFlags(histogram_data->flags);
    RecordCreateHistogramResult(CREATE_HISTOGRAM_SUCCESS);
    return histogram;
  }

  // Another process may change the record; only the copy is trusted.
  PersistentHistogramData record;
  memcpy(&record, histogram_data, kRecordHeaderSize);

  const HistogramBase::Sample* ranges_data =
      reinterpret_cast<const HistogramBase::Sample*>(
          memory_->GetBlockData(record.ranges_ref, kTypeIdRangesArray, 0));
  const uint64_t ranges_bytes =
      (static_cast<uint64_t>(record.bucket_count) + 1) *
      sizeof(HistogramBase::Sample);
  if (!ranges_data || record.bucket_count < 2 ||
      record.bucket_count >= kMaxRecordBucketCount ||
      memory_->GetAllocSize(record.ranges_ref) < ranges_bytes) {
    RecordCreateHistogramResult(CREATE_HISTOGRAM_INVALID_RANGES_ARRAY);
    return nullptr;
  }
  std::unique_ptr<const BucketRanges> created_ranges(CreateRangesFromData(
      ranges_data, record.ranges_checksum, record.bucket_count + 1));
  if (!created_ranges) {
    RecordCreateHistogramResult(CREATE_HISTOGRAM_INVALID_RANGES_ARRAY);
    return nullptr;
  }
  const BucketRanges* const ranges =
      StatisticsRecorder::RegisterOrDeleteDuplicateRanges(
          created_ranges.release());

  HistogramBase::Count* const counts_data =
      reinterpret_cast<HistogramBase::Count*>(
          memory_->GetBlockData(record.counts_ref, kTypeIdCountsArray, 0));
  const uint64_t counts_bytes = static_cast<uint64_t>(record.bucket_count) * 2 *
                                sizeof(HistogramBase::Count);
  if (!counts_data || memory_->GetAllocSize(record.counts_ref) < counts_bytes) {
    RecordCreateHistogramResult(CREATE_HISTOGRAM_INVALID_COUNTS_ARRAY);
    return nullptr;
  }

  const std::string name(histogram_data->name);
  const PersistentSampleStorage storage = {
      counts_data, counts_data + record.bucket_count,
      &histogram_data->samples_metadata, &histogram_data->logged_metadata};
  std::unique_ptr<HistogramBase> histogram;
  switch (record.histogram_type) {
    case HISTOGRAM:
      histogram.reset(Histogram::PersistentCreate(
          name, record.minimum, record.maximum, ranges, storage));
      break;
    case LINEAR_HISTOGRAM:
      histogram.reset(LinearHistogram::PersistentCreate(
          name, record.minimum, record.maximum, ranges, storage));
      break;
    case BOOLEAN_HISTOGRAM:
      histogram.reset(
          BooleanHistogram::PersistentCreate(name, ranges, storage));
      break;
    case CUSTOM_HISTOGRAM:
      histogram.reset(CustomHistogram::PersistentCreate(name, ranges, storage));
      break;
    default:
      RecordCreateHistogramResult(CREATE_HISTOGRAM_UNKNOWN_TYPE);
      return nullptr;
  }
  histogram->SetFlags(record.flags);
  RecordCreateHistogramResult(CREATE_HISTOGRAM_SUCCESS);
  return histogram;
}

// static
BucketRanges* Allocator::CreateRangesFromData(const HistogramBase::Sample* data,
                                              uint32_t checksum,
                                              size_t count) {
  // Anything else would stop the process at the first sample recorded.
  if (count < 2 || data[0] != 0 ||
      data[count - 1] != HistogramBase::kSampleType_MAX) {
    return nullptr;
  }
  std::unique_ptr<BucketRanges> ranges(new BucketRanges(count));
  for (size_t i = 0; i < count; ++i) {
    if (i > 0 && data[i] <= data[i - 1])
      return nullptr;
    ranges->set_range(i, data[i]);
  }
  ranges->set_checksum(checksum);
  if (!ranges->HasValidChecksum())
    return nullptr;
  return ranges.release();
}

// static
Allocator* Allocator::GetGlobalAllocator() {
  return g_allocator.load(std::memory_order_acquire);
}

// static
Allocator* Allocator::SetGlobalAllocatorForTesting(Allocator* allocator) {
  ImportState* const state = GetImportState();
  AutoLock auto_lock(state->lock);
  state->iter = {0, 0};
  return g_allocator.exchange(allocator, std::memory_order_acq_rel);
}

// static
void Allocator::ImportGlobalPersistentHistograms() {
  Allocator* const allocator = GetGlobalAllocator();
  if (!allocator)
    return;
  ImportState* const state = GetImportState();
  AutoLock auto_lock(state->lock);
  // A histogram built while importing (the result histogram) must not
  // start a second walk with the same iterator.
  if (state->importing)
    return;
  state->importing = true;
  PersistentMemoryAllocator* const memory = allocator->memory_.get();
  if (state->iter.last == 0)
    memory->CreateIterator(&state->iter, 0);
  const Reference last_created =
      allocator->last_created_.load(std::memory_order_relaxed);
  uint32_t type_id;
  for (;;) {
    const Reference ref = memory->GetNextIterable(&state->iter, &type_id);
    if (!ref)
      break;
    if (type_id != kTypeIdHistogram || ref == last_created)
      continue;
    std::unique_ptr<HistogramBase> histogram = allocator->GetHistogram(ref);
    if (!histogram)
      break;
    StatisticsRecorder::RegisterOrDeleteDuplicate(histogram.release());
  }
  state->importing = false;
}

// static
void Allocator::RecordCreateHistogramResult(CreateHistogramResultType result) {
  static std::atomic<bool> initialized{false};
  static std::atomic<HistogramBase*> result_histogram{nullptr};
  // Set before the factory call, so that results recorded while building
  // the result histogram itself are dropped.
  if (!initialized.exchange(true)) {
    result_histogram.store(LinearHistogram::FactoryGet(
        "Metrics.CreatePersistentHistogram.Result", 1, 10, 11,
        HistogramBase::kReportedHistogramFlag));
  }
  HistogramBase* const histogram = result_histogram.load();
  if (histogram)
    histogram->Add(result);
}

}  // namespace base
